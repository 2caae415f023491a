#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace vexo::sim {

// Time that only moves when told to, so that tests drive the set-up window
// and the delayed replies instead of sleeping through them.
class ManualClock {
public:
    using time_point = std::chrono::steady_clock::time_point;

    time_point Now() const;
    void Advance(std::chrono::milliseconds by);

    // `onAdvance` runs after every Advance, on the advancing thread; it must
    // not call back into the clock.
    int Watch(std::function<void()> onAdvance);
    void Unwatch(int id);

private:
    mutable std::mutex mu_;
    time_point now_{};
    int nextId_ = 0;
    std::vector<std::pair<int, std::function<void()>>> watchers_;
};

} // namespace vexo::sim
