// The exposure cycle: the camera starts integrating on command 4, a worker
// thread times the exposure, and the host's thread closes the shutter when
// the worker's message arrives or the host asks for the image first.
#include "exposure/aa_camera.h"

namespace {

// The longest single wait of the worker. Any time-out below INFINITE would
// do; an exposure longer than a day (up to 2^32 - 1 ms, a host's -1) waits
// again for what is left, so it still ends, at its time.
constexpr DWORD kLongestWaitMs = 24 * 60 * 60 * 1000;
// The system timer's period while the worker waits: Windows ends a timed
// wait on a tick of that timer, every 15.6 ms unless a program asks for
// finer ticks, and a 5 ms exposure would last 16.
constexpr UINT kTimerPeriodMs = 1;

// How much of the exposure is still to come, never more than what the
// waits so far have left (which also ends it without a usable counter).
DWORD TimeLeftMs(const CAACamera* camera, LONGLONG frequency, DWORD waited)
{
    DWORD left = camera->exposureMs - waited;
    LARGE_INTEGER now = {};
    if (frequency > 0 && QueryPerformanceCounter(&now)) {
        DWORD measured = ExposureWaitMs(camera->exposureMs, camera->exposureStart, now.QuadPart, frequency);
        left = measured < left ? measured : left;
    }
    return left;
}

// Waits until the exposure's time has run out (true) or the event stops it
// early (false). A wait that fails counts as the time running out, so that
// the exposure still ends.
bool WaitOutExposure(const CAACamera* camera)
{
    LARGE_INTEGER frequency = {};
    if (!QueryPerformanceFrequency(&frequency))
        frequency.QuadPart = 0;
    DWORD waited = 0;
    for (;;) {
        DWORD left = TimeLeftMs(camera, frequency.QuadPart, waited);
        DWORD piece = left < kLongestWaitMs ? left : kLongestWaitMs;
        DWORD result = WaitForSingleObject(camera->exposureEvent, piece);
        if (result == WAIT_OBJECT_0)
            return false;
        if (result != WAIT_TIMEOUT || piece == left)
            return true;
        waited += piece;
    }
}

// The worker only waits and posts: every command goes out on the host's
// thread, so the command channel never needs a lock. It reads the fields
// that the host's thread leaves alone while a worker exists: the event, the
// time, the exposure's number and the peer window.
DWORD WINAPI ExposureWorker(LPVOID parameter)
{
    auto* camera = static_cast<CAACamera*>(parameter);
    // The period is the worker's own and ends with it, on every way out
    // (time up, stopped by an abort, a Release or a new exposure).
    bool finerTimer = timeBeginPeriod(kTimerPeriodMs) == TIMERR_NOERROR;
    bool timeUp = WaitOutExposure(camera);
    if (finerTimer)
        timeEndPeriod(kTimerPeriodMs);
    if (timeUp) {
        HWND window = camera->peerWindow;
        // Posted to no window, the message would only reach this thread's
        // own queue, which ends with it.
        if (window != nullptr)
            PostMessageA(window, kEndOfExposureMessage, camera->exposureNumber, 0);
    }
    return 0;
}

} // namespace

DWORD ExposureWaitMs(DWORD exposureMs, LONGLONG start, LONGLONG now, LONGLONG frequency)
{
    // Without a usable counter (or one that went backwards) the worker
    // waits the whole time: late, never early.
    if (frequency <= 0 || now < start)
        return exposureMs;
    // Truncated to whole milliseconds, so the end is never before its time.
    LONGLONG ticks = now - start;
    LONGLONG elapsedMs = ticks / frequency * 1000 + ticks % frequency * 1000 / frequency;
    if (elapsedMs >= static_cast<LONGLONG>(exposureMs))
        return 0;
    return exposureMs - static_cast<DWORD>(elapsedMs);
}

bool CAACamera::StartExposure(DWORD milliseconds, bool openShutter)
{
    // An exposure the host did not end is ended now, so that its worker and
    // thread handle are collected rather than lost under the new ones.
    if (exposureThread != nullptr || exposing)
        EndExposure();
    exposureMs = milliseconds;
    // A new number makes a message 2024 still queued from the previous
    // exposure stale.
    ++exposureNumber;
    bool accepted = r6odi::CameraStartExposure(this);
    if (openShutter && accepted)
        accepted = OpenShutter();
    // A camera that refused to start integrating, or to open the shutter of
    // a light frame, would give the host a frame other than the one asked
    // for: nothing is left exposing, and the refusal's reason stays in
    // lastError. Without a connected camera nothing was sent and the
    // exposure is timed all the same; its readout fails, which the host
    // sees.
    if (!accepted && IsConnected())
        return false;
    shutterOpen = openShutter;
    // A camera that was never opened has no event yet; the worker must not
    // wait on a null handle, and without an event it could not be stopped
    // early. Should the event still be missing, no worker is started and
    // the exposure ends as one whose thread could not be created.
    if (exposureEvent == nullptr)
        exposureEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    // The time runs from here, after both commands, rather than from the
    // worker's start: a new thread can take milliseconds to run, and the
    // host would see the end of every exposure that much late.
    LARGE_INTEGER start = {};
    QueryPerformanceCounter(&start);
    exposureStart = start.QuadPart;
    if (exposureEvent != nullptr)
        exposureThread = CreateThread(nullptr, 0, ExposureWorker, this, 0, nullptr);
    if (exposureThread != nullptr)
        SetThreadPriority(exposureThread, THREAD_PRIORITY_HIGHEST);
    exposing = true;
    return true;
}

bool CAACamera::IsExposing()
{
    if (exposureThread == nullptr)
        return false;
    return WaitForSingleObject(exposureThread, 0) == WAIT_TIMEOUT;
}

void CAACamera::StopExposureWorker()
{
    if (exposureThread == nullptr)
        return;
    // A waiting worker wakes on the event and ends without posting; one that
    // has already posted and ended is only collected. The wait has no limit
    // because the worker waits on nothing but this event.
    if (exposureEvent != nullptr)
        SetEvent(exposureEvent);
    WaitForSingleObject(exposureThread, INFINITE);
    // A worker that had already timed out left the event signalled.
    if (exposureEvent != nullptr)
        ResetEvent(exposureEvent);
    CloseHandle(exposureThread);
    exposureThread = nullptr;
}

void CAACamera::EndExposure()
{
    if (shutterOpen) {
        CloseShutter();
        shutterOpen = false;
    }
    StopExposureWorker();
    exposing = false;
}

void CAACamera::HandleEndOfExposure(WPARAM number)
{
    // The message carries no more than a number: one posted by an exposure
    // that has ended since (the host read its image and started the next
    // one before dispatching messages) must not end the current exposure.
    if (exposing && number == exposureNumber)
        EndExposure();
}
