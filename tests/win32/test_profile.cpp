// The Windows program's settings-file buttons end to end under Wine: a file
// opened through the real open dialog (filled in as the operator would),
// write all with check against a device on COM1 that keeps what it is told,
// read back, and saved again through the save dialog.
#include <gtest/gtest.h>

#include "PeerLink.h" // first: winsock2 before windows.h

#include <dlgs.h>

#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "MainWindowTest.h"
#include "pAT_Vexo.h"

namespace {

constexpr COLORREF kGreen = RGB(0, 128, 0);

// The dialog the next one shown is answered with.
std::wstring gDialogTitle, gDialogFile;
std::string gDialogSeen;

void CALLBACK AnswerDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindWindowW(L"#32770", gDialogTitle.c_str());
    if (!dialog)
        return;
    KillTimer(nullptr, timer);
    gDialogSeen = Utf8(gDialogTitle);
    HWND name = GetDlgItem(dialog, cmb13);
    if (!name)
        name = GetDlgItem(dialog, edt1);
    SetWindowTextW(name, gDialogFile.c_str());
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void AnswerNextDialog(const wchar_t *title, const std::filesystem::path &file)
{
    gDialogTitle = title;
    gDialogFile = file.wstring();
    gDialogSeen.clear();
    SetTimer(nullptr, 0, 50, AnswerDialog);
}

class Profile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(peer.Problem(), "");
        ASSERT_EQ(peer.Ask("reset").rfind("ok", 0), 0u);
        ASSERT_TRUE(main.ok);
        SetWindowTextW(main["cbRSname"], L"COM1");
    }
    void TearDown() override
    {
        for (const auto &line : LogLines(main["reWin"]))
            std::cout << "  log: " << line.text << '\n';
    }
    // Plays a unit that keeps what it is told, for `steps` requests.
    void Serve(int steps)
    {
        for (int i = 0; i < steps; ++i) {
            std::string request;
            ASSERT_TRUE(PumpUntil([&] {
                request += peer.Read("COM1", 64, 20);
                return request.ends_with("\r\n");
            }, 5000)) << "step " << i << ": " << request;
            std::string reply = "Vexo v03.17";
            if (request.rfind("AT+xKPV", 0) == 0) {
                const int n = request[7] - '0';
                const std::string value = request.substr(9, request.size() - 11);
                if (value == "?") {
                    reply = std::to_string(stored[n]);
                } else {
                    stored[n] = std::stoi(value);
                    reply = "OK";
                }
            }
            ASSERT_TRUE(peer.Write("COM1", reply + "\r\n"));
            const size_t lines = LogLineCount(main["reWin"]);
            ASSERT_TRUE(PumpUntil([&] { return LogLineCount(main["reWin"]) > lines; }, 4000));
        }
        ASSERT_TRUE(PumpUntil([&] { return !main.form.Engine().ReplyTimerEnabled(); }, 4000));
    }
    void ClickTool(const char *name) { SendMessageW(main.form.Handle(), WM_COMMAND, main.form.CommandId(name), 0); }
    std::string LastLine() { return LogLines(main["reWin"]).back().text; }
    COLORREF LastColour() { return LogLines(main["reWin"]).back().colour; }

    TWorkFolder folder{false};
    TPeerLink peer;
    TShownMain main;
    TBoxes boxes;
    std::map<int, int> stored{{0, 4}, {3, 7}, {4, 4}, {8, 1}, {9, 0}};
};

} // namespace

TEST_F(Profile, OpenWriteAllReadBackAndSaveThroughTheDialogs)
{
    const auto file = std::filesystem::current_path() / "site.txt";
    std::ofstream(file, std::ios::binary) << "format = AT_Vexo 1\r\nparams_4_8_9 = 1\r\nio_speed = 9600\r\n"
                                             "rs232_speed = 38400\r\nprinter_speed = 9600\r\nmodbus_address = 17\r\n"
                                             "klv707 = 1\r\n";
    AnswerNextDialog(L"Открыть параметры Vexo", file);
    Click(main["bOpenProfile"]);
    EXPECT_EQ(gDialogSeen, "Открыть параметры Vexo");
    EXPECT_EQ(WindowText(main["cbSpeed_Cor"]), "9600");
    EXPECT_EQ(WindowText(main["cbSpeed_SeA"]), "38400");
    EXPECT_EQ(WindowText(main["seAdrModBus"]), "17");
    EXPECT_EQ(SendMessageW(main["chKLV707"], BM_GETCHECK, 0, 0), BST_CHECKED);
    const std::string opened = LastLine();
    EXPECT_EQ(opened.rfind("параметры открыты из файла \"", 0), 0u) << opened;
    EXPECT_EQ(peer.Read("COM1", 1, 200), "") << "nothing is sent on opening";

    const std::string name = Utf8(file.wstring());
    ClickTool("TB_WriteAll");
    Serve(10);
    EXPECT_EQ(LastLine(), "запись всех параметров \"Vexo\" с проверкой из файла \"" + name +
                              "\": совпадает - скорость \"I/O\", скорость \"RS232\", скорость принтера, адрес "
                              "\"ModBus\", флаг \"КЛВ-707\"");
    EXPECT_EQ(LastColour(), kGreen);
    EXPECT_EQ(stored[0], 3);
    EXPECT_EQ(stored[8], 17);

    SetWindowTextW(main["cbSpeed_Cor"], L"19200");
    SetWindowTextW(main["seAdrModBus"], L"1");
    ClickTool("TB_ReadAll");
    Serve(6);
    EXPECT_EQ(WindowText(main["cbSpeed_Cor"]), "9600");
    EXPECT_EQ(WindowText(main["seAdrModBus"]), "17");

    const auto copy = std::filesystem::current_path() / "next-unit.txt";
    AnswerNextDialog(L"Сохранить параметры Vexo", copy);
    Click(main["bSaveProfile"]);
    EXPECT_EQ(gDialogSeen, "Сохранить параметры Vexo");
    std::ostringstream saved;
    saved << std::ifstream(copy, std::ios::binary).rdbuf();
    EXPECT_NE(saved.str().find("\r\nmodule = Vexo v03.17\r\n"), std::string::npos) << saved.str();
    EXPECT_NE(saved.str().find("\r\nio_speed = 9600\r\n"), std::string::npos);
    EXPECT_EQ(LastColour(), kGreen);
    EXPECT_TRUE(boxes.shown.empty());
}
