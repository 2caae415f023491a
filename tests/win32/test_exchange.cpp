// The whole exchange through the real main window against a device on COM1
// (a pseudo-terminal under Wine): the eleven commands' bytes on the wire,
// their log lines and colours, silence, and a device that vanishes.
#include <gtest/gtest.h>

#include "PeerLink.h" // first: winsock2 before windows.h

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>


#include "MainWindowTest.h"
#include "pAT_Vexo.h"
#include "XComDrv.h" // the engine's port object

namespace {

constexpr COLORREF kBlue = RGB(0, 0, 255), kMaroon = RGB(128, 0, 0), kRed = RGB(255, 0, 0);

class Exchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(peer.Problem(), "");
        ASSERT_EQ(peer.Ask("reset").rfind("ok", 0), 0u);
        ASSERT_TRUE(main.ok);
        SetWindowTextW(main["cbRSname"], L"COM1");
    }
    std::vector<TLogLine> Log() { return LogLines(main["reWin"]); }
    bool WaitLines(size_t n) { return PumpUntil([&] { return LogLineCount(main["reWin"]) >= n; }, 4000); }

    TWorkFolder folder{false};
    TPeerLink peer;
    TShownMain main;
    TBoxes boxes;
};

struct TCase {
    const char *button;
    std::function<void(TShownMain &)> setUp;
    std::string wire, reply;
    std::string announce, verdict;
};

} // namespace

TEST_F(Exchange, ElevenCommandsOnTheWireAndTheirLogLines)
{
    const auto text = [](const char *name, const wchar_t *value) {
        return [=](TShownMain &m) { SetWindowTextW(m[name], value); };
    };
    const auto none = [](TShownMain &) {};
    const TCase cases[] = {
        {"bRd_Inf", none, "ATI0\r\n", "Vexo 03.17\r\n", "контроль \"Vexo\"", "Vexo 03.17"},
        {"bRdSpeed_SeA", none, "AT+xKPV3=?\r\n", "7\r\n", "чтение скорости порта \"RS232\" Vexo",
         "скорость RS = \"115200\""},
        {"bRdSpeed_SeA_Prn", none, "AT+xKPV4=?\r\n", "4\r\n", "чтение скорости порта \"RS232\" Vexo для принтера",
         "скорость RS = \"19200\""},
        {"bRdAdr_ModBus", none, "AT+xKPV8=?\r\n", " 1 7 \r\n", "чтение адреса \"ModBus\"", " 1 7 "},
        {"bWrSpeed_SeA", text("cbSpeed_SeA", L"38400"), "AT+xKPV3=5\r\n", "OK\r\n",
         "запись скорости порта \"RS232\" Vexo 38400", "запись норма"},
        {"bWrSpeed_SeA_Prn", none, "AT+xKPV4=4\r\n", "ok\r\n",
         "запись скорости порта \"RS232\" Vexo для принтера 19200", "запись брак"},
        {"bWrAdrModBus", text("seAdrModBus", L"17"), "AT+xKPV8=17\r\n", "OK\r\n", "запись адреса для \"ModBus\" 17",
         "запись норма"},
        {"rdKLV707", none, "AT+xKPV9=?\r\n", "1\r\n", "чтение флага работы с \"КЛВ-707\"",
         "поддержка КЛВ-707 включена"},
        {"wrKLV707", [](TShownMain &m) { SendMessageW(m["chKLV707"], BM_SETCHECK, BST_CHECKED, 0); },
         "AT+xKPV9=1\r\n", "OK\r\n", "запись флага работы с \"КЛВ-707\" включить поддержку КЛВ-707",
         "запись норма"},
        {"rdSpeed_Cor", none, "AT+xKPV0=?\r\n", "263\r\n", "чтение скорости порта \"I/O\" Vexo",
         "скорость RS = \"115200\""},
        {"wrSpeed_Cor", none, "AT+xKPV0=4\r\n", "OK\r\n", "запись скорости порта \"I/O\" Vexo 19200",
         "запись норма"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.button);
        const size_t before = Log().size();
        c.setUp(main);
        Click(main[c.button]);
        EXPECT_EQ(peer.Read("COM1", c.wire.size(), 3000), c.wire);
        ASSERT_TRUE(peer.Write("COM1", c.reply));
        ASSERT_TRUE(WaitLines(before + 3));
        const auto lines = Log();
        ASSERT_EQ(lines.size(), before + 3);
        EXPECT_EQ(lines[before].text, "выдать команду в \"Vexo\" - \"" + c.announce + "\"");
        EXPECT_EQ(lines[before + 1].text, "запрос \"Vexo\" -> \"" + c.wire.substr(0, c.wire.size() - 2) + "\"");
        EXPECT_EQ(lines[before + 2].text, "ответ  \"Vexo\" <- " + c.verdict);
        EXPECT_EQ(lines[before].colour, kBlue);
        EXPECT_EQ(lines[before + 1].colour, kBlue);
        EXPECT_EQ(lines[before + 2].colour, kMaroon);
        // the activity bars show the engine's steps
        for (auto [bar, name] : {std::pair{TViewBar::prB_Wr, "prB_Wr"}, std::pair{TViewBar::prB_rd, "prB_rd"}})
            EXPECT_EQ(SendMessageW(main[name], PBM_GETPOS, 0, 0), main.form.Engine().BarPosition(bar));
        if (before == 0) {
            EXPECT_EQ(SendMessageW(main["prB_Wr"], PBM_GETPOS, 0, 0), 10);
        }
    }
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(main.form.Engine().OpenedRS(), "COM1"); // opened once, kept open
}

