// The index: the radix sort its writer and its matcher share, and its segments (widths, sorted
// runs, ascending lookups, files it must refuse) and a catalog's index over them.
#include "TestSupport.h"
#include "fingerprint/FingerprintIndex.h"
#include "fingerprint/IndexWriter.h"
#include "fingerprint/RadixSort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <set>

using namespace melodex;

// The radix sort orders keys as std::sort does, whichever of its 11-bit digits differ: none
// (every pass skipped), only the top one (a digit cut short by the key's width), only one in
// the middle, votes' keys whose offsets straddle zero, and keys random in every bit with
// repeats; one scratch buffer serves every sort, large and small, as the matcher's does.
TEST(RadixSort, OrdersKeysAsStdSortDoes) {
    std::mt19937_64 random(7);
    std::vector<uint64_t> votes, wide;
    for (int i = 0; i < 10000; ++i) {
        const auto track = static_cast<uint64_t>(random() % 100000);
        const auto offset = static_cast<int64_t>(random() % 40000) - 2000;
        votes.push_back((track << 32) | static_cast<uint64_t>(offset + (int64_t{1} << 31)));
        wide.push_back(random() % 64 == 0 && !wide.empty() ? wide.back() : random());
    }
    const std::vector<std::pair<const char*, std::vector<uint64_t>>> cases = {
        {"empty", {}},
        {"one key", {42}},
        {"all alike", std::vector<uint64_t>(50, 0x0123456789ABCDEFull)},
        {"top digit only", {uint64_t{3} << 60, uint64_t{1} << 60, uint64_t{511} << 55, 0, uint64_t{2} << 60}},
        {"a middle digit only", {(uint64_t{5} << 22) | 7, (uint64_t{1} << 22) | 7, (uint64_t{2047} << 22) | 7, 7}},
        {"votes", votes},
        {"random, with repeats", wide},
        {"small after large", {9, 3, 9, 1}},
    };
    std::vector<uint64_t> scratch;
    for (const auto& [name, keys] : cases) {
        std::vector<uint64_t> expected = keys;
        std::sort(expected.begin(), expected.end());
        std::vector<uint64_t> sorted = keys;
        fp::radixSort(sorted, scratch);
        EXPECT_EQ(sorted, expected) << name;
    }
}

