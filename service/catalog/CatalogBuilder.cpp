#include "CatalogBuilder.h"

#include "../audio/AudioFile.h"
#include "../audio/Resampler.h"
#include "../fingerprint/FingerprintIndex.h"
#include "../fingerprint/HashBuilder.h"
#include "../fingerprint/IndexWriter.h"
#include "../fingerprint/PeakExtractor.h"
#include "Catalog.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;

namespace melodex::catalog {
namespace {

struct Fingerprinted {
    bool ok = false;
    std::string error;
    std::string title, artist, album;
    double seconds = 0.0;
    std::vector<fp::Landmark> landmarks;
};

// "the_king_is_dead" -> "The King Is Dead": the title of a file without tags.
std::string titleFromFileName(const fs::path& path) {
    std::string name = path.stem().string();
    bool wordStart = true;
    for (char& c : name) {
        if (c == '_' || c == '-')
            c = ' ';
        if (wordStart && std::isalpha(static_cast<unsigned char>(c)))
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        wordStart = c == ' ';
    }
    return name;
}

std::string coverBeside(const fs::path& file) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(file.parent_path(), ec)) {
        std::string name = entry.path().filename().string();
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        if (name == "cover.jpg" || name == "folder.jpg" || name == "front.jpg" || name == "cover.jpeg")
            return entry.path().string();
    }
    return {};
}

bool exec(sqlite3* db, const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = message != nullptr ? message : "sqlite error";
    sqlite3_free(message);
    return false;
}

} // namespace

CatalogBuilder::CatalogBuilder(const fp::FingerprintConfig& config, BuildOptions options)
    : config_(config), options_(std::move(options)) {}

