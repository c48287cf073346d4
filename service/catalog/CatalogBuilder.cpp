#include "CatalogBuilder.h"

#include "../audio/AudioFile.h"
#include "../audio/Resampler.h"
#include "../fingerprint/FingerprintIndex.h"
#include "../fingerprint/IndexWriter.h"
#include "../fingerprint/LargeRoom.h"
#include "../fingerprint/PeakExtractor.h"
#include "Catalog.h"

#include <sqlite3.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

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

using Database = std::unique_ptr<sqlite3, int (*)(sqlite3*)>;
using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

Database openDatabase(const std::string& path, std::string& error) {
    sqlite3* raw = nullptr;
    if (sqlite3_open(path.c_str(), &raw) != SQLITE_OK) {
        sqlite3_close(raw);
        error = "cannot open " + path;
        return Database(nullptr, &sqlite3_close);
    }
    return Database(raw, &sqlite3_close);
}

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    return Statement(raw, &sqlite3_finalize);
}

std::string numbered(const char* prefix, uint64_t version, const char* suffix) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%06llu%s", prefix, static_cast<unsigned long long>(version), suffix);
    return text;
}

// One writer at a time per catalog folder: an exclusive lock on its .lock file, held by this
// process until it ends (a crashed writer's lock goes with it).
class FolderLock {
public:
    FolderLock(const std::string& directory) {
        std::error_code ec;
        fs::create_directories(directory, ec);
        fd_ = ::open((directory + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        locked_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool locked() const { return locked_; }

private:
    int fd_ = -1;
    bool locked_ = false;
};

// The version in force, or a first empty one.
bool currentManifest(const std::string& directory, Manifest& manifest, bool required, std::string& error) {
    const std::string current = Manifest::current(directory);
    if (current.empty()) {
        manifest = Manifest{};
        if (required)
            error = directory + " holds no catalog";
        return !required;
    }
    return manifest.read(directory, current, error);
}

// What every change of a catalog starts from: the folder locked against other builds (held by
// the caller for as long as it changes the folder), and the version in force.
bool startChange(const FolderLock& lock, const std::string& directory, bool required, Manifest& manifest,
                 std::string& error) {
    if (!lock.locked()) {
        error = "another build is changing " + directory;
        return false;
    }
    return currentManifest(directory, manifest, required, error);
}

// The version after `manifest`: its number and its metadata's name, its segments as they were.
Manifest following(const Manifest& manifest) {
    Manifest next = manifest;
    next.version = manifest.version + 1;
    next.metadata = numbered("meta-", next.version, ".sqlite");
    return next;
}

// The folder a change writes in before it publishes. Whatever an interrupted build left there
// is thrown away: this one starts clean.
std::string cleanWorkFolder(const std::string& directory) {
    const std::string work = directory + "/.work";
    std::error_code ec;
    fs::remove_all(work, ec);
    fs::create_directories(work, ec);
    return work;
}

// A copy of a version's metadata under a new name, to change for the next version.
bool copyFile(const std::string& from, const std::string& to, std::string& error) {
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec)
        error = "cannot copy " + from + ": " + ec.message();
    return !ec;
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

TrackInput CatalogBuilder::fingerprintFile(const std::string& path) const {
    TrackInput r;
    audio::AudioFile file;
    if (!file.load(path, r.error, options_.maxSecondsPerTrack))
        return r;
    r.ok = true;
    r.path = path;
    r.title = file.title.empty() ? titleFromFileName(path) : file.title;
    r.artist = file.artist.empty() ? "Unknown Artist" : file.artist;
    r.album = file.album.empty() ? fs::path(path).parent_path().filename().string() : file.album;
    r.coverPath = coverBeside(path);
    r.seconds = file.durationSeconds > 0.0 ? file.durationSeconds : static_cast<double>(file.samples.size()) / file.sampleRate;
    if (options_.maxSecondsPerTrack > 0.0) {
        const auto keep = static_cast<size_t>(options_.maxSecondsPerTrack * file.sampleRate);
        file.samples.resize(std::min(file.samples.size(), keep));
        r.seconds = std::min(r.seconds, options_.maxSecondsPerTrack);
    }
    std::vector<float> mono8k = audio::resample(file.samples, file.sampleRate, config_.sampleRate);
    // A track's rendering across a large room is indexed from kRoomFrames on: the track
    // itself ends before (18.6 hours), with a rendering or without.
    const auto roomFrom = static_cast<size_t>(fp::FingerprintConfig::kRoomFrames) * static_cast<size_t>(config_.hopSize);
    mono8k.resize(std::min(mono8k.size(), roomFrom));
    const fp::PeakExtractor extractor(config_);
    r.peaks = extractor.extract(mono8k, fp::PeakDensity::Reference);
    if (config_.roomSeconds > 0.0)
        r.roomPeaks = extractor.extract(fp::heardAcrossLargeRoom(mono8k, config_), fp::PeakDensity::Reference);
    return r;
}

bool CatalogBuilder::build(const std::vector<std::string>& files, const std::string& directory, BuildReport& report,
                           std::string& error) const {
    if (files.empty()) {
        error = "no music files to index";
        return false;
    }
    return produce(files.size(), [&](size_t i, TrackInput& t) { t = fingerprintFile(files[i]); }, directory, true, report, error);
}

bool CatalogBuilder::add(const std::vector<std::string>& files, const std::string& directory, BuildReport& report,
                         std::string& error) const {
    if (files.empty()) {
        error = "no music files to add";
        return false;
    }
    return produce(files.size(), [&](size_t i, TrackInput& t) { t = fingerprintFile(files[i]); }, directory, false, report, error);
}

bool CatalogBuilder::produce(size_t count, const Producer& producer, const std::string& directory, bool replace,
                             BuildReport& report, std::string& error) const {
    const auto started = std::chrono::steady_clock::now();
    const FolderLock lock(directory);
    Manifest manifest;
    if (!startChange(lock, directory, !replace, manifest, error))
        return false;
    const uint32_t firstTrack = replace ? 0 : manifest.nextTrack;
    if (uint64_t{firstTrack} + count > uint64_t{fp::kMaxTrack} + 1) {
        error = "too many tracks for one catalog (track ids have 24 bits)";
        return false;
    }
    const std::string work = cleanWorkFolder(directory);

    Manifest next = following(manifest);
    const std::string segmentName = numbered("seg-", next.version, ".fpi");
    if (replace) {
        next.segments.clear();
        next.deleted.clear();
    }
    next.segments.push_back(segmentName);

    const std::string metadataWork = work + "/meta.sqlite";
    if (!replace && !copyFile(directory + "/" + manifest.metadata, metadataWork, error))
        return false;
    Database db = openDatabase(metadataWork, error);
    if (!db)
        return false;
    if (replace && !exec(db.get(),
                         "CREATE TABLE albums(id INTEGER PRIMARY KEY, title TEXT NOT NULL, artist TEXT NOT NULL, cover_path TEXT);"
                         "CREATE TABLE tracks(id INTEGER PRIMARY KEY, path TEXT NOT NULL, title TEXT NOT NULL,"
                         " artist TEXT NOT NULL, album_id INTEGER NOT NULL REFERENCES albums(id), seconds REAL NOT NULL);"
                         "CREATE INDEX tracks_by_path ON tracks(path);",
                         error))
        return false;
    if (!exec(db.get(), "PRAGMA synchronous=OFF; BEGIN;", error))
        return false;
    Statement insertAlbum = prepare(db.get(), "INSERT INTO albums VALUES(?,?,?,?)");
    Statement insertTrack = prepare(db.get(), "INSERT INTO tracks VALUES(?,?,?,?,?,?)");
    std::map<std::string, uint32_t> albumIds;
    uint32_t nextAlbum = 0;
    {
        Statement albums = prepare(db.get(), "SELECT id, title FROM albums");
        while (albums && sqlite3_step(albums.get()) == SQLITE_ROW) {
            const auto id = static_cast<uint32_t>(sqlite3_column_int64(albums.get(), 0));
            albumIds[reinterpret_cast<const char*>(sqlite3_column_text(albums.get(), 1))] = id;
            nextAlbum = std::max(nextAlbum, id + 1);
        }
    }

    // Fingerprint on every core; each finished track goes into the index writer (which spills
    // sorted runs when its budget is full) and the metadata under one lock.
    fp::IndexWriter index(work, options_.memoryBudget);
    const fp::HashBuilder hashes(config_);
    std::atomic<size_t> nextIndex{0};
    size_t done = 0;
    bool failed = false;
    std::mutex mutex;
    auto worker = [&] {
        for (size_t i = nextIndex++; i < count; i = nextIndex++) {
            TrackInput r;
            producer(i, r);
            std::vector<fp::Landmark> landmarks = r.ok ? hashes.buildReference(r.peaks) : std::vector<fp::Landmark>{};
            if (r.ok && !r.roomPeaks.empty()) {
                const std::vector<fp::Landmark> room = hashes.buildRoomReference(r.roomPeaks);
                landmarks.insert(landmarks.end(), room.begin(), room.end());
                // The rendering's peaks are kept after the track's own, from kRoomFrames on as its
                // pairs are: the last look reads them in a recording from a large hall.
                for (fp::Peak p : r.roomPeaks) {
                    p.frame += fp::FingerprintConfig::kRoomFrames;
                    r.peaks.push_back(p);
                }
            }
            std::lock_guard guard(mutex);
            ++done;
            if (failed)
                return;
            if (!r.ok) {
                ++report.skipped;
                if (options_.warning)
                    options_.warning(r.error);
                continue;
            }
            const auto trackId = static_cast<uint32_t>(firstTrack + i);
            auto [it, isNew] = albumIds.emplace(r.album, nextAlbum);
            if (isNew) {
                ++nextAlbum;
                sqlite3_bind_int64(insertAlbum.get(), 1, it->second);
                sqlite3_bind_text(insertAlbum.get(), 2, r.album.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(insertAlbum.get(), 3, r.artist.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(insertAlbum.get(), 4, r.coverPath.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_step(insertAlbum.get());
                sqlite3_reset(insertAlbum.get());
            }
            sqlite3_bind_int64(insertTrack.get(), 1, trackId);
            sqlite3_bind_text(insertTrack.get(), 2, r.path.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insertTrack.get(), 3, r.title.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insertTrack.get(), 4, r.artist.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(insertTrack.get(), 5, it->second);
            sqlite3_bind_double(insertTrack.get(), 6, r.seconds);
            const bool inserted = sqlite3_step(insertTrack.get()) == SQLITE_DONE;
            sqlite3_reset(insertTrack.get());
            if (!inserted) {
                error = std::string("cannot write track metadata: ") + sqlite3_errmsg(db.get());
                failed = true;
                return;
            }
            if (!index.add(trackId, landmarks, r.peaks, error)) {
                failed = true;
                return;
            }
            ++report.tracks;
            report.landmarks += landmarks.size();
            report.audioSeconds += r.seconds;
            if (options_.progress)
                options_.progress(BuildProgress{done, count, r.path, report.audioSeconds,
                                                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()});
        }
    };
    const unsigned threads = std::max(1u, options_.threads != 0 ? options_.threads : std::thread::hardware_concurrency());
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < std::min<size_t>(threads, count); ++t)
        pool.emplace_back(worker);
    for (auto& t : pool)
        t.join();
    if (failed)
        return false;
    if (report.tracks == 0) {
        error = "none of the files could be read";
        return false;
    }
    insertAlbum.reset();
    insertTrack.reset();
    if (!exec(db.get(), "COMMIT;", error))
        return false;
    db.reset();

    report.sortedRuns = index.runCount();
    const std::string segmentPath = directory + "/" + segmentName;
    if (!index.write(segmentPath, error))
        return false;
    if (std::rename(metadataWork.c_str(), (directory + "/" + next.metadata).c_str()) != 0) {
        error = "cannot move the metadata into " + directory;
        return false;
    }
    next.nextTrack = static_cast<uint32_t>(firstTrack + count);
    if (!next.publish(directory, error))
        return false;
    std::error_code ec;
    fs::remove_all(work, ec);
    report.indexBytes = fs::file_size(segmentPath, ec);
    report.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return true;
}

bool CatalogBuilder::remove(const std::string& directory, const std::vector<std::string>& files, size_t& removed,
                            std::string& error) {
    removed = 0;
    const FolderLock lock(directory);
    Manifest manifest;
    if (!startChange(lock, directory, true, manifest, error))
        return false;
    Manifest next = following(manifest);
    const std::string work = cleanWorkFolder(directory);
    const std::string metadataWork = work + "/meta.sqlite";
    if (!copyFile(directory + "/" + manifest.metadata, metadataWork, error))
        return false;
    {
        Database db = openDatabase(metadataWork, error);
        if (!db || !exec(db.get(), "BEGIN;", error))
            return false;
        Statement find = prepare(db.get(), "SELECT id FROM tracks WHERE path = ?");
        Statement erase = prepare(db.get(), "DELETE FROM tracks WHERE id = ?");
        for (const std::string& file : files) {
            sqlite3_bind_text(find.get(), 1, file.c_str(), -1, SQLITE_TRANSIENT);
            while (sqlite3_step(find.get()) == SQLITE_ROW) {
                const auto id = static_cast<uint32_t>(sqlite3_column_int64(find.get(), 0));
                next.deleted.push_back(id);
                sqlite3_bind_int64(erase.get(), 1, id);
                sqlite3_step(erase.get());
                sqlite3_reset(erase.get());
                ++removed;
            }
            sqlite3_reset(find.get());
        }
        find.reset();
        erase.reset();
        if (!exec(db.get(), "COMMIT;", error))
            return false;
    }
    if (std::rename(metadataWork.c_str(), (directory + "/" + next.metadata).c_str()) != 0) {
        error = "cannot move the metadata into " + directory;
        return false;
    }
    std::sort(next.deleted.begin(), next.deleted.end());
    next.deleted.erase(std::unique(next.deleted.begin(), next.deleted.end()), next.deleted.end());
    const bool ok = next.publish(directory, error);
    std::error_code ec;
    fs::remove_all(work, ec);
    return ok;
}

bool CatalogBuilder::merge(const std::string& directory, std::string& error) {
    const FolderLock lock(directory);
    Manifest manifest;
    if (!startChange(lock, directory, true, manifest, error))
        return false;
    fp::FingerprintIndex index;
    if (!manifest.openIndex(directory, index, error))
        return false;
    std::vector<const fp::IndexSegment*> segments;
    for (const auto& s : index.segments())
        segments.push_back(s.get());
    Manifest next = following(manifest);
    next.segments = {numbered("seg-", next.version, ".fpi")};
    next.deleted.clear();
    const auto dropped = [&index](uint32_t track) { return index.isDeleted(track); };
    return fp::IndexWriter::merge(segments, dropped, directory + "/" + next.segments[0], error) &&
           copyFile(directory + "/" + manifest.metadata, directory + "/" + next.metadata, error) &&
           next.publish(directory, error);
}

} // namespace melodex::catalog
