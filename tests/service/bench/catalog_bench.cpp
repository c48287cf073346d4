// Opening a catalog (its index is one mmap and a header check): the service starts in
// milliseconds whatever the catalog's size. A catalog of the test tracks is built once.
#include "TestSupport.h"
#include "catalog/Catalog.h"

#include <benchmark/benchmark.h>

namespace {

void OpenCatalog(benchmark::State& state) {
    using namespace melodex;
    static test::TempDir dir;
    static const bool built = (test::buildCatalog(test::catalogTrackFiles(), dir.path()), true);
    (void)built;
    for (auto _ : state) {
        catalog::Catalog catalog;
        std::string error;
        if (!catalog.open(dir.path(), error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(catalog.index().entryCount());
    }
}
BENCHMARK(OpenCatalog)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