std::vector<std::string> CatalogBuilder::findMusic(const std::string& directory) {
    static const char* const kExtensions[] = {".ogg", ".oga", ".flac", ".wav", ".mp3", ".aiff", ".aif", ".opus"};
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(directory, fs::directory_options::follow_directory_symlink, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec || !it->is_regular_file(ec))
            continue;
        std::string ext = it->path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (std::find_if(std::begin(kExtensions), std::end(kExtensions), [&](const char* e) { return ext == e; }) !=
            std::end(kExtensions))
            files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool CatalogBuilder::build(const std::vector<std::string>& files, const std::string& outputDirectory,
                           BuildReport& report, std::string& error) const {
    const auto started = std::chrono::steady_clock::now();
    if (files.empty()) {
        error = "no music files to index";
        return false;
    }
    if (files.size() >= (size_t{1} << fp::FingerprintConfig::kTrackBits)) {
        error = "too many tracks for one catalog";
        return false;
    }
    std::error_code ec;
    fs::create_directories(outputDirectory, ec);

    // Decode and fingerprint on every core; results land in file order.
    std::vector<Fingerprinted> results(files.size());
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::mutex progressMutex;
    const fp::PeakExtractor peaks(config_);
    const fp::HashBuilder hashes(config_);
    auto worker = [&] {
        for (size_t i = next++; i < files.size(); i = next++) {
            Fingerprinted& r = results[i];
            audio::AudioFile file;
            if (file.load(files[i], r.error, options_.maxSecondsPerTrack)) {
                r.ok = true;
                r.title = file.title.empty() ? titleFromFileName(files[i]) : file.title;
                r.artist = file.artist.empty() ? "Unknown Artist" : file.artist;
                r.album = file.album.empty() ? fs::path(files[i]).parent_path().filename().string() : file.album;
                r.seconds = file.durationSeconds > 0.0 ? file.durationSeconds : static_cast<double>(file.samples.size()) / file.sampleRate;
                if (options_.maxSecondsPerTrack > 0.0) {
                    const auto keep = static_cast<size_t>(options_.maxSecondsPerTrack * file.sampleRate);
                    file.samples.resize(std::min(file.samples.size(), keep));
                }
                const std::vector<float> mono8k = audio::resample(file.samples, file.sampleRate, config_.sampleRate);
                r.landmarks = hashes.build(peaks.extract(mono8k, fp::PeakDensity::Reference), config_.refFanOut);
            }
            const size_t count = ++done;
            std::lock_guard lock(progressMutex);
            if (options_.progress)
                options_.progress(count, files.size(), files[i]);
        }
    };
    const unsigned threads = std::max(1u, options_.threads != 0 ? options_.threads : std::thread::hardware_concurrency());
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < std::min<size_t>(threads, files.size()); ++t)
        pool.emplace_back(worker);
    for (auto& t : pool)
        t.join();

    // Number the readable tracks, group them into albums, and write both stores.
    const std::string metadataPath = outputDirectory + "/" + Catalog::kMetadataFile;
    fs::remove(metadataPath, ec);
    sqlite3* raw = nullptr;
    if (sqlite3_open(metadataPath.c_str(), &raw) != SQLITE_OK) {
        sqlite3_close(raw);
        error = "cannot create " + metadataPath;
        return false;
    }
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, &sqlite3_close);
    if (!exec(db.get(),
              "CREATE TABLE albums(id INTEGER PRIMARY KEY, title TEXT NOT NULL, artist TEXT NOT NULL, cover_path TEXT);"
              "CREATE TABLE tracks(id INTEGER PRIMARY KEY, path TEXT NOT NULL, title TEXT NOT NULL, artist TEXT NOT NULL,"
              " album_id INTEGER NOT NULL REFERENCES albums(id), seconds REAL NOT NULL);"
              "BEGIN;",
              error))
        return false;

    sqlite3_stmt* rawAlbum = nullptr;
    sqlite3_stmt* rawTrack = nullptr;
    sqlite3_prepare_v2(db.get(), "INSERT INTO albums VALUES(?,?,?,?)", -1, &rawAlbum, nullptr);
    sqlite3_prepare_v2(db.get(), "INSERT INTO tracks VALUES(?,?,?,?,?,?)", -1, &rawTrack, nullptr);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> insertAlbum(rawAlbum, &sqlite3_finalize);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> insertTrack(rawTrack, &sqlite3_finalize);

    fp::IndexWriter index;
    std::map<std::string, uint32_t> albumIds;
    uint32_t trackId = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        Fingerprinted& r = results[i];
        if (!r.ok) {
            ++report.skipped;
            if (options_.warning)
                options_.warning(r.error);
            continue;
        }
        auto [it, isNew] = albumIds.emplace(r.album, static_cast<uint32_t>(albumIds.size()));
        if (isNew) {
            const std::string cover = coverBeside(files[i]);
            sqlite3_bind_int64(insertAlbum.get(), 1, it->second);
            sqlite3_bind_text(insertAlbum.get(), 2, r.album.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insertAlbum.get(), 3, r.artist.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insertAlbum.get(), 4, cover.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(insertAlbum.get());
            sqlite3_reset(insertAlbum.get());
        }
        sqlite3_bind_int64(insertTrack.get(), 1, trackId);
        sqlite3_bind_text(insertTrack.get(), 2, files[i].c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insertTrack.get(), 3, r.title.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insertTrack.get(), 4, r.artist.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insertTrack.get(), 5, it->second);
        sqlite3_bind_double(insertTrack.get(), 6, r.seconds);
        if (sqlite3_step(insertTrack.get()) != SQLITE_DONE) {
            error = std::string("cannot write track metadata: ") + sqlite3_errmsg(db.get());
            return false;
        }
        sqlite3_reset(insertTrack.get());
        index.add(trackId, r.landmarks);
        report.landmarks += r.landmarks.size();
        report.audioSeconds += options_.maxSecondsPerTrack > 0.0 ? std::min(r.seconds, options_.maxSecondsPerTrack) : r.seconds;
        ++trackId;
        std::vector<fp::Landmark>().swap(r.landmarks);
    }
    if (trackId == 0) {
        error = "none of the files could be read";
        return false;
    }
    if (!exec(db.get(), "COMMIT;", error))
        return false;
    const std::string indexPath = outputDirectory + "/" + Catalog::kIndexFile;
    if (!index.write(indexPath, error))
        return false;
    report.tracks = trackId;
    report.indexBytes = fs::file_size(indexPath, ec);
    report.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return true;
}

} // namespace melodex::catalog
