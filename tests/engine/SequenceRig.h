// The engine against the stand-in Vexo on a manual clock (a unit switched
// off stays off until the test says), one exchange at a time.
#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "EngineRig.h"
#include "Sequences.h"
#include "VexoSim.h"

using namespace std::chrono_literals;
using vexo::sim::ManualClock;
using vexo::sim::Options;
using vexo::sim::VexoSim;

inline TLogLine Announce(const std::string &title) { return {"выдать команду в \"Vexo\" - \"" + title + '"', Blue}; }
inline TLogLine Request(const std::string &line) { return {"запрос \"Vexo\" -> \"" + line + '"', Blue}; }
inline TLogLine Reply(const std::string &verdict) { return {"ответ  \"Vexo\" <- " + verdict, Maroon}; }

class SequenceTest : public EngineRig {
protected:
    void Use(Options o)
    {
        o.clock = simClock;
        sim = std::make_unique<VexoSim>(std::move(o));
        UsePort(sim->DevicePath());
    }

    // One exchange with the stand-in: its request arrives, its time and
    // ours move on by one reply wait, its answer (if any) is in, the reply
    // timer fires.
    void Exchange()
    {
        ASSERT_TRUE(PumpUntil([&] { return sim->Requests().size() > seen; })) << "no request reached the unit";
        seen = sim->Requests().size();
        const std::uint64_t before = sim->BytesSent();
        simClock->Advance(500ms);
        ASSERT_TRUE(sim->Settle(2000ms));
        const std::uint64_t answer = sim->BytesSent() - before;
        ASSERT_TRUE(PumpUntil([&] { return engine->RxText().size() >= answer; }));
        now += 500;
        Tick();
    }
    void Exchanges(int n)
    {
        for (int i = 0; i < n; ++i)
            Exchange();
    }
    std::vector<TLogLine> LogFrom(std::size_t from) const { return {view.log.begin() + std::ptrdiff_t(from), view.log.end()}; }

    std::shared_ptr<ManualClock> simClock = std::make_shared<ManualClock>();
    std::unique_ptr<VexoSim> sim;
    std::size_t seen = 0;
};

inline Options AlwaysOn()
{
    Options o;
    o.setupWindow = false;
    return o;
}