// Entries written at the index's full widths come back from a lookup as they went in: track
// ids past the old 12 bits, frames past the old 20, in a small segment and a larger one
// (directories of 2^16 and 2^17 buckets).
TEST(IndexSegment, RoundTripsTracksAndFramesAtFullWidth) {
    test::TempDir dir;
    const struct {
        uint32_t track, frame;
    } edges[] = {{1, 0}, {4097, 5}, {fp::kMaxTrack, (1u << 20) + 3}, {123456, fp::kMaxFrame}, {7, 1u << 22}};
    // Hashes with the top bit clear: one all the edge tracks share, one of each's own; the
    // filler's have it set.
    constexpr uint32_t kShared = 0x5EADBEEF;
    const auto own = [](uint32_t track) { return (track * 2654435761u) & 0x7FFFFFFFu; };
    for (uint64_t filler : {uint64_t{0}, uint64_t{700000}}) {
        fp::IndexWriter writer(dir.path() + "/work");
        std::string error;
        for (const auto& e : edges)
            ASSERT_TRUE(writer.add(e.track, {{kShared, static_cast<int32_t>(e.frame)}, {own(e.track), 1}},
                                   std::vector<fp::Peak>{{0, 18}, {static_cast<int32_t>(e.frame), 255}}, error));
        std::vector<fp::Landmark> many;
        for (uint64_t i = 0; i < filler; ++i)
            many.push_back({static_cast<uint32_t>(i * 2246822519u) | 0x80000000u, static_cast<int32_t>(i % 1000)});
        ASSERT_TRUE(writer.add(9, many, {}, error));
        EXPECT_FALSE(writer.add(fp::kMaxTrack + 1, {{1, 1}}, {}, error));
        const std::string path = dir.path() + "/seg.fpi";
        ASSERT_TRUE(writer.write(path, error)) << error;
        fp::IndexSegment segment;
        ASSERT_TRUE(segment.open(path, error)) << error;
        EXPECT_EQ(segment.entryCount(), 2 * std::size(edges) + filler);
        const fp::PostingList hits = segment.lookup(kShared);
        ASSERT_EQ(hits.count, std::size(edges)) << filler;
        std::set<std::pair<uint32_t, int32_t>> found;
        for (size_t i = 0; i < hits.count; ++i)
            found.emplace(fp::postingTrack(hits[i]), fp::postingFrame(hits[i]));
        for (const auto& e : edges) {
            EXPECT_TRUE(found.count({e.track, static_cast<int32_t>(e.frame)})) << e.track << " at " << e.frame;
            EXPECT_EQ(segment.lookup(own(e.track)).count, 1u) << e.track;
        }
        EXPECT_EQ(segment.lookup(kShared + 1).count, 0u);
        size_t visited = 0;
        segment.forEachEntry([&](uint32_t, uint32_t, int32_t) { ++visited; });
        EXPECT_EQ(visited, segment.entryCount());
        for (const auto& e : edges) {
            const std::span<const uint32_t> peaks = segment.peaksOf(e.track);
            ASSERT_EQ(peaks.size(), 2u) << e.track;
            EXPECT_EQ(fp::peakFrame(peaks[1]), static_cast<int32_t>(e.frame));
            EXPECT_EQ(fp::peakBin(peaks[1]), 255);
            EXPECT_EQ(fp::peakBin(peaks[0]), 18);
        }
        EXPECT_TRUE(segment.peaksOf(9).empty());
    }
}

// Entries spilled to sorted runs and merged give the very file a sort in memory gives; the
// tracks' peaks, added in any order, are found by track.
TEST(IndexSegment, BuiltInSortedRunsEqualsBuiltAtOnce) {
    test::TempDir dir;
    std::vector<std::string> bytes;
    const auto peaksOf = [](uint32_t track) {
        std::vector<fp::Peak> peaks;
        for (int32_t i = 0; i < static_cast<int32_t>(track % 7); ++i)
            peaks.push_back({i * 3, 20 + static_cast<int32_t>(track)});
        return peaks;
    };
    for (size_t budget : {size_t{1} << 30, size_t{12} * 5000}) {
        fp::IndexWriter writer(dir.path() + "/work", budget);
        std::string error;
        for (uint32_t track = 40; track-- > 0;) {
            std::vector<fp::Landmark> landmarks;
            for (uint32_t i = 0; i < 1000; ++i)
                landmarks.push_back({(track * 7919u + i * 104729u) % 50000u, static_cast<int32_t>(i)});
            ASSERT_TRUE(writer.add(track, landmarks, peaksOf(track), error));
        }
        EXPECT_EQ(writer.runCount() > 1, budget < 1000000);
        const std::string path = dir.path() + "/seg-" + std::to_string(budget);
        ASSERT_TRUE(writer.write(path, error)) << error;
        bytes.push_back(test::fileBytes(path));
        fp::IndexSegment segment;
        ASSERT_TRUE(segment.open(path, error)) << error;
        for (uint32_t track = 0; track < 40; ++track) {
            const std::span<const uint32_t> stored = segment.peaksOf(track);
            const std::vector<fp::Peak> added = peaksOf(track);
            ASSERT_EQ(stored.size(), added.size()) << track;
            for (size_t i = 0; i < added.size(); ++i)
                EXPECT_EQ(stored[i], fp::packPeak(added[i].frame, added[i].bin)) << track;
        }
    }
    EXPECT_GT(bytes[0].size(), 40000u * 7);
    EXPECT_TRUE(bytes[0] == bytes[1]);
}

