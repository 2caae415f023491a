// The engine on a fake window in a folder of its own, with the test as both
// of its clocks: it fires the window's timers, and it sets the time of day
// the engine reads (for the log's times and the set-up window).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "FakeView.h"
#include "SerialPump.h"
#include "Thread.h"
#include "pAT_Vexo.h"
#include "pty.h"

class EngineRig : public ::testing::Test {
protected:
    // 08.12.2026 21:40:00.000 UTC
    static constexpr std::int64_t Start = 1796766000000;

    void SetUp() override
    {
        SetMainThread(); // the test thread runs the serial hand-overs
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        char dir[] = "/tmp/vexo-rig-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        dir_ = dir;
        oldCwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        engine = std::make_unique<TAT_VexoEngine>(view);
        engine->SetClock([this] { return now; });
    }
    void TearDown() override
    {
        engine.reset();
        std::filesystem::current_path(oldCwd_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    template <typename F>
    void Do(F &&handler)
    {
        engine->Run(handler);
    }
    void Press(int n)
    {
        Do([&] { engine->SendCommand(n); });
    }
    // The reply timer fires if it runs.
    void Tick()
    {
        if (view.Running(TViewTimer::tRdIn_Vexo))
            Do([&] { engine->tRdIn_VexoTimer(); });
    }
    void UsePort(const std::string &path) { view.texts[TViewText::cbRSname] = path; }

    // Plays the device on a bare pty: takes the request line the engine sent,
    // answers `reply` (CR LF added) or nothing, and lets the reply timer fire.
    std::string Answer(TestPty &dev, const std::optional<std::string> &reply)
    {
        std::string request;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!request.ends_with("\r\n") && std::chrono::steady_clock::now() < end)
            request += dev.ReadFor(5);
        if (reply) {
            EXPECT_TRUE(dev.Write(*reply + "\r\n"));
            EXPECT_TRUE(PumpUntil([&] { return engine->RxText().size() >= reply->size() + 2; }));
        }
        now += 500;
        Tick();
        return request;
    }

    std::filesystem::path dir_, oldCwd_;
    std::int64_t now = Start;
    TFakeView view;
    std::unique_ptr<TAT_VexoEngine> engine;
};
