// Speed of the frame conversion (NV21 to BGRY) at camera sizes, in pixels per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "kt_image.h"
#include "yuv_convert.h"

static void BM_Nv21ToBgry(benchmark::State& state) {
    const uint32_t w = static_cast<uint32_t>(state.range(0)), h = static_cast<uint32_t>(state.range(1));
    std::vector<unsigned char> src(static_cast<size_t>(w) * h * 3 / 2);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<unsigned char>(i * 31 + (i >> 7));
    kt_image dst{};
    kt_init_image(&dst, w, h, 4);
    for (auto _ : state) {
        convertYUV420_NV21toARGB8888(src.data(), dst);
        benchmark::DoNotOptimize(dst.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(w) * h);
    state.counters["Mpixel/s"] =
        benchmark::Counter(static_cast<double>(w) * h / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    kt_free_image(&dst);
}
BENCHMARK(BM_Nv21ToBgry)->Args({176, 144})->Args({192, 144})->Args({640, 480})->Args({1920, 1080});

BENCHMARK_MAIN();
