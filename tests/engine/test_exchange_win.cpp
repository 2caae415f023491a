// The engine on Windows (under Wine): real COM names with pseudo-terminals
// behind them (tests/wine), a fake window, the test as the clock. The device
// side stays silent; replies are judged in the exchange suite against the
// stand-in Vexo, which runs on POSIX only.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "FakeView.h"
#include "Thread.h"
#include "pAT_Vexo.h"
#include "XComDrv.h" // the engine's port object

namespace {

class WinEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainThread();
        engine = std::make_unique<TAT_VexoEngine>(view);
    }
    void Press(int n)
    {
        engine->Run([&] { engine->SendCommand(n); });
    }
    void Tick()
    {
        if (view.Running(TViewTimer::tRdIn_Vexo))
            engine->Run([&] { engine->tRdIn_VexoTimer(); });
    }
    bool Listed(const std::string &name) const
    {
        return std::find(view.portList.begin(), view.portList.end(), name) != view.portList.end();
    }

    TFakeView view;
    std::unique_ptr<TAT_VexoEngine> engine;
};

} // namespace

TEST_F(WinEngineTest, TheScanFindsThePortsAlsoWhileOneIsOurs)
{
    view.texts[TViewText::cbRSname] = "COM7";
    Press(0);
    Tick();
    ASSERT_TRUE(engine->XComm_AT().Opened());
    view.texts[TViewText::cbRSname] = "typed";
    engine->Run([&] { engine->SpeedButton1Click(); });
    EXPECT_TRUE(Listed("COM7")) << "held by our own port object: busy, still present";
    EXPECT_TRUE(Listed("COM8"));
    EXPECT_FALSE(Listed("COM99"));
    const auto number = [](const std::string &name) { return std::stoi(name.substr(3)); };
    EXPECT_TRUE(std::is_sorted(view.portList.begin(), view.portList.end(),
                               [&](const std::string &a, const std::string &b) { return number(a) < number(b); }))
        << "in ascending order";
    EXPECT_EQ(view.Text(TViewText::cbRSname), "");
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(WinEngineTest, RequestsGoOutAndASilentDeviceGivesTheRedLine)
{
    view.texts[TViewText::cbRSname] = "COM7";
    Press(1);
    ASSERT_EQ(view.log.size(), 2u);
    EXPECT_EQ(view.log[0], (TLogLine{"выдать команду в \"Vexo\" - \"чтение скорости порта \"RS232\" Vexo\"", Blue}));
    EXPECT_EQ(view.log[1], (TLogLine{"запрос \"Vexo\" -> \"AT+xKPV3=?\"", Blue}));
    EXPECT_EQ(engine->OpenedRS(), "COM7");
    EXPECT_EQ(engine->XComm_AT().DeviceName(), "COM7");
    Tick();
    EXPECT_EQ(view.log.back(), (TLogLine{"нет ответа от \"Vexo\"", Red}));

    // Another port: the first is closed, the second opened.
    view.texts[TViewText::cbRSname] = "COM8";
    Press(0);
    Tick();
    EXPECT_EQ(engine->OpenedRS(), "COM8");
    TXComm other;
    other.SetDeviceName("COM7");
    EXPECT_TRUE(other.Open()) << "the first port is free again";
    other.Close();

    // A name with no device: the initialisation line, nothing sent.
    view.texts[TViewText::cbRSname] = "COM99";
    const std::size_t before = view.log.size();
    Press(0);
    ASSERT_EQ(view.log.size(), before + 2);
    EXPECT_EQ(view.log[before], (TLogLine{"ошибка инициализации порта COM99", Red}));
    EXPECT_EQ(view.log.back(), (TLogLine{"устройства COM99 нет: адаптер отключен или получил другое имя; "
                                         "подключите его и обновите список портов сканером",
                                         Red}));
    EXPECT_TRUE(engine->OpenedRS().empty());
    EXPECT_TRUE(view.boxes.empty());
}
