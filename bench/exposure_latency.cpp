// How late the end of an exposure is seen, on the real clock: a Windows
// program (real threads, waits and message queue), run under wine64.
//
//   exposure_latency [COUNT]     COUNT exposures of each length (default 100)
//
// The host does what an imaging application does while it exposes: it waits
// for input at most 1 ms, dispatches what came and polls d_IsExposing. For
// each exposure of 50, 200 and 1000 ms two latencies are taken:
//   ready: from the requested end (start + time) until d_IsExposing gives 0;
//   closed: from then until a pump of messages has handled message 2024 and
//           closed the shutter.
// The camera object has its peer window and event but no device, so the
// figures are the driver's and the system's own, without USB traffic.
//
// The worker takes the time its thread needed to start off its wait, so the
// first latency is what is left: the system's wait and the host's loop. The
// program first times bare threads doing what the worker does (start, wait
// 50 ms on an event), to tell the system's share from the driver's.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "state/driver_state.h"
#include "driver/exports.h"
#include "driver/module_lifecycle.h"
#include "exposure/aa_camera.h"

namespace {

const DWORD kExposures[] = {50, 200, 1000};

class Stopwatch {
public:
    Stopwatch()
    {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        ticksPerMs_ = static_cast<double>(frequency.QuadPart) / 1000.0;
    }
    double Now() const
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart) / ticksPerMs_;
    }

private:
    double ticksPerMs_;
};

struct Sample {
    double ready;
    double closed;
};

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

// A bare thread that does what the worker does, noting when it starts
// running and when its wait ends.
struct ControlThread {
    const Stopwatch* clock;
    HANDLE event;
    DWORD ms;
    double startedAt;
    double wokeAt;
};

DWORD WINAPI RunControl(LPVOID parameter)
{
    auto* control = static_cast<ControlThread*>(parameter);
    control->startedAt = control->clock->Now();
    WaitForSingleObject(control->event, control->ms);
    control->wokeAt = control->clock->Now();
    return 0;
}

// The system's share: how long a new thread takes to run, and how late a
// wait of 50 ms ends once it runs.
void MeasureThreads(const Stopwatch& clock, int count, std::vector<double>* starts,
                    std::vector<double>* wakes)
{
    ControlThread control{&clock, CreateEventA(nullptr, FALSE, FALSE, nullptr), 50, 0.0, 0.0};
    for (int i = 0; i < count; ++i) {
        double asked = clock.Now();
        HANDLE thread = CreateThread(nullptr, 0, RunControl, &control, 0, nullptr);
        if (thread == nullptr)
            continue;
        SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        starts->push_back(control.startedAt - asked);
        wakes->push_back(control.wokeAt - control.startedAt - control.ms);
    }
    CloseHandle(control.event);
}

bool ExposeOnce(CAACamera* camera, const Stopwatch& clock, DWORD ms, Sample* sample)
{
    double started = clock.Now();
    d_StartExposure(ms, 1);
    double readyAt = -1.0;
    double deadline = started + ms + 5000.0;
    while (clock.Now() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        Pump();
        if (readyAt < 0.0 && !d_IsExposing())
            readyAt = clock.Now();
        // The pump that saw the worker end may have closed the shutter
        // already: then the second latency is only that of this check.
        if (readyAt >= 0.0 && !camera->shutterOpen && !camera->exposing) {
            sample->ready = readyAt - (started + ms);
            sample->closed = clock.Now() - readyAt;
            return true;
        }
    }
    d_InterruptExposure();
    return false;
}

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    size_t rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[rank == 0 ? 0 : rank - 1];
}

void Report(DWORD ms, const std::vector<Sample>& samples)
{
    std::vector<double> ready;
    std::vector<double> closed;
    for (const Sample& s : samples) {
        ready.push_back(s.ready);
        closed.push_back(s.closed);
    }
    std::printf("%6lu ms  %4zu  %8.3f  %8.3f  %8.3f  %8.3f  %8.3f  %8.3f\n", static_cast<unsigned long>(ms),
                samples.size(), Percentile(ready, 0.5), Percentile(ready, 0.99), Percentile(ready, 1.0),
                Percentile(closed, 0.5), Percentile(closed, 0.99), Percentile(closed, 1.0));
}

} // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? std::atoi(argv[1]) : 100;
    if (count < 1)
        count = 1;
    OnProcessAttach(GetModuleHandleA(nullptr));
    d_Initialize(nullptr);
    CAACamera* camera = driverState.camera;
    if (camera != nullptr)
        camera->Open(-1);
    if (camera == nullptr || camera->peerWindow == nullptr || camera->exposureEvent == nullptr) {
        std::printf("no camera object with a peer window\n");
        return 2;
    }
    Stopwatch clock;
    int failures = 0;
    std::vector<double> starts;
    std::vector<double> wakes;
    MeasureThreads(clock, count, &starts, &wakes);
    if (!starts.empty())
        std::printf("bare thread: start %.3f / %.3f ms, 50 ms wait late by %.3f / %.3f ms (median / p99)\n",
                    Percentile(starts, 0.5), Percentile(starts, 0.99), Percentile(wakes, 0.5),
                    Percentile(wakes, 0.99));
    std::printf("latency in ms    n     ready: median   p99      max   closed: median  p99      max\n");
    for (DWORD ms : kExposures) {
        std::vector<Sample> samples;
        for (int i = 0; i < count; ++i) {
            Sample sample;
            if (ExposeOnce(camera, clock, ms, &sample))
                samples.push_back(sample);
            else
                ++failures;
        }
        if (!samples.empty())
            Report(ms, samples);
        std::fflush(stdout);
    }
    d_Finalize();
    OnProcessDetach();
    if (failures > 0)
        std::printf("%d exposures never ended\n", failures);
    return failures > 0 ? 1 : 0;
}
