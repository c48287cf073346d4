// Deciding a lookup pass: sorting its votes and finding the best-aligned track, at the size
// of a pass over a large catalog (the plain hypothesis at 100 000 tracks casts 150 000 to
// 900 000 votes): chance votes spread over every track and over offsets from a clip's length
// before a track's start to its end, and one track's votes piled at one offset.
#include "fingerprint/VoteTally.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

using melodex::fp::VoteTally;

struct Vote {
    uint32_t track;
    int32_t offset;
};

std::vector<Vote> passVotes(size_t count, uint32_t tracks) {
    std::mt19937 random(2026);
    std::uniform_int_distribution<uint32_t> track(0, tracks - 1);
    std::uniform_int_distribution<int32_t> offset(-1900, 19000);
    std::vector<Vote> votes(count);
    for (size_t i = 0; i < count; ++i)
        votes[i] = i % 50 == 0 ? Vote{tracks / 3, 4000 + static_cast<int32_t>(i % 3)} : Vote{track(random), offset(random)};
    return votes;
}

void BestOfAPass(benchmark::State& state) {
    const std::vector<Vote> votes = passVotes(static_cast<size_t>(state.range(0)), static_cast<uint32_t>(state.range(1)));
    VoteTally tally;
    for (auto _ : state) {
        tally.clear();
        for (const Vote& v : votes)
            tally.vote(v.track, v.offset);
        benchmark::DoNotOptimize(tally.best(4));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BestOfAPass)->Args({150'000, 100'000})->Args({900'000, 100'000})->Args({50'000, 41})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
