#include "IndexWriter.h"

#include "FingerprintIndex.h"
#include "IndexFormat.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <queue>

namespace melodex::fp {
namespace {

// Writes a segment of a known number of entries, fed in sorted order: the postings and the
// low hash bits go to their two regions through buffers, the directory is counted on the way
// and written last, then the file is flushed to disk and renamed into place.
class SegmentSink {
public:
    SegmentSink(std::string path, uint64_t count)
        : path_(std::move(path)), temporary_(path_ + ".tmp"), count_(count), bits_(directoryBitsFor(count)),
          lowBytes_(lowBytesFor(bits_)), directory_((size_t{1} << bits_) + 1, 0) {
        postingsAt_ = sizeof(IndexHeader) + directory_.size() * sizeof(uint32_t);
        lowAt_ = postingsAt_ + count_ * kPostingBytes;
        tableAt_ = peaksAt_ = trackTableAt(bits_, count_, lowBytes_);
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    ~SegmentSink() {
        if (fd_ >= 0) {
            ::close(fd_);
            std::remove(temporary_.c_str());
        }
    }

    bool put(const IndexEntry& e, std::string& error) {
        if (written_ == count_) {
            error = "more entries than counted for " + path_;
            return false;
        }
        if (e.hash < last_) {
            error = "entries out of order for " + path_;
            return false;
        }
        last_ = e.hash;
        ++written_;
        ++directory_[(e.hash >> (FingerprintConfig::kHashBits - bits_)) + 1];
        uint8_t posting[kPostingBytes];
        storePosting(posting, e.track, e.frame);
        trackLimit_ = std::max(trackLimit_, e.track + 1);
        postings_.insert(postings_.end(), posting, posting + kPostingBytes);
        for (int i = 0; i < lowBytes_; ++i)
            low_.push_back(static_cast<uint8_t>(e.hash >> (8 * i)));
        return (postings_.size() < kBuffer || flush(postings_, postingsAt_, error)) &&
               (low_.size() < kBuffer || flush(low_, lowAt_, error));
    }

    // After the entries: the peaks of `trackCount` tracks, track after track in the order of
    // the table finish() is given.
    void beginPeaks(size_t trackCount) { peaksAt_ = tableAt_ + trackCount * sizeof(TrackPeaks); }
    bool putPeaks(std::span<const uint32_t> peaks, std::string& error) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(peaks.data());
        peakBytes_.insert(peakBytes_.end(), bytes, bytes + peaks.size_bytes());
        peakCount_ += peaks.size();
        return peakBytes_.size() < kBuffer || flush(peakBytes_, peaksAt_, error);
    }

    bool finish(uint32_t trackLimit, const std::vector<TrackPeaks>& tracks, std::string& error) {
        if (fd_ < 0) {
            error = "cannot create " + temporary_;
            return false;
        }
        if (written_ != count_) {
            error = "fewer entries than counted for " + path_;
            return false;
        }
        if (!flush(postings_, postingsAt_, error) || !flush(low_, lowAt_, error) || !flush(peakBytes_, peaksAt_, error))
            return false;
        const auto* table = reinterpret_cast<const uint8_t*>(tracks.data());
        // The padding before the table and an empty table are holes: the file is sized to its end.
        if (!writeAt(table, tracks.size() * sizeof(TrackPeaks), tableAt_, error) ||
            ::ftruncate(fd_, static_cast<off_t>(tableAt_ + tracks.size() * sizeof(TrackPeaks) + peakCount_ * sizeof(uint32_t))) != 0) {
            error = "cannot write " + temporary_;
            return false;
        }
        for (size_t b = 1; b < directory_.size(); ++b)
            directory_[b] += directory_[b - 1];
        IndexHeader header{};
        std::memcpy(header.magic, kIndexMagic, sizeof header.magic);
        header.hashBits = FingerprintConfig::kHashBits;
        header.directoryBits = static_cast<uint32_t>(bits_);
        header.entryCount = count_;
        header.lowBytes = static_cast<uint32_t>(lowBytes_);
        header.trackLimit = std::max(trackLimit, trackLimit_);
        header.peakCount = peakCount_;
        header.trackCount = static_cast<uint32_t>(tracks.size());
        const auto* dir = reinterpret_cast<const uint8_t*>(directory_.data());
        if (!writeAt(reinterpret_cast<const uint8_t*>(&header), sizeof header, 0, error) ||
            !writeAt(dir, directory_.size() * sizeof(uint32_t), sizeof header, error))
            return false;
        // The data reaches the disk before the name does: a crash leaves the old segment or the
        // whole new one, never a torn file under the segment's name.
        const bool synced = ::fsync(fd_) == 0;
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        if (!synced || !closed || std::rename(temporary_.c_str(), path_.c_str()) != 0) {
            std::remove(temporary_.c_str());
            error = "cannot write " + path_;
            return false;
        }
        return true;
    }

private:
    static constexpr size_t kBuffer = size_t{1} << 20;

