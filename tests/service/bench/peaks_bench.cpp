// Finding the peaks of a spectrogram: a tenth of a query's time on a small catalog, and what
// the catalog build does to whole tracks; and the last look at a clip's leaders, which reads
// the same spectrogram. The input is an 11 s phone recording of a packaged track in noise, as
// a query's; its spectrogram is made once, outside the timing.
#include "TestSupport.h"
#include "fingerprint/IndexFormat.h"
#include "fingerprint/PeakAgreement.h"
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

// The last look as a clip no count decided pays it: the map of the recording, then six
// leaders weighed against their shifts (the track's own peaks, at six places in it).
void LastLookAtSixLeaders(benchmark::State& state) {
    const fp::FingerprintConfig config;
    const fp::PeakExtractor extractor(config);
    const std::vector<float> clip = test::recordClip(test::track("battle.ogg"), 20.0, test::mic(10.0));
    int frames = 0;
    const std::vector<float> power = extractor.spectrogram(clip, frames);
    const std::vector<float> whole = test::recordClip(test::track("battle.ogg"), 0.0, test::mic(1000.0));
    std::vector<uint32_t> track;
    for (const fp::Peak& p : extractor.extract(whole, fp::PeakDensity::Reference))
        track.push_back(fp::packPeak(p.frame, p.bin));
    for (auto _ : state) {
        const fp::AgreementMap map(config, power, frames);
        double best = 0.0;
        for (const int32_t offset : {1250, 200, 400, 600, 800, 1000})
            best = std::max(best, fp::agreementOf(config, map, track, offset).lesserHalf);
        benchmark::DoNotOptimize(best);
    }
}
BENCHMARK(LastLookAtSixLeaders)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
