// Private to the serial component: what TThread (Thread.cpp) and the main
// loop's registry (MainLoop.cpp) share, the queue of calls handed to the
// main thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>

namespace mainloop {

struct SyncRequest {
    const std::function<void()> *call;
    std::exception_ptr error;
    bool done = false;
};

// One lock and one condition for all threads: hand-overs are rare and short,
// and WaitFor needs to wake on "a call is pending" and "the thread ended" alike.
extern std::mutex &gLock;
extern std::condition_variable &gChanged;
extern std::deque<SyncRequest *> &gPending; // under gLock

// Queues `req` for the main thread and wakes it (its loop's descriptor and
// the wake-up hook); the caller waits on gChanged for `req.done`.
void Post(SyncRequest &req);
// Runs the calls that are pending now; true if any ran. Main thread.
bool RunPendingCalls();

} // namespace mainloop
