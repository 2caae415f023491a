// Time that only moves when told to.
#include "ManualClock.h"

#include <algorithm>

namespace vexo::sim {

using std::chrono::milliseconds;

ManualClock::time_point ManualClock::Now() const
{
    std::lock_guard lock(mu_);
    return now_;
}

void ManualClock::Advance(milliseconds by)
{
    std::lock_guard lock(mu_);
    now_ += by;
    for (const auto &[id, onAdvance] : watchers_)
        onAdvance();
}

int ManualClock::Watch(std::function<void()> onAdvance)
{
    std::lock_guard lock(mu_);
    watchers_.emplace_back(nextId_, std::move(onAdvance));
    return nextId_++;
}

void ManualClock::Unwatch(int id)
{
    std::lock_guard lock(mu_);
    std::erase_if(watchers_, [id](const auto &w) { return w.first == id; });
}

} // namespace vexo::sim
