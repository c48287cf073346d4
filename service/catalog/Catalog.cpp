#include "Catalog.h"

#include <sqlite3.h>

#include <algorithm>
#include <memory>

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

} // namespace

bool Catalog::open(const std::string& directory, std::string& error) {
    if (!index_.open(directory + "/" + kIndexFile, error))
        return false;
    sqlite3* raw = nullptr;
    const std::string path = directory + "/" + kMetadataFile;
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
