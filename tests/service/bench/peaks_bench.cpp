// Finding the peaks of a spectrogram: a tenth of a query's time on a small catalog, and what
// the catalog build does to whole tracks. The input is an 11 s phone recording of a packaged
// track in noise, as a query's; its spectrogram is made once, outside the timing.
#include "TestSupport.h"
#include "fingerprint/PeakExtractor.h"

#include <benchmark/benchmark.h>

namespace {

using namespace melodex;

void PeaksOfAClip(benchmark::State& state, fp::PeakDensity density) {
    const fp::FingerprintConfig config;
    const fp::PeakExtractor extractor(config);
    const std::vector<float> clip = test::recordClip(test::track("battle.ogg"), 20.0, test::mic(10.0));
    int frames = 0;
    const std::vector<float> power = extractor.spectrogram(clip, frames);
    size_t peaks = 0;
    for (auto _ : state) {
        const std::vector<fp::Peak> found = extractor.extractFromSpectrogram(power, frames, density);
        peaks = found.size();
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["peaks"] = static_cast<double>(peaks);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * frames);
}
BENCHMARK_CAPTURE(PeaksOfAClip, query, fp::PeakDensity::Query)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PeaksOfAClip, reference, fp::PeakDensity::Reference)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
