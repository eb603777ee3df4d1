// What the Alpaca server costs over loopback, each figure beside a baseline
// measured in the same run, so that the ratio says what the server adds
// whatever the machine's load:
//   - a 16 MP frame (4096 x 4096) downloaded as ImageBytes and as JSON,
//     against a plain HTTP transfer of the same bytes by the same library;
//   - CameraState polled by 8 clients at once, against the same clients
//     polling a handler that answers a constant;
//   - the time from an exposure's end to ImageReady true, against the
//     driver's readout of the same frame alone.
//
//   alpaca_bench [--benchmark_repetitions=5 ...]
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "driver_thread.h"
#include "rig.h"
#include "server.h"

namespace {

constexpr int kSide = 4096;
constexpr int kPollers = 8;
constexpr int kPolls = 400; // per client and iteration

// A port nobody listens on: the system's choice for a socket closed again.
int FreePort()
{
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(probe, (sockaddr*)&address, size);
    getsockname(probe, (sockaddr*)&address, &size);
    close(probe);
    return ntohs(address.sin_port);
}

// A server with a frame ready and no camera: the download and the polls
// never reach the driver.
struct FrameServer {
    r6host::DriverApi api;
    alpaca::Rig rig{api, alpaca::RigOptions()};
    alpaca::DriverThread driver;
    alpaca::Server server{rig, driver, alpaca::ServerIdentity{"", "bench"}};
    httplib::Server plain;
    int port = FreePort();
    int plainPort = FreePort();
    std::string bytes;
    std::thread serving;
    std::thread plainServing;

