// What the capture host adds to every frame beyond the driver's readout, on
// a 16 MP frame (4096 x 4096): the statistics of the summary, the FITS
// write (to a file in the build tree, then renamed) and the preview stretch.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "fits_file.h"
#include "frame.h"
#include "png_preview.h"

namespace {

capture::Frame SixteenMegapixels()
{
    capture::Frame frame;
    frame.width = 4096;
    frame.height = 4096;
    frame.pixels.resize((size_t)frame.width * frame.height);
    uint32_t noise = 12345;
    for (uint16_t& pixel : frame.pixels) {
        noise = noise * 1664525u + 1013904223u;
        pixel = (uint16_t)(1000 + (noise >> 26));
    }
    frame.info.exposureSeconds = 60.0;
    frame.info.instrument = "bench";
    return frame;
}

const capture::Frame& Frame16()
{
    static const capture::Frame frame = SixteenMegapixels();
    return frame;
}

void Statistics(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(capture::Measure(Frame16()));
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)Frame16().pixels.size() * 2);
}
BENCHMARK(Statistics)->Unit(benchmark::kMillisecond);

void FitsWrite(benchmark::State& state)
{
    const std::string path = "capture_cost_bench.fits";
    std::string error;
    for (auto _ : state)
        if (!capture::WriteFits(path, Frame16(), &error))
            state.SkipWithError(error.c_str());
    std::remove(path.c_str());
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)Frame16().pixels.size() * 2);
}
BENCHMARK(FitsWrite)->Unit(benchmark::kMillisecond);

void PreviewStretch(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(capture::ApplyStretch(Frame16(), capture::AutoStretch(Frame16())));
}
BENCHMARK(PreviewStretch)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
