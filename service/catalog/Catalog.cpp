#include "Catalog.h"

#include <sqlite3.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace melodex::catalog {
namespace {

std::string column(sqlite3_stmt* statement, int i) {
    const unsigned char* text = sqlite3_column_text(statement, i);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

using Database = std::unique_ptr<sqlite3, int (*)(sqlite3*)>;
using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    return Statement(statement, &sqlite3_finalize);
}

// Writes a small file whole and flushed, under a temporary name renamed into place.
bool writeDurably(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool plainName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

} // namespace

std::string Manifest::current(const std::string& directory) {
    std::ifstream in(directory + "/" + kCurrentFile);
    std::string name;
    std::getline(in, name);
    return plainName(name) ? name : "";
}

bool Manifest::openIndex(const std::string& directory, fp::FingerprintIndex& index, std::string& error) const {
    std::vector<std::string> paths;
    for (const std::string& s : segments)
        paths.push_back(directory + "/" + s);
    return index.open(paths, deleted, error);
}

std::string Manifest::name() const {
    char text[32];
    std::snprintf(text, sizeof text, "manifest-%06llu", static_cast<unsigned long long>(version));
    return text;
}

bool Manifest::read(const std::string& directory, const std::string& name, std::string& error) {
    *this = Manifest{};
    std::ifstream in(directory + "/" + name);
    std::string line;
    if (!plainName(name) || !in || !std::getline(in, line) || line != "melodex-catalog 2") {
        error = directory + " holds no catalog of this version (build it again with melodex-catalog build)";
        return false;
    }
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key, value;
        fields >> key >> value;
        if (key == "version")
            version = std::stoull(value);
        else if (key == "next-track")
            nextTrack = static_cast<uint32_t>(std::stoul(value));
        else if (key == "metadata" && plainName(value))
            metadata = value;
        else if (key == "segment" && plainName(value))
            segments.push_back(value);
        else if (key == "deleted")
            deleted.push_back(static_cast<uint32_t>(std::stoul(value)));
        else if (!key.empty()) {
            error = directory + "/" + name + ": unknown line \"" + line + "\"";
            return false;
        }
    }
    if (metadata.empty()) {
        error = directory + "/" + name + " names no metadata";
        return false;
    }
    return true;
}

bool Manifest::publish(const std::string& directory, std::string& error) const {
    std::string text = "melodex-catalog 2\nversion " + std::to_string(version) + "\nnext-track " +
                       std::to_string(nextTrack) + "\nmetadata " + metadata + "\n";
    for (const std::string& s : segments)
        text += "segment " + s + "\n";
    for (uint32_t t : deleted)
        text += "deleted " + std::to_string(t) + "\n";
    if (!writeDurably(directory + "/" + name(), text) || !writeDurably(directory + "/" + kCurrentFile, name() + "\n")) {
        error = "cannot write the manifest in " + directory;
        return false;
    }
    std::set<std::string> keep(segments.begin(), segments.end());
    keep.insert({metadata, name(), kCurrentFile});
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(directory, ec)) {
        const std::string file = entry.path().filename().string();
        const bool ours = file.starts_with("seg-") || file.starts_with("meta-") || file.starts_with("manifest-");
        if (ours && !keep.count(file))
            fs::remove(entry.path(), ec);
    }
    return true;
}

bool Catalog::open(const std::string& directory, std::string& error) {
    const std::string current = Manifest::current(directory);
    if (current.empty()) {
        error = directory + " holds no catalog (no " + Manifest::kCurrentFile + ")";
        return false;
    }
    Manifest manifest;
    if (!manifest.read(directory, current, error))
        return false;
    fp::FingerprintIndex index;
    if (!manifest.openIndex(directory, index, error))
        return false;

    sqlite3* raw = nullptr;
    const std::string path = directory + "/" + manifest.metadata;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    Database db(raw, &sqlite3_close);
    if (rc != SQLITE_OK) {
        error = "cannot open " + path;
        return false;
    }
    // Each statement's error is read before the next call replaces it.
    const auto notACatalog = [&] { error = path + " is not a Melodex catalog: " + sqlite3_errmsg(db.get()); };
    Statement albums = prepare(db.get(), "SELECT id, title, artist, cover_path FROM albums ORDER BY id");
    if (!albums)
        return notACatalog(), false;
    Statement tracks = prepare(db.get(), "SELECT id, path, title, artist, album_id, seconds FROM tracks ORDER BY id");
    if (!tracks)
        return notACatalog(), false;
    albums_.clear();
    tracks_.clear();
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(albums.get())) == SQLITE_ROW)
        albums_.push_back(Album{static_cast<uint32_t>(sqlite3_column_int64(albums.get(), 0)), column(albums.get(), 1),
                                column(albums.get(), 2), column(albums.get(), 3)});
    if (step != SQLITE_DONE)
        return notACatalog(), false;
    while ((step = sqlite3_step(tracks.get())) == SQLITE_ROW)
        tracks_.push_back(Track{static_cast<uint32_t>(sqlite3_column_int64(tracks.get(), 0)), column(tracks.get(), 1),
                                column(tracks.get(), 2), column(tracks.get(), 3),
                                static_cast<uint32_t>(sqlite3_column_int64(tracks.get(), 4)),
                                sqlite3_column_double(tracks.get(), 5)});
    if (step != SQLITE_DONE)
        return notACatalog(), false;
    if (tracks_.empty()) {
        error = path + " holds no tracks";
        return false;
    }
    directory_ = directory;
    manifest_ = std::move(manifest);
    index_ = std::move(index);
    return true;
}

const Track* Catalog::track(uint32_t id) const {
    auto it = std::lower_bound(tracks_.begin(), tracks_.end(), id, [](const Track& t, uint32_t v) { return t.id < v; });
    return it != tracks_.end() && it->id == id ? &*it : nullptr;
}

const Album* Catalog::album(uint32_t id) const {
    auto it = std::lower_bound(albums_.begin(), albums_.end(), id, [](const Album& a, uint32_t v) { return a.id < v; });
    return it != albums_.end() && it->id == id ? &*it : nullptr;
}

double Catalog::totalSeconds() const {
    double sum = 0.0;
    for (const Track& t : tracks_)
        sum += t.seconds;
    return sum;
}

} // namespace melodex::catalog