    FrameServer()
    {
        std::vector<uint16_t> pixels((size_t)kSide * kSide);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = (uint16_t)(i * 2654435761u >> 16);
        {
            std::lock_guard<std::mutex> lock(rig.Lock());
            alpaca::Status& s = rig.State();
            s.cameraConnected = true;
            s.imageReady = true;
            s.image = std::make_shared<const alpaca::Image>(kSide, kSide, std::move(pixels));
        }
        bytes.assign(44 + (size_t)kSide * kSide * 2, 'x');
        plain.Get("/plain", [this](const httplib::Request&, httplib::Response& r) {
            r.set_content(bytes, "application/octet-stream");
        });
        plain.Get("/constant", [](const httplib::Request&, httplib::Response& r) {
            r.set_content("{\"Value\":0,\"ClientTransactionID\":0,\"ServerTransactionID\":1,\"ErrorNumber\":0,"
                          "\"ErrorMessage\":\"\"}",
                          "application/json");
        });
        plain.new_task_queue = [] { return new httplib::ThreadPool(32); };
        std::string error;
        server.Bind("127.0.0.1", port, &error);
        plain.bind_to_port("127.0.0.1", plainPort);
        serving = std::thread([this]() { server.Serve(); });
        plainServing = std::thread([this]() { plain.listen_after_bind(); });
        while (!plain.is_running())
            std::this_thread::yield();
    }
    ~FrameServer()
    {
        server.Stop();
        plain.stop();
        serving.join();
        plainServing.join();
    }
};

FrameServer& Frames()
{
    static FrameServer frames;
    return frames;
}

void Download(benchmark::State& state, int port, const char* path, const char* accept)
{
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(600, 0);
    httplib::Headers headers = {{"Accept", accept}};
    size_t total = 0;
    for (auto _ : state) {
        auto result = client.Get(path, headers);
        if (!result || result->status != 200) {
            state.SkipWithError("download failed");
            return;
        }
        total += result->body.size();
    }
    state.SetBytesProcessed((int64_t)total);
}

void BM_PlainTransfer(benchmark::State& state)
{
    Download(state, Frames().plainPort, "/plain", "*/*");
}

void BM_ImageBytes(benchmark::State& state)
{
    Download(state, Frames().port, "/api/v1/camera/0/imagearray", "application/imagebytes");
}

// A frame's first download also turns it into Alpaca's column order.
void BM_ImageBytesFirstDownload(benchmark::State& state)
{
    FrameServer& frames = Frames();
    httplib::Client client("127.0.0.1", frames.port);
    httplib::Headers headers = {{"Accept", "application/imagebytes"}};
    for (auto _ : state) {
        state.PauseTiming();
        {
            std::lock_guard<std::mutex> lock(frames.rig.Lock());
            const alpaca::Image& old = *frames.rig.State().image;
            std::vector<uint16_t> rows((size_t)kSide * kSide);
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x)
                    rows[(size_t)y * kSide + (size_t)x] = old.At(x, y);
            frames.rig.State().image = std::make_shared<const alpaca::Image>(kSide, kSide, std::move(rows));
        }
        state.ResumeTiming();
        auto result = client.Get("/api/v1/camera/0/imagearray", headers);
        if (!result || result->status != 200) {
            state.SkipWithError("download failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * (44 + (int64_t)kSide * kSide * 2));
}

void BM_ImageJson(benchmark::State& state)
{
    Download(state, Frames().port, "/api/v1/camera/0/imagearray", "application/json");
}

void Poll(benchmark::State& state, int port, const char* path)
{
    for (auto _ : state) {
        std::atomic<int> failures{0};
        std::vector<std::thread> clients;
        for (int c = 0; c < kPollers; ++c)
            clients.emplace_back([&]() {
                httplib::Client client("127.0.0.1", port);
                for (int i = 0; i < kPolls; ++i) {
                    auto result = client.Get(path);
                    if (!result || result->status != 200)
                        ++failures;
                }
            });
        for (std::thread& t : clients)
            t.join();
        if (failures > 0)
            state.SkipWithError("a poll failed");
    }
    state.SetItemsProcessed(state.iterations() * kPollers * kPolls);
}

void BM_PollConstant(benchmark::State& state)
{
    Poll(state, Frames().plainPort, "/constant");
}

void BM_PollCameraState(benchmark::State& state)
{
    Poll(state, Frames().port, "/api/v1/camera/0/camerastate");
}

// The simulated camera on the driver thread, served: an exposure's end to
// ImageReady true, seen by a client polling as fast as it can.
struct CameraServer {
    r6host::DriverApi api;
    alpaca::RigOptions options;
    std::unique_ptr<alpaca::Rig> rig;
    alpaca::DriverThread driver;
    std::unique_ptr<alpaca::Server> server;
    int port = FreePort();
    std::thread driverThread;
    std::atomic<bool> ready{false};

    CameraServer()
    {
        driverThread = std::thread([this]() {
            std::string error;
            r6host::StartWorld(r6host::WorldOptions(), &api, &error);
            rig = std::make_unique<alpaca::Rig>(api, options);
            server = std::make_unique<alpaca::Server>(*rig, driver, alpaca::ServerIdentity{"", "bench"});
            server->Bind("127.0.0.1", port, &error);
            std::thread serving([this]() { server->Serve(); });
            ready = true;
            driver.Run([this]() { rig->Step(); });
            server->Stop();
            serving.join();
            rig->Close();
            r6host::StopWorld(&error);
        });
        while (!ready)
            std::this_thread::yield();
    }
    ~CameraServer()
    {
        driver.Stop();
        driverThread.join();
    }
};

void BM_ExposureEndToImageReady(benchmark::State& state)
{
    CameraServer camera;
    httplib::Client client("127.0.0.1", camera.port);
    client.Put("/api/v1/camera/0/connected", "Connected=true", "application/x-www-form-urlencoded");
    const double seconds = 0.2;
    double readoutMs = 0.0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        client.Put("/api/v1/camera/0/startexposure", "Duration=0.2&Light=false", "application/x-www-form-urlencoded");
        auto end = start + std::chrono::duration<double>(seconds);
        for (;;) {
            auto answer = client.Get("/api/v1/camera/0/imageready");
            if (answer && answer->body.find("\"Value\":true") != std::string::npos)
                break;
        }
        auto late = std::chrono::steady_clock::now() - end;
        state.SetIterationTime(std::chrono::duration<double>(late).count());
    }
    // The baseline: the driver's readout of the same frame, alone.
    alpaca::Rig& rig = *camera.rig;
    const r6host::DriverApi& api = camera.api;
    for (int i = 0; i < 3; ++i) {
        auto reply = camera.driver.Call(
            [&rig, &api, &readoutMs]() {
                std::vector<uint16_t> frame((size_t)api.GetWidth(0) * (size_t)api.GetHeight(0));
                auto t0 = std::chrono::steady_clock::now();
                api.ReadImage(frame.data());
                double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
                readoutMs = readoutMs == 0.0 ? ms : std::min(readoutMs, ms);
                (void)rig;
                return alpaca::Reply::Done();
            },
            std::chrono::milliseconds(30000));
        (void)reply;
    }
    state.counters["readout_ms"] = readoutMs;
}

} // namespace

BENCHMARK(BM_PlainTransfer)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_ImageBytes)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_ImageBytesFirstDownload)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();
BENCHMARK(BM_ImageJson)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_PollConstant)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PollCameraState)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ExposureEndToImageReady)->Unit(benchmark::kMillisecond)->Iterations(10)->UseManualTime();

BENCHMARK_MAIN();