    bool writeAt(const uint8_t* data, size_t size, uint64_t at, std::string& error) {
        while (size > 0) {
            const ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(at));
            if (n <= 0) {
                error = "cannot write " + temporary_;
                return false;
            }
            data += n;
            size -= static_cast<size_t>(n);
            at += static_cast<uint64_t>(n);
        }
        return true;
    }
    bool flush(std::vector<uint8_t>& buffer, uint64_t& at, std::string& error) {
        if (fd_ < 0) {
            error = "cannot create " + temporary_;
            return false;
        }
        const bool ok = writeAt(buffer.data(), buffer.size(), at, error);
        at += buffer.size();
        buffer.clear();
        return ok;
    }

    std::string path_, temporary_;
    uint64_t count_;
    int bits_;
    int lowBytes_;
    std::vector<uint32_t> directory_;
    uint64_t postingsAt_ = 0, lowAt_ = 0, tableAt_ = 0, peaksAt_ = 0;
    std::vector<uint8_t> postings_, low_, peakBytes_;
    uint64_t peakCount_ = 0;
    uint64_t written_ = 0;
    uint32_t last_ = 0;
    uint32_t trackLimit_ = 0;
    int fd_ = -1;
};

// Sorted streams of entries for the k-way merge: a run file, or a mapped segment.
class Cursor {
public:
    virtual ~Cursor() = default;
    virtual bool next(IndexEntry& e) = 0;
};

class RunCursor : public Cursor {
public:
    explicit RunCursor(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}
    ~RunCursor() override {
        if (file_ != nullptr)
            std::fclose(file_);
    }
    bool ok() const { return file_ != nullptr; }
    bool next(IndexEntry& e) override {
        if (at_ == filled_) {
            filled_ = std::fread(buffer_.data(), sizeof(IndexEntry), buffer_.size(), file_);
            at_ = 0;
            if (filled_ == 0)
                return false;
        }
        e = buffer_[at_++];
        return true;
    }

private:
    FILE* file_;
    std::vector<IndexEntry> buffer_ = std::vector<IndexEntry>(size_t{1} << 16);
    size_t at_ = 0, filled_ = 0;
};

class SegmentCursor : public Cursor {
public:
    SegmentCursor(const IndexSegment& segment, const std::function<bool(uint32_t)>& dropped)
        : segment_(segment), dropped_(dropped) {}
    bool next(IndexEntry& e) override {
        for (; i_ < segment_.entryCount(); ++i_) {
            // Bounded by the directory's size: a segment changed under its mapping may hold zeros.
            while (bucket_ < segment_.bucketCount() && segment_.bucketEnd(bucket_) <= i_)
                ++bucket_;
            if (bucket_ == segment_.bucketCount())
                return false;
            const uint64_t v = segment_.posting(i_);
            if (dropped_ && dropped_(postingTrack(v)))
                continue;
            e = IndexEntry{segment_.hashAt(bucket_, i_), postingTrack(v), static_cast<uint32_t>(postingFrame(v))};
            ++i_;
            return true;
        }
        return false;
    }

private:
    const IndexSegment& segment_;
    const std::function<bool(uint32_t)>& dropped_;
    uint64_t i_ = 0;
    uint32_t bucket_ = 0;
};

bool mergeInto(std::vector<std::unique_ptr<Cursor>>& cursors, SegmentSink& sink, std::string& error) {
    using Head = std::pair<IndexEntry, size_t>;
    std::priority_queue<Head, std::vector<Head>, std::greater<>> heads;
    for (size_t i = 0; i < cursors.size(); ++i)
        if (IndexEntry e{}; cursors[i]->next(e))
            heads.emplace(e, i);
    while (!heads.empty()) {
        const auto [e, i] = heads.top();
        heads.pop();
        if (!sink.put(e, error))
            return false;
        if (IndexEntry n{}; cursors[i]->next(n))
            heads.emplace(n, i);
    }
    return true;
}

// Copies the peaks `tracks` point at in `file` into the segment in track order, and points the
// table at their new places.
bool writePeaks(std::vector<TrackPeaks>& tracks, std::FILE* file, const std::string& path, SegmentSink& sink,
                std::string& error) {
    std::sort(tracks.begin(), tracks.end(), [](const TrackPeaks& a, const TrackPeaks& b) { return a.track < b.track; });
    for (size_t i = 1; i < tracks.size(); ++i)
        if (tracks[i].track == tracks[i - 1].track) {
            error = "track " + std::to_string(tracks[i].track) + " was added twice";
            return false;
        }
    sink.beginPeaks(tracks.size());
    if (file != nullptr && std::fflush(file) != 0) {
        error = "cannot write the peaks to " + path;
        return false;
    }
    std::vector<uint32_t> buffer;
    uint64_t at = 0;
    for (TrackPeaks& t : tracks) {
        buffer.resize(t.count);
        const auto bytes = static_cast<ssize_t>(t.count * sizeof(uint32_t));
        if (::pread(::fileno(file), buffer.data(), static_cast<size_t>(bytes), static_cast<off_t>(t.first * sizeof(uint32_t))) != bytes) {
            error = "cannot read the peaks back from " + path;
            return false;
        }
        if (!sink.putPeaks(buffer, error))
            return false;
        t.first = at;
        at += t.count;
    }
    return true;
}

} // namespace

