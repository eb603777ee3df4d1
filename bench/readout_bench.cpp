// Throughput of the readout's hot path against memcpy of the same bytes.
//
// For frames of 1 and 16 megapixels: UnpackRows and UnpackAveragedRows on a
// transfer already in memory, with the row code the readout picks, with the
// SSE2 code (where the readout picks AVX2) and with the portable loops
// alone (the code before the vector one); memcpy of that transfer's size
// (the baseline: no conversion can move bytes faster than a copy); and the
// whole ReadImage through the simulated image pipe. The pipe's camera hands
// over a transfer built once, so the pipe costs two copies (into its queue
// and out of it) on top of the readout itself.
//
// Every figure counts the bytes of the transfer, and the summary at the end
// gives each one's median of five repetitions as a fraction of memcpy's.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "device/camera.h"
#include "driver/module_lifecycle.h"
#include "hostsupport/memory.h"
#include "platform/emul/control.h"
#include "protocol/readout.h"
#include "sim/bus_installation.h"
#include "sim/frame_transfer.h"
#include "sim/sim_bus.h"

namespace {

struct FrameSize {
    const char* label;
    size_t width;
    size_t height;
};

const FrameSize kFrames[] = {{"1MP", 1024, 1024}, {"16MP", 4096, 4096}};

constexpr int kRepetitions = 5;

size_t TransferBytes(const FrameSize& frame, bool averaged)
{
    return frame.width * frame.height * 2 * (averaged ? 2 : 1);
}

std::vector<uint8_t> RandomBytes(size_t count)
{
    std::vector<uint8_t> bytes(count);
    std::mt19937 random(20240611);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

void CountBytes(benchmark::State& state, size_t bytes)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void Memcpy(benchmark::State& state, size_t bytes)
{
    std::vector<uint8_t> from = RandomBytes(bytes);
    std::vector<uint8_t> to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    CountBytes(state, bytes);
}

// The row code the readout picks for a frame of this size.
r6odi::RowCode PickedCode(const FrameSize& frame)
{
    return r6odi::RowCodeFor(uint64_t{frame.width} * frame.height * 2);
}

// `code`: the portable loops (the readout before its vector code), the
// SSE2 code, or the code the readout picks for the frame.
void Unpack(benchmark::State& state, FrameSize frame, bool averaged, r6odi::RowCode code)
{
    std::vector<uint8_t> raw = RandomBytes(TransferBytes(frame, averaged));
    std::vector<uint16_t> pixels(frame.width * frame.height);
    std::vector<uint16_t> samples(2 * frame.width);
    const r6odi::RawFrame rawFrame{raw.data(), frame.width, frame.height, 0};
    for (auto _ : state) {
        if (averaged)
            r6odi::UnpackAveragedRows(rawFrame, samples.data(), pixels.data(), code);
        else
            r6odi::UnpackRows(rawFrame, pixels.data(), code);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    CountBytes(state, raw.size());
}

// The driver module loaded on a simulated bus, for the whole run.
class PipeBench {
public:
    PipeBench() : installation_(bus_)
    {
        module_ = emu::LoadModule(DllMain, "/opt/host/drivers/d_r6odi.dll");
    }
    ~PipeBench() { emu::FreeModule(module_); }

    void Run(benchmark::State& state, FrameSize frame, bool averaged)
    {
        std::shared_ptr<sim::SimCamera> camera = AttachCamera(frame, averaged);
        r6odi::CCamera* driver = hostsupport::New<r6odi::CCamera>();
        if (module_ == nullptr || driver == nullptr || !driver->Open(-1) || !driver->SetReadMode(averaged ? 0 : 1)) {
            state.SkipWithError("the simulated camera does not open");
        } else {
            ServeFrames(*camera, frame, averaged);
            std::vector<uint16_t> pixels(frame.width * frame.height);
            const int32_t width = static_cast<int32_t>(frame.width);
            const int32_t height = static_cast<int32_t>(frame.height);
            for (auto _ : state) {
                if (!r6odi::CameraReadImage(driver, 0, 0, width, height,
                                            static_cast<uint32_t>(pixels.size() * 2), pixels.data())) {
                    state.SkipWithError(driver->lastError);
                    break;
                }
                benchmark::ClobberMemory();
            }
            CountBytes(state, TransferBytes(frame, averaged));
        }
        r6odi::DestroyCamera(driver);
        bus_.Detach(camera);
    }

private:
    std::shared_ptr<sim::SimCamera> AttachCamera(const FrameSize& frame, bool averaged)
    {
        sim::CameraDescription d;
        d.type = 1;
        d.id = 7;
        d.serial = averaged ? "BENCH2" : "BENCH1";
        d.width = static_cast<uint16_t>(frame.width);
        d.height = static_cast<uint16_t>(frame.height);
        d.vendorId = 0x1278;
        d.productId = 0x0501;
        return bus_.Attach(d);
    }

    // The camera answers every frame request with the same transfer, made
    // once per frame size and mode for the whole sensor the way the camera
    // would send it.
    void ServeFrames(sim::SimCamera& camera, const FrameSize& frame, bool averaged)
    {
        std::shared_ptr<std::vector<uint8_t>>& transfer = transfers_[std::string(frame.label) + (averaged ? "/2" : "/1")];
        if (transfer == nullptr) {
            transfer = std::make_shared<std::vector<uint8_t>>();
            camera.WithState([&](sim::CameraState& state) {
                sim::FrameRequest request;
                request.code = 11;
                request.rowCount = static_cast<uint16_t>(frame.height);
                request.columnCount = static_cast<uint16_t>(frame.width);
                *transfer = sim::FrameTransfer(state, request);
            });
        }
        std::shared_ptr<const std::vector<uint8_t>> bytes = transfer;
        camera.DefineCommand(11, [bytes](sim::CameraState& state, const sim::Bytes&) {
            state.imageData.Append(*bytes);
            return sim::Bytes();
        });
    }

    sim::SimBus bus_;
    sim::BusInstallation installation_;
    HINSTANCE module_ = nullptr;
    std::map<std::string, std::shared_ptr<std::vector<uint8_t>>> transfers_;
};

// Prints the usual table and, at the end, every figure against memcpy.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    struct Comparison {
        std::string name;
        std::string baseline;
        double needed; // 0: no target
    };

    void Compare(const std::string& name, const std::string& baseline, double needed)
    {
        comparisons_.push_back(Comparison{name, baseline, needed});
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        // The median of the repetitions counts: on a shared machine single
        // runs measure the neighbours as much as the code.
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (!run.error_occurred && (median || single))
                times_[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\nThroughput against memcpy of the same bytes:\n");
        for (const Comparison& c : comparisons_) {
            auto it = times_.find(c.name);
            auto base = times_.find(c.baseline);
            if (it == times_.end() || base == times_.end() || it->second <= 0.0)
                continue;
            const double ratio = base->second / it->second;
            std::printf("  %-28s %5.2fx", c.name.c_str(), ratio);
            if (c.needed > 0.0)
                std::printf("   (target %.2fx: %s)", c.needed, ratio >= c.needed ? "met" : "MISSED");
            std::printf("\n");
        }
    }

private:
    std::vector<Comparison> comparisons_;
    std::map<std::string, double> times_;
};

void Register(const std::string& name, std::function<void(benchmark::State&)> run)
{
    benchmark::RegisterBenchmark(name.c_str(), [run](benchmark::State& state) { run(state); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(kRepetitions)
        ->DisplayAggregatesOnly(true);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    PipeBench pipe;
    SummaryReporter reporter;
    for (const FrameSize& frame : kFrames) {
        const std::string size = frame.label;
        for (bool averaged : {false, true}) {
            const std::string mode = averaged ? "double" : "single";
            const std::string memcpyName = "memcpy/" + size + "/" + mode;
            const std::string unpackName = (averaged ? "UnpackAveragedRows/" : "UnpackRows/") + size;
            const std::string portableName = unpackName + "/portable";
            const std::string pipeName = "ReadImage/" + size + "/" + mode;
            const size_t bytes = TransferBytes(frame, averaged);
            Register(memcpyName, [bytes](benchmark::State& state) { Memcpy(state, bytes); });
            const r6odi::RowCode picked = PickedCode(frame);
            const bool large = picked == r6odi::RowCode::Sse2Streaming || picked == r6odi::RowCode::Avx2Streaming;
            const r6odi::RowCode sse2 = large ? r6odi::RowCode::Sse2Streaming : r6odi::RowCode::Sse2;
            Register(portableName, [frame, averaged](benchmark::State& state) {
                Unpack(state, frame, averaged, r6odi::RowCode::Portable);
            });
            // What a processor without AVX2 runs (every 32-bit Windows build
            // for SSE2 and every x86-64 one), when the readout picks more.
            const std::string sse2Name = unpackName + "/sse2";
            const bool sse2Differs = picked != sse2 && r6odi::RowCodeRuns(sse2);
            if (sse2Differs) {
                Register(sse2Name,
                         [frame, averaged, sse2](benchmark::State& state) { Unpack(state, frame, averaged, sse2); });
            }
            Register(unpackName,
                     [frame, averaged, picked](benchmark::State& state) { Unpack(state, frame, averaged, picked); });
            Register(pipeName,
                     [&pipe, frame, averaged](benchmark::State& state) { pipe.Run(state, frame, averaged); });
            const double target = frame.width * frame.height > (1u << 20) ? (averaged ? 1.0 : 0.95)
                                                                          : (averaged ? 0.6 : 0.8);
            reporter.Compare(portableName, memcpyName, target);
            if (sse2Differs)
                reporter.Compare(sse2Name, memcpyName, target);
            reporter.Compare(unpackName, memcpyName, target);
            reporter.Compare(pipeName, memcpyName, 0.0);
        }
    }
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
