#include "Partitioner.h"

#include "catalog/Catalog.h"
#include "fingerprint/IndexWriter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace melodex::cluster {
namespace {

std::string numbered(const char* prefix, uint64_t version, const char* suffix) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%06llu%s", prefix, static_cast<unsigned long long>(version), suffix);
    return text;
}

// Hashes whose lists over all segments exceed `limit`. Such a list is longer than limit/k in
// at least one of k segments, so only those runs need their totals looked up.
std::vector<uint32_t> overLongHashes(const fp::FingerprintIndex& index, uint32_t limit) {
    const auto segments = index.segments();
    const uint64_t share = segments.empty() ? 0 : limit / segments.size();
    std::set<uint32_t> candidates;
    for (const auto& segment : segments) {
        uint32_t run = 0;
        uint64_t length = 0;
        segment->forEachEntry([&](uint32_t hash, uint32_t, int32_t) {
            if (length > 0 && hash == run) {
                if (++length == share + 1)
                    candidates.insert(hash);
                return;
            }
            run = hash;
            length = 1;
            if (share == 0)
                candidates.insert(hash);
        });
    }
    std::vector<uint32_t> hashes;
    for (uint32_t h : candidates) {
        uint64_t total = 0;
        for (const auto& segment : segments)
            total += segment->lookup(h).count;
        if (total > limit)
            hashes.push_back(h);
    }
    return hashes;
}

bool writeWholeCatalog(const std::string& path, const WholeCatalog& whole, std::string& error) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << "entries " << whole.entries << '\n';
        for (uint32_t h : whole.longHashes)
            out << "long-hash " << h << '\n';
        out.flush();
        if (!out) {
            error = "cannot write " + temporary;
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec)
        error = "cannot write " + path + ": " + ec.message();
    return !ec;
}

// The next version for `folder`: the source's, or past whatever the folder already holds (a
// new version never writes over the files of one in use).
uint64_t nextVersion(const std::string& folder, uint64_t sourceVersion) {
    catalog::Manifest held;
    std::string ignored;
    const std::string current = catalog::Manifest::current(folder);
    if (!current.empty() && held.read(folder, current, ignored))
        return std::max(sourceVersion, held.version + 1);
    return sourceVersion;
}

// Publishes `manifest` in `folder` with a copy of the source's metadata; `write` makes the
// segments and files the manifest names, before it is published.
bool publishFolder(const std::string& folder, catalog::Manifest manifest, const std::string& sourceMetadata,
                   const std::function<bool(catalog::Manifest&)>& write, std::string& error) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    manifest.version = nextVersion(folder, manifest.version);
    manifest.metadata = numbered("meta-", manifest.version, ".sqlite");
    manifest.deleted.clear();
    manifest.segments.clear();
    fs::copy_file(sourceMetadata, folder + "/" + manifest.metadata, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        error = "cannot copy " + sourceMetadata + ": " + ec.message();
        return false;
    }
    return write(manifest) && manifest.publish(folder, error);
}

} // namespace

std::string wholeCatalogFile(uint64_t version) { return numbered("whole-catalog-", version, ""); }

bool readWholeCatalog(const std::string& directory, uint64_t version, WholeCatalog& whole, std::string& error) {
    const std::string path = directory + "/" + wholeCatalogFile(version);
    std::ifstream in(path);
    if (!in) {
        error = directory + " is not a partition of a catalog (no " + wholeCatalogFile(version) +
                "; melodex-catalog partition makes them)";
        return false;
    }
    whole = {};
    std::string key;
    bool entries = false;
    for (uint64_t value = 0; in >> key >> value;) {
        if (key == "entries" && !entries) {
            whole.entries = value;
            entries = true;
        } else if (key == "long-hash" && value <= UINT32_MAX) {
            whole.longHashes.push_back(static_cast<uint32_t>(value));
        } else {
            break;
        }
    }
    if (!in.eof() || !entries || !std::is_sorted(whole.longHashes.begin(), whole.longHashes.end())) {
        error = path + " is damaged";
        return false;
    }
    return true;
}

bool readPartitionBounds(const std::string& out, std::vector<uint32_t>& firstTracks, std::string& error) {
    std::ifstream in(out + "/partitions");
    firstTracks.clear();
    std::string folder, word;
    uint32_t first = 0;
    char dash = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        if (!(fields >> folder >> word >> first >> dash) || word != "tracks" || dash != '-' ||
            folder != "part-" + std::to_string(firstTracks.size()) || (!firstTracks.empty() && first <= firstTracks.back())) {
            error = out + "/partitions: not a list of partitions (\"" + line + "\")";
            return false;
        }
        firstTracks.push_back(first);
    }
    if (firstTracks.empty() || firstTracks.front() != 0) {
        error = "no partitions listed in " + out + "/partitions";
        return false;
    }
    return true;
}