IndexWriter::IndexWriter(std::string workDirectory, size_t memoryBudget)
    : workDirectory_(std::move(workDirectory)), capacity_(std::max<size_t>(1024, memoryBudget / sizeof(IndexEntry))) {}

IndexWriter::~IndexWriter() {
    for (const std::string& run : runs_)
        std::remove(run.c_str());
    peakFile_.reset();
    if (!peakPath_.empty())
        std::remove(peakPath_.c_str());
}

bool IndexWriter::add(uint32_t track, const std::vector<Landmark>& landmarks, std::span<const Peak> peaks,
                      std::string& error) {
    if (track > kMaxTrack) {
        error = "track id " + std::to_string(track) + " is past the index's 24 bits";
        return false;
    }
    if (!addPeaks(track, peaks, error))
        return false;
    if (entries_.capacity() < capacity_)
        entries_.reserve(capacity_);  // one allocation of the budget, not a doubling past it
    for (const Landmark& l : landmarks) {
        if (l.frame < 0 || static_cast<uint32_t>(l.frame) > kMaxFrame)
            continue;
        entries_.push_back(IndexEntry{l.hash, track, static_cast<uint32_t>(l.frame)});
        ++total_;
        if (entries_.size() >= capacity_ && !spill(error))
            return false;
    }
    return true;
}

bool IndexWriter::addPeaks(uint32_t track, std::span<const Peak> peaks, std::string& error) {
    std::vector<uint32_t> packed;
    packed.reserve(peaks.size());
    for (const Peak& p : peaks) {
        if (p.bin < 0 || p.bin > 0xFF) {
            error = "a peak of track " + std::to_string(track) + " lies outside the index's 8 bits of frequency";
            return false;
        }
        if (p.frame < 0 || static_cast<uint32_t>(p.frame) > kMaxFrame)
            continue;
        if (!packed.empty() && packPeak(p.frame, p.bin) < packed.back()) {
            error = "the peaks of track " + std::to_string(track) + " are not in time order";
            return false;
        }
        packed.push_back(packPeak(p.frame, p.bin));
    }
    if (packed.empty())
        return true;
    if (!peakFile_) {
        std::error_code ec;
        std::filesystem::create_directories(workDirectory_, ec);
        peakPath_ = workDirectory_ + "/peaks";
        peakFile_.reset(std::fopen(peakPath_.c_str(), "w+b"));
    }
    if (!peakFile_ || std::fwrite(packed.data(), sizeof(uint32_t), packed.size(), peakFile_.get()) != packed.size()) {
        error = "cannot write the peaks to " + workDirectory_;
        return false;
    }
    tracks_.push_back(TrackPeaks{track, static_cast<uint32_t>(packed.size()), peakTotal_});
    peakTotal_ += packed.size();
    return true;
}