TEST_F(Exchange, ScannerListsThePresentPortsAndEmptiesTheBox)
{
    HWND box = main["cbRSname"];
    SetWindowTextW(box, L"COM5");
    Click(main["SpeedButton1"]);
    EXPECT_EQ(WindowText(box), "");
    std::vector<int> numbers;
    const auto n = SendMessageW(box, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        wchar_t item[16] = {};
        SendMessageW(box, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
        const std::string name = Utf8(item);
        ASSERT_EQ(name.rfind("COM", 0), 0u) << name;
        numbers.push_back(std::stoi(name.substr(3)));
    }
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(numbers.front(), 1); // the stand-in's COM1
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    // a second scan starts from an empty list
    Click(main["SpeedButton1"]);
    EXPECT_EQ(SendMessageW(box, CB_GETCOUNT, 0, 0), n);
}

TEST_F(Exchange, SilenceIsLoggedInRedAndAVanishedDeviceEndsInTheErrorBox)
{
    Click(main["bRd_Inf"]);
    EXPECT_EQ(peer.Read("COM1", 6, 3000), "ATI0\r\n");
    ASSERT_TRUE(WaitLines(3));
    EXPECT_EQ(Log()[2].text, "нет ответа от \"Vexo\"");
    EXPECT_EQ(Log()[2].colour, kRed);

    ASSERT_EQ(peer.Ask("hangup COM1").rfind("ok", 0), 0u);
    size_t lines = 3;
    if (IsWine()) {
        // A pty's node stays while the program holds it open, so under Wine
        // the probe still finds it: the write fails instead, the "Error" box
        // says so, and the port is dropped. (Opening it again would not fail
        // as on Windows: Wine opens /dev/ttyS0 for a COM link that leads
        // nowhere, so that step is Windows's alone.)
        Click(main["bRdSpeed_SeA"]);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].first, "Error");
        EXPECT_EQ(boxes.shown[0].second, "ОШИБКА COM порта");
        EXPECT_EQ(Log().size(), ++lines); // the announcement, no request line
        std::printf("Wine: a vanished pty is found by its failed write, not by the probe\n");
    } else {
        // the probe finds it gone: announced, then the failure in red
        Click(main["bRdSpeed_SeA"]);
        const auto log = Log();
        lines += 2;
        ASSERT_EQ(log.size(), lines);
        EXPECT_EQ(log.back().text, "ошибка инициализации порта COM1");
        EXPECT_EQ(log.back().colour, kRed);
        EXPECT_TRUE(boxes.shown.empty());
    }
    // closed and forgotten, no wait running
    EXPECT_FALSE(main.form.Engine().XComm_AT().Opened());
    EXPECT_EQ(main.form.Engine().OpenedRS(), "");
    EXPECT_FALSE(main.form.Engine().ReplyTimerEnabled());

    // the device is back: the next press opens the port afresh
    ASSERT_EQ(peer.Ask("reset").rfind("ok", 0), 0u);
    Click(main["bRd_Inf"]);
    EXPECT_EQ(peer.Read("COM1", 6, 3000), "ATI0\r\n");
    ASSERT_TRUE(peer.Write("COM1", "Vexo 03.17\r\n"));
    lines += 3;
    ASSERT_TRUE(WaitLines(lines));
    EXPECT_EQ(Log().back().text, "ответ  \"Vexo\" <- Vexo 03.17");
}
