// The one thread that owns the driver. The driver is single-threaded and its
// peer windows need their messages pumped, so one thread initialises it,
// makes every call into it and pumps messages between calls; the HTTP
// threads hand it jobs and, where the answer depends on the driver, wait
// for the job's reply with a time-out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "request.h"

namespace alpaca {

class DriverThread {
public:
    using Job = std::function<Reply()>;

    // From an HTTP thread: runs `job` on the driver thread and waits at most
    // `limit` for its reply. A job that has not finished by then still runs
    // to its end; the caller gets an error saying the driver is busy.
    Reply Call(Job job, std::chrono::milliseconds limit);
    // From an HTTP thread: runs `job` on the driver thread, no waiting.
    void Post(Job job);

    // On the driver thread: runs the jobs in the order they came, and
    // `step` (the driver's own work and its messages) between them, until
    // Stop; the jobs queued by then still run before it returns.
    void Run(const std::function<void()>& step);
    void Stop();

private:
    std::mutex mutex_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
};

} // namespace alpaca