bool IndexWriter::spill(std::string& error) {
    std::sort(entries_.begin(), entries_.end());
    std::error_code ec;
    std::filesystem::create_directories(workDirectory_, ec);
    char name[32];
    std::snprintf(name, sizeof name, "/run-%06zu", runs_.size());
    const std::string path = workDirectory_ + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    bool ok = file != nullptr && std::fwrite(entries_.data(), sizeof(IndexEntry), entries_.size(), file) == entries_.size();
    ok = file != nullptr && std::fclose(file) == 0 && ok;
    if (!ok) {
        std::remove(path.c_str());
        error = "cannot write the sorted run " + path;
        return false;
    }
    runs_.push_back(path);
    entries_.clear();
    return true;
}

bool IndexWriter::write(const std::string& path, std::string& error) {
    if (total_ > UINT32_MAX) {
        error = "more than 2^32 entries for one segment";
        return false;
    }
    std::sort(entries_.begin(), entries_.end());
    SegmentSink sink(path, total_);
    uint32_t trackLimit = 0;
    if (runs_.empty()) {
        for (const IndexEntry& e : entries_) {
            trackLimit = std::max(trackLimit, e.track + 1);
            if (!sink.put(e, error))
                return false;
        }
    } else {
        if (!entries_.empty() && !spill(error))
            return false;
        std::vector<std::unique_ptr<Cursor>> cursors;
        for (const std::string& run : runs_) {
            auto cursor = std::make_unique<RunCursor>(run);
            if (!cursor->ok()) {
                error = "cannot read the sorted run " + run;
                return false;
            }
            cursors.push_back(std::move(cursor));
        }
        if (!mergeInto(cursors, sink, error))
            return false;
    }
    std::vector<IndexEntry>().swap(entries_);
    if (!writePeaks(tracks_, peakFile_.get(), peakPath_, sink, error) || !sink.finish(trackLimit, tracks_, error))
        return false;
    peakFile_.reset();
    std::remove(peakPath_.c_str());
    return true;
}

bool IndexWriter::merge(const std::vector<const IndexSegment*>& segments, const std::function<bool(uint32_t)>& dropped,
                        const std::string& path, std::string& error) {
    uint64_t count = 0;
    uint32_t trackLimit = 0;
    for (const IndexSegment* s : segments) {
        trackLimit = std::max(trackLimit, s->trackLimit());
        for (uint64_t i = 0; i < s->entryCount(); ++i)
            count += !(dropped && dropped(postingTrack(s->posting(i))));
    }
    if (count > UINT32_MAX) {
        error = "more than 2^32 entries for one segment";
        return false;
    }
    SegmentSink sink(path, count);
    std::vector<std::unique_ptr<Cursor>> cursors;
    for (const IndexSegment* s : segments)
        cursors.push_back(std::make_unique<SegmentCursor>(*s, dropped));
    if (!mergeInto(cursors, sink, error))
        return false;
    // The kept tracks' peaks, in track order (a track lives in one segment).
    std::vector<std::pair<TrackPeaks, const IndexSegment*>> kept;
    for (const IndexSegment* s : segments)
        for (const TrackPeaks& t : s->trackTable())
            if (!(dropped && dropped(t.track)))
                kept.emplace_back(t, s);
    std::stable_sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) { return a.first.track < b.first.track; });
    kept.erase(std::unique(kept.begin(), kept.end(), [](const auto& a, const auto& b) { return a.first.track == b.first.track; }),
               kept.end());
    std::vector<TrackPeaks> table;
    sink.beginPeaks(kept.size());
    uint64_t at = 0;
    for (const auto& [t, s] : kept) {
        const std::span<const uint32_t> peaks = s->peaksOf(t.track);
        if (!sink.putPeaks(peaks, error))
            return false;
        table.push_back(TrackPeaks{t.track, static_cast<uint32_t>(peaks.size()), at});
        at += peaks.size();
    }
    // A segment truncated or rewritten while it was read gave zeros or worse: nothing of it is kept.
    for (const IndexSegment* s : segments)
        if (!s->intact()) {
            error = s->path() + " changed on disk while it was merged";
            return false;
        }
    return sink.finish(trackLimit, table, error);
}

} // namespace melodex::fp
