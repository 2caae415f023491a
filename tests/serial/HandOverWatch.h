// Lets a serial test see the event thread ask for a hand-over (the wake-up
// hook of Thread.h) without serving it, so it can wait for exactly that
// moment instead of sleeping.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "Thread.h"

class HandOverWatch {
public:
    HandOverWatch()
    {
        SetWakeMainThread([this] {
            {
                std::lock_guard<std::mutex> lk(mu_);
                ++requests_;
            }
            cv_.notify_all();
        });
    }
    ~HandOverWatch() { SetWakeMainThread(nullptr); }
    HandOverWatch(const HandOverWatch &) = delete;
    HandOverWatch &operator=(const HandOverWatch &) = delete;

    // Requests so far.
    int Requests()
    {
        std::lock_guard<std::mutex> lk(mu_);
        return requests_;
    }
    // Until a request beyond the first `seen` has come, or `ms` pass.
    bool AwaitBeyond(int seen, int ms = 5000)
    {
        std::unique_lock<std::mutex> lk(mu_);
        return cv_.wait_for(lk, std::chrono::milliseconds(ms), [&] { return requests_ > seen; });
    }

private:
    std::mutex mu_;
    std::condition_variable cv_;
    int requests_ = 0;
};
