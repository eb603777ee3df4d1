// r6odi-alpaca: one camera of the r6odi driver and its filter wheel as
// ASCOM Alpaca devices. The main thread is the driver thread; HTTP and
// discovery run on threads of their own and hand it their work.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

#if defined(_WIN32)
#include "driver/module_lifecycle.h"
#endif
#include "discovery.h"
#include "options.h"
#include "server.h"

namespace {

std::atomic<bool> stopWanted{false};

void OnSignal(int)
{
    stopWanted = true;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "r6odi-alpaca: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    alpaca::ServerOptions options;
    std::string error;
    if (!alpaca::ParseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "r6odi-alpaca: %s\n%s", error.c_str(), alpaca::kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(alpaca::kUsage, stdout);
        return 0;
    }
#if defined(_WIN32)
    // The driver's code is part of this program, not a DLL beside it: the
    // program makes the loader's attach and detach calls itself.
    OnProcessAttach(GetModuleHandleA(nullptr));
    struct Detach {
        ~Detach() { OnProcessDetach(); }
    } detach;
#endif
    r6host::DriverApi api;
    if (!r6host::StartWorld(options.world, &api, &error)) {
        std::string ignored;
        r6host::StopWorld(&ignored);
        return Fail(error);
    }
    alpaca::Rig rig(api, options.rig);
    alpaca::DriverThread driver;
    // The same command line gives the same UniqueIDs on every start; the
    // camera id keeps two servers of two cameras apart.
    alpaca::ServerIdentity identity{options.location, "r6odi-alpaca/camera " +
                                                          std::to_string(options.rig.setup.cameraId) + "/port " +
                                                          std::to_string(options.port)};
    alpaca::Server server(rig, driver, identity);
    if (!server.Bind(options.listen, options.port, &error)) {
        std::string ignored;
        r6host::StopWorld(&ignored);
        return Fail(error);
    }
    alpaca::DiscoveryResponder discovery;
    bool loopback = options.listen.rfind("127.", 0) == 0 || options.listen == "localhost";
    if (options.discoveryPort != 0 && !discovery.Start(options.discoveryPort, options.port, loopback, &error))
        std::fprintf(stderr, "r6odi-alpaca: %s; serving without discovery\n", error.c_str());
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::thread http([&server]() { server.Serve(); });
    std::printf("r6odi-alpaca: serving camera/0 and filterwheel/0 on http://%s:%d/%s\n", options.listen.c_str(),
                options.port, options.discoveryPort != 0 ? (" (discovery on UDP " + std::to_string(options.discoveryPort) + ")").c_str() : "");
    std::fflush(stdout);

    // A stop request ends the HTTP side first, on a thread of its own: its
    // handlers may still wait for jobs, which this thread keeps running.
    std::thread stopper;
    driver.Run([&]() {
        rig.Step();
        if (stopWanted && !stopper.joinable())
            stopper = std::thread([&]() {
                server.Stop();
                http.join();
                discovery.Stop();
                driver.Stop();
            });
    });
    stopper.join();
    rig.Close();
    if (!r6host::StopWorld(&error))
        return Fail(error);
    std::printf("r6odi-alpaca: stopped\n");
    return 0;
}