// What would make a track's peaks unreadable is refused: a track added twice (when the segment
// is written), a bin past 8 bits, peaks out of time order.
TEST(IndexSegment, RefusesPeaksItCannotKeep) {
    test::TempDir dir;
    const struct {
        const char* name;
        std::vector<fp::Peak> second;
        uint32_t secondTrack;
        const char* error;
    } cases[] = {{"twice", {{1, 20}}, 1, "track 1 was added twice"},
                 {"bin", {{1, 256}}, 2, "outside the index's 8 bits of frequency"},
                 {"order", {{5, 20}, {4, 30}}, 2, "not in time order"}};
    for (const auto& c : cases) {
        fp::IndexWriter writer(dir.path() + "/work");
        std::string error;
        ASSERT_TRUE(writer.add(1, {{7, 1}}, std::vector<fp::Peak>{{1, 20}}, error));
        const bool added = writer.add(c.secondTrack, {{8, 1}}, c.second, error);
        const bool written = added && writer.write(dir.path() + "/seg.fpi", error);
        EXPECT_FALSE(written) << c.name;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
    }
}

// A query looks its hashes up in ascending order, each search starting where the last ended:
// it must find what a lookup of each alone finds, in a bucket crowded with neighbouring hashes
// (the frame differences of one landmark) and across buckets.
TEST(IndexSegment, AscendingLookupsFindWhatSingleLookupsFind) {
    test::TempDir dir;
    fp::IndexWriter writer(dir.path() + "/work");
    std::string error;
    constexpr uint32_t kCrowded = 0x12345000;
    std::vector<fp::Landmark> landmarks;
    for (uint32_t k = 0; k < 4000; ++k)
        for (uint32_t copy = 0; k % 3 != 0 && copy < 1 + k % 5; ++copy)
            landmarks.push_back({kCrowded + k, static_cast<int32_t>(copy)});
    for (uint32_t i = 0; i < 20000; ++i)
        landmarks.push_back({i * 2654435761u, 1});
    ASSERT_TRUE(writer.add(3, landmarks, {}, error));
    const std::string path = dir.path() + "/seg.fpi";
    ASSERT_TRUE(writer.write(path, error)) << error;
    fp::IndexSegment segment;
    ASSERT_TRUE(segment.open(path, error)) << error;

    std::vector<uint32_t> hashes;
    for (uint32_t k = 0; k < 4100; k += 1 + k % 7)
        hashes.push_back(kCrowded + k);
    for (uint32_t i = 0; i < 20000; i += 97)
        hashes.insert(hashes.end(), {i * 2654435761u, i * 2654435761u + 1});
    std::sort(hashes.begin(), hashes.end());
    hashes.erase(std::unique(hashes.begin(), hashes.end()), hashes.end());
    std::vector<fp::PostingList> lists(hashes.size());
    segment.lookupMany(hashes, lists);
    size_t found = 0;
    for (size_t i = 0; i < hashes.size(); ++i) {
        const fp::PostingList alone = segment.lookup(hashes[i]);
        EXPECT_EQ(lists[i].count, alone.count) << std::hex << hashes[i];
        EXPECT_TRUE(alone.count == 0 || lists[i].data == alone.data) << std::hex << hashes[i];
        found += alone.count;
    }
    EXPECT_GT(found, 2000u);
}

