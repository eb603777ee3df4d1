// The bus is used from the driver's thread and from tests at once: plugging
// and unplugging must never tear an exchange or another camera's traffic.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sim/sim_bus.h"
#include "sim_test_support.h"

namespace {

using simtest::Bytes;

// One GetInfo exchange over fresh handles: true when it went through whole,
// false when the camera was away; anything else is recorded as torn.
bool Identify(sim::SimBus& bus, const std::string& path, std::atomic<int>* torn)
{
    DWORD error = 0;
    std::unique_ptr<emu::DeviceFile> command = bus.Open(path + "\\0", &error);
    std::unique_ptr<emu::DeviceFile> reply = bus.Open(path + "\\1", &error);
    if (!command || !reply) {
        if (error != ERROR_FILE_NOT_FOUND)
            ++*torn;
        return false;
    }
    simtest::Transfer w = simtest::Write(*command, {0});
    if (!w.ok) {
        if (w.error != ERROR_DEVICE_NOT_CONNECTED)
            ++*torn;
        return false;
    }
    simtest::Transfer r = simtest::Read(*reply, 61);
    if (!r.ok) {
        if (r.error != ERROR_DEVICE_NOT_CONNECTED)
            ++*torn;
        return false;
    }
    // Unplugged between write and read: the reply went with the device.
    if (r.done == 0)
        return false;
    if (r.done != 61 || r.bytes[0] != 0x80)
        ++*torn;
    return true;
}

TEST(SimBusConcurrency, HotPlugDuringExchanges)
{
    sim::SimBus bus;
    auto plugged = bus.Attach(simtest::Camera(1, 1, "KS00001"));
    auto steady = bus.Attach(simtest::Camera(2, 2, "KM00002"));
    const int rounds = 2000;
    std::atomic<int> torn{0};
    std::atomic<int> steadyFailures{0};
    std::atomic<bool> done{false};

    std::thread plugger([&] {
        for (int i = 0; i < rounds; ++i) {
            bus.Detach(plugged);
            bus.Attach(plugged);
        }
        done = true;
    });
    std::thread prober([&] {
        while (!done)
            Identify(bus, plugged->Path(), &torn);
    });
    std::thread other([&] {
        for (int i = 0; i < rounds; ++i)
            if (!Identify(bus, steady->Path(), &torn))
                ++steadyFailures;
    });
    plugger.join();
    prober.join();
    other.join();

    EXPECT_EQ(0, torn.load());
    EXPECT_EQ(0, steadyFailures.load());
    EXPECT_TRUE(plugged->Attached());
    EXPECT_EQ(0, plugged->OpenFiles(sim::Endpoint::Command));
    EXPECT_EQ(0, plugged->OpenFiles(sim::Endpoint::Reply));
    EXPECT_EQ((size_t)rounds, steady->CommandWrites().size());
}

} // namespace