bool partitionCatalog(const std::string& source, const std::string& out, unsigned count,
                      const fp::FingerprintConfig& config, PartitionReport& report, std::string& error,
                      const std::vector<uint32_t>& firstTracks) {
    report = {};
    catalog::Catalog catalog;
    if (!catalog.open(source, error))
        return false;
    const std::vector<catalog::Track>& tracks = catalog.tracks();
    if (count == 0 || count > std::max<size_t>(tracks.size(), 1)) {
        error = "cannot split " + std::to_string(tracks.size()) + " tracks into " + std::to_string(count) + " partitions";
        return false;
    }
    if (!firstTracks.empty() && firstTracks.size() != count) {
        error = "the ranges given are of " + std::to_string(firstTracks.size()) + " partitions, not " + std::to_string(count);
        return false;
    }
    const catalog::Manifest& manifest = catalog.manifest();
    const std::string metadata = source + "/" + manifest.metadata;
    const fp::FingerprintIndex& index = catalog.index();
    WholeCatalog whole;
    whole.entries = index.entryCount();
    whole.longHashes = overLongHashes(index, config.maxHashList);
    report.overLongHashes = whole.longHashes.size();

    std::vector<const fp::IndexSegment*> segments;
    for (const auto& s : index.segments())
        segments.push_back(s.get());
    for (unsigned p = 0; p < count; ++p) {
        // Contiguous ranges of as many live tracks each; a range ends where the next begins,
        // so ids between live tracks (deleted ones) belong somewhere too.
        PartitionRange range;
        range.folder = "part-" + std::to_string(p);
        if (firstTracks.empty()) {
            range.firstTrack = p == 0 ? 0 : tracks[tracks.size() * p / count].id;
            range.lastTrack = p + 1 == count ? std::max(manifest.nextTrack, 1u) - 1 : tracks[tracks.size() * (p + 1) / count].id - 1;
        } else {
            range.firstTrack = firstTracks[p];
            range.lastTrack = p + 1 == count ? std::max({manifest.nextTrack, firstTracks[p] + 1, 1u}) - 1 : firstTracks[p + 1] - 1;
        }
        range.tracks = static_cast<size_t>(std::count_if(tracks.begin(), tracks.end(), [&](const catalog::Track& t) {
            return t.id >= range.firstTrack && t.id <= range.lastTrack;
        }));
        const std::string folder = out + "/" + range.folder;
        uint64_t published = 0;
        const auto write = [&](catalog::Manifest& m) {
            published = m.version;
            m.segments = {numbered("seg-", m.version, ".fpi")};
            const auto dropped = [&](uint32_t track) {
                return index.isDeleted(track) || track < range.firstTrack || track > range.lastTrack;
            };
            if (!fp::IndexWriter::merge(segments, dropped, folder + "/" + m.segments[0], error) ||
                !writeWholeCatalog(folder + "/" + wholeCatalogFile(m.version), whole, error))
                return false;
            fp::IndexSegment written;
            if (!written.open(folder + "/" + m.segments[0], error))
                return false;
            range.entries = written.entryCount();
            return true;
        };
        if (!publishFolder(folder, manifest, metadata, write, error))
            return false;
        // What versions no longer in force knew of their whole catalog.
        const std::string keep = wholeCatalogFile(published);
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            const std::string file = entry.path().filename().string();
            if (file.starts_with("whole-catalog-") && file != keep)
                fs::remove(entry.path(), ec);
        }
        report.partitions.push_back(range);
    }
    if (!publishFolder(out + "/router", manifest, metadata, [](catalog::Manifest&) { return true; }, error))
        return false;

    std::string listing;
    for (const PartitionRange& r : report.partitions)
        listing += r.folder + " tracks " + std::to_string(r.firstTrack) + "-" + std::to_string(r.lastTrack) + " (" +
                   std::to_string(r.tracks) + " tracks, " + std::to_string(r.entries) + " entries)\n";
    std::ofstream list(out + "/partitions", std::ios::trunc);
    list << listing;
    if (!list.flush()) {
        error = "cannot write " + out + "/partitions";
        return false;
    }
    return true;
}

} // namespace melodex::cluster