TEST(IndexSegment, RefusesFilesThatAreNotSegments) {
    test::TempDir dir;
    fp::IndexWriter writer(dir.path() + "/work");
    std::string error;
    ASSERT_TRUE(writer.add(1, {{100, 5}, {200, 7}}, std::vector<fp::Peak>{{5, 40}, {7, 41}}, error));
    ASSERT_TRUE(writer.write(dir.path() + "/good.fpi", error));
    const std::string good = test::fileBytes(dir.path() + "/good.fpi");
    std::string backwards = good;  // a bucket that starts past the entries and past its successor
    backwards[sizeof(fp::IndexHeader) + 4 * 100 + 3] = '\x7f';
    std::string pastPeaks = good;  // the one track's peaks said to run past the last
    pastPeaks[good.size() - 2 * 4 - sizeof(fp::TrackPeaks) + 4] = 3;
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {{"text", std::string(5000, 'x')}, {"truncated", good.substr(0, good.size() - 1)},
                 {"damaged directory", backwards}, {"damaged track table", pastPeaks}, {"empty", ""}};
    for (const auto& c : cases) {
        std::ofstream(dir.path() + "/bad.fpi", std::ios::binary | std::ios::trunc) << c.bytes;
        fp::IndexSegment segment;
        EXPECT_FALSE(segment.open(dir.path() + "/bad.fpi", error)) << c.name;
        EXPECT_EQ(segment.lookup(100).count, 0u) << c.name;
    }
    fp::IndexSegment segment;
    EXPECT_FALSE(segment.open(dir.path() + "/missing.fpi", error));
    EXPECT_TRUE(segment.open(dir.path() + "/good.fpi", error)) << error;
}

// A track's peaks within a span of frames: both edges kept, a frame past either left out, a
// span before or after the track empty.
TEST(IndexSegment, PeaksWithinASpanKeepBothEdges) {
    std::vector<uint32_t> peaks;
    for (const int32_t frame : {10, 10, 12, 15, 20})
        peaks.push_back(fp::packPeak(frame, 40));
    const struct {
        int64_t first, last;
        std::vector<int32_t> frames;
    } cases[] = {{10, 20, {10, 10, 12, 15, 20}}, {11, 19, {12, 15}}, {12, 15, {12, 15}},
                 {13, 14, {}},                    {-5, 9, {}},     {21, 40, {}}, {15, 15, {15}}};
    for (const auto& c : cases) {
        std::vector<int32_t> found;
        for (const uint32_t p : fp::peaksWithin(peaks, c.first, c.last))
            found.push_back(fp::peakFrame(p));
        EXPECT_EQ(found, c.frames) << c.first << ".." << c.last;
    }
}

// A track's own peaks and its rendering's across a large room (kept after them, from
// kRoomFrames on) are read apart, whichever of the two it has; a deleted track has neither.
TEST(FingerprintIndex, ReadsATracksOwnPeaksApartFromItsRenderings) {
    constexpr int32_t kRoom = fp::FingerprintConfig::kRoomFrames;
    const struct {
        uint32_t track;
        std::vector<int32_t> own, room;
        bool deleted;
    } cases[] = {{1, {0, 5, kRoom - 1}, {kRoom, kRoom + 3}, false},
                 {2, {4, 9}, {}, false},
                 {3, {}, {kRoom + 1}, false},
                 {4, {2}, {kRoom + 2}, true}};
    test::TempDir dir;
    fp::IndexWriter writer(dir.path() + "/work");
    std::string error;
    for (const auto& c : cases) {
        std::vector<fp::Peak> peaks;
        for (const auto* frames : {&c.own, &c.room})
            for (const int32_t frame : *frames)
                peaks.push_back({frame, 30});
        ASSERT_TRUE(writer.add(c.track, {{c.track * 977u, 1}}, peaks, error)) << error;
    }
    ASSERT_TRUE(writer.write(dir.path() + "/seg.fpi", error)) << error;
    fp::FingerprintIndex index;
    ASSERT_TRUE(index.open({dir.path() + "/seg.fpi"}, {4}, error)) << error;
    const auto framesOf = [](std::span<const uint32_t> peaks) {
        std::vector<int32_t> frames;
        for (const uint32_t p : peaks)
            frames.push_back(fp::peakFrame(p));
        return frames;
    };
    for (const auto& c : cases) {
        EXPECT_EQ(framesOf(index.peaksOf(c.track)), c.deleted ? std::vector<int32_t>{} : c.own) << c.track;
        EXPECT_EQ(framesOf(index.roomPeaksOf(c.track)), c.deleted ? std::vector<int32_t>{} : c.room) << c.track;
    }
}
