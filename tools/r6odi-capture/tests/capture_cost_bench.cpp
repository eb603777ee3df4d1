// What the capture host adds to every frame beyond the driver's readout, on
// a 16 MP frame (4096 x 4096): the statistics of the summary, the FITS
// write (to a file in the build tree, then renamed) and the preview stretch.
// The FITS write is measured into the page cache beside a plain write of
// the same number of bytes in the same run, so that the ratio holds on a
// machine whose disk and load are not known; the flushed write adds the
// disk.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "disk_file.h"
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

const size_t kFileBytes = 4096 * 4096 * 2 + 2880 * 2; // data and a header of two blocks

void Write(benchmark::State& state, bool durable, bool rice = false)
{
    const std::string path = "capture_cost_bench.fits";
    capture::FitsWriteOptions options;
    options.replace = true;
    options.durable = durable;
    options.rice = rice;
    std::string error;
    for (auto _ : state)
        if (capture::WriteFits(path, Frame16(), capture::HeaderFacts(), options, &error) != capture::FitsWrite::Done)
            state.SkipWithError(error.c_str());
    std::remove(path.c_str());
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)kFileBytes);
}

void FitsWrite(benchmark::State& state)
{
    Write(state, false);
}
BENCHMARK(FitsWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same bytes, already in the form they take in the file, written and
// renamed the same way: what the system alone costs.
void PlainWrite(benchmark::State& state)
{
    static const std::vector<unsigned char> bytes(kFileBytes, 0x5A);
    const std::string path = "capture_cost_bench.raw";
    std::string error;
    for (auto _ : state) {
        capture::DiskFile file;
        bool done = capture::CreateDiskFile(path + ".part", &file, &error) &&
                    capture::WriteDiskFile(&file, bytes.data(), bytes.size(), &error) &&
                    capture::CloseDiskFile(&file, false, &error) &&
                    capture::PublishFile(path + ".part", path, true, false, &error) == capture::Publish::Done;
        if (!done)
            state.SkipWithError(error.c_str());
    }
    std::remove(path.c_str());
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)kFileBytes);
}
BENCHMARK(PlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

void FitsWriteFlushed(benchmark::State& state)
{
    Write(state, true);
}
BENCHMARK(FitsWriteFlushed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void FitsWriteRice(benchmark::State& state)
{
    Write(state, false, true);
}
BENCHMARK(FitsWriteRice)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void PreviewStretch(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(capture::ApplyStretch(Frame16(), capture::AutoStretch(Frame16())));
}
BENCHMARK(PreviewStretch)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
