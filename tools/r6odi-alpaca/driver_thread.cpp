#include "driver_thread.h"

#include <future>
#include <memory>

namespace alpaca {

Reply DriverThread::Call(Job job, std::chrono::milliseconds limit)
{
    // Shared with the job, which may outlive this call after a time-out.
    auto done = std::make_shared<std::promise<Reply>>();
    std::future<Reply> reply = done->get_future();
    Post([job = std::move(job), done]() {
        done->set_value(job());
        return Reply::Done();
    });
    if (reply.wait_for(limit) != std::future_status::ready)
        return Reply::Error(kDriverError, "the driver did not answer within " +
                                              std::to_string(limit.count() / 1000) + " s: it is busy");
    return reply.get();
}

void DriverThread::Post(Job job)
{
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
}

void DriverThread::Run(const std::function<void()>& step)
{
    for (;;) {
        Job job;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_)
                break;
            if (!jobs_.empty()) {
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
        }
        if (job)
            job();
        // The step pumps the driver's messages and waits a moment; with jobs
        // waiting it still runs once per job, so that a stream of requests
        // never starves the exposure it may be waiting for.
        step();
    }
    // A job still queued has a caller waiting for its reply: it runs, the
    // driver being still there.
    std::deque<Job> left;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        left.swap(jobs_);
    }
    for (Job& job : left)
        job();
}

void DriverThread::Stop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
}

} // namespace alpaca
