// The main window: every control by name at its place with its caption,
// hint, items and default; the toolbar; resizing; the log's colours; the
// spin edit; the start timer, the settings file, and the error boxes.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <richedit.h>

#include <fstream>
#include <sstream>

#include "Application.h"
#include "ErrorText.h"
#include "HelpAbout.h"
#include "MainWindowTest.h"
#include "pAT_Vexo.h"

namespace {

struct TExpected {
    const char *name, *parent;
    int left, top, width, height; // -1: not fixed on this platform
    const char *text, *hint;      // nullptr: not checked / none
};

// From the layout as designed; CR LF breaks the hints.
const TExpected kLayout[] = {
    {"Panel2", "Panel1", 2, 2, 716, 47, nullptr, nullptr},
    {"Panel4", "Panel1", 2, 49, 716, 304, nullptr, nullptr},
    {"Panel3", "Panel1", 2, 353, 716, 307, nullptr, nullptr},
    {"SpeedButton1", "Panel2", 16, 8, 30, 30, "", "сканер RS портов"},
    {"cbRSname", "Panel2", 56, 16, 113, -1, "", ""},
    {"Label1", "Panel2", 240, 16, -1, -1, "зап.", ""},
    {"prB_Wr", "Panel2", 280, 16, 81, 21, "", ""},
    {"Label2", "Panel2", 424, 16, -1, -1, "чт.", ""},
    {"prB_rd", "Panel2", 448, 16, 81, 21, "", ""},
    {"bRd_Inf", "Panel4", 8, 16, 537, 30, "контроль Vexo", "контроль Vexo"},
    {"Label7", "Panel4", 552, 40, -1, -1, "скорость порта \"I/O\"", ""},
    {"rdSpeed_Cor", "Panel4", 8, 56, 265, 30, "чтение скорости порта \"I/O\" Vexo", "чтение скорости порта корректора"},
    {"wrSpeed_Cor", "Panel4", 280, 56, 265, 30, "запись скорости порта \"I/O\" Vexo", "запись скорости порта корректора"},
    {"cbSpeed_Cor", "Panel4", 552, 56, 121, -1, "19200", ""},
    {"Label3", "Panel4", 552, 88, -1, -1, "скорость порта \"RS232\"", "скорость шлюза"},
    {"bRdSpeed_SeA", "Panel4", 8, 104, 265, 30, "чтение скорости порта \"RS232\" Vexo",
     "чтение скорости шлюза\r\n(при подключении модема или компьютера)"},
    {"bWrSpeed_SeA", "Panel4", 280, 104, 265, 30, "запись скорости порта \"RS232\" Vexo",
     "запись скорости \"шлюза\"\r\n(при подключении модема или компьютера)"},
    {"cbSpeed_SeA", "Panel4", 552, 104, 121, -1, "115200",
     "скорость порта \"шлюза\"\r\n(при подключении модема или компьютера)"},
    {"Label4", "Panel4", 552, 128, -1, -1, "скорость порта \"RS232\"\r\nдля принтера", ""},
    {"bRdSpeed_SeA_Prn", "Panel4", 8, 152, 265, 30, "чтение скорости \"RS232\" для принтера ",
     "чтение скорости порта \"RS232\" для принтера\r\n(только для вычислителей \"Тетрамакс\")"},
    {"bWrSpeed_SeA_Prn", "Panel4", 280, 152, 265, 30, "запись скорости \"RS232\" для принтера ",
     "запись скорости порта \"RS232\" для принтера\r\n(только для вычислителей \"Тетрамакс\")"},
    {"cbSpeed_SeA_Prn", "Panel4", 552, 160, 121, -1, "19200",
     "скорость порта  \"RS232\" для принтера  \r\n(только для вычислителей \"Тетрамакс\")"},
    {"Label5", "Panel4", 552, 192, -1, -1, "адрес \"ModBus\"", ""},
    {"bRdAdr_ModBus", "Panel4", 8, 200, 265, 30, "чтение адреса \"ModBus\"",
     "чтение адреса \"ModBus\"\r\n(только для вычислителей \"Тетрамакс\")"},
    {"bWrAdrModBus", "Panel4", 280, 200, 265, 30, "запись адреса для \"ModBus\"",
     "запись адреса для \"ModBus\"\r\n(только для вычислителей \"Тетрамакс\""},
    {"seAdrModBus", "Panel4", 552, 208, -1, 21, "1", "адрес \"ModBus\"\r\n(только для вычислителей \"Тетрамакс\""},
    {"rdKLV707", "Panel4", 8, 248, 265, 33, "чтение флага работы с \"КЛВ-707\"",
     "чтение флага разрешения работы с концентратором \"КЛВ-707\"\r\n(только для вычислителей \"Тетрамакс\", Vexo с версии  03.17)"},
    {"wrKLV707", "Panel4", 280, 248, 265, 33, "запись флага работы с \"КЛВ-707\"",
     "запись флага разрешения работы с концентратором \"КЛВ-707\"\r\n(только для вычислителей \"Тетрамакс\", Vexo с версии  03.17)"},
    {"chKLV707", "Panel4", 552, 256, 153, -1, "\"КЛВ-707\" вкл/выкл",
     "флаг разрешения/запрета работы \"Vexo\" \r\nс концентратором \"КЛВ-707\" "},
    {"Label6", "Panel3", 2, 2, 712, 16, "Окно выполнения колманд", ""},
    {"reWin", "Panel3", 2, 18, 712, 287, "", ""},
};

std::vector<std::string> ComboItems(HWND box)
{
    std::vector<std::string> items;
    const auto n = SendMessageW(box, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        wchar_t item[64] = {};
        SendMessageW(box, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
        items.push_back(Utf8(item));
    }
    return items;
}

std::string ToolTipOf(TShownMain &m, int command)
{
    HWND tips = reinterpret_cast<HWND>(SendMessageW(m["ToolBar1"], TB_GETTOOLTIPS, 0, 0));
    NMTTDISPINFOW info{};
    info.hdr.hwndFrom = tips;
    info.hdr.idFrom = static_cast<UINT_PTR>(command);
    info.hdr.code = TTN_GETDISPINFOW;
    SendMessageW(m.form.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    return info.lpszText ? Utf8(info.lpszText) : std::string();
}

COLORREF StaticTextColour(HWND root, HWND label)
{
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageW(root, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label));
    const COLORREF c = GetTextColor(dc);
    DeleteDC(dc);
    return c;
}

} // namespace

TEST(MainWindow, FrameCaptionAndEveryControlAtItsPlaceWithCaptionHintAndDefault)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    HWND w = m.form.Handle();
    ExpectSizableWindow(w, "\"AT\" команды \"Vexo\"", 720, 703);
    RECT outer;
    GetWindowRect(w, &outer);
    if (GetSystemMetrics(SM_CXSIZEFRAME) + GetSystemMetrics(SM_CXPADDEDBORDER) == 8 &&
        GetSystemMetrics(SM_CYCAPTION) == 22)
        EXPECT_EQ(std::pair(outer.right - outer.left, outer.bottom - outer.top), std::pair(736L, 741L));
    else
        std::printf("frame metrics differ from Windows 7's (Wine): outer %ld x %ld for the 720 x 703 client\n",
                    outer.right - outer.left, outer.bottom - outer.top);

    for (const auto &e : kLayout) {
        SCOPED_TRACE(e.name);
        HWND h = m[e.name];
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(GetParent(h), m[e.parent]);
        const RECT r = PlaceInParent(h);
        EXPECT_EQ(r.left, e.left);
        EXPECT_EQ(r.top, e.top);
        if (e.width >= 0) {
            EXPECT_EQ(r.right - r.left, e.width);
        }
        if (e.height >= 0) {
            EXPECT_EQ(r.bottom - r.top, e.height);
        }
        if (e.text) {
            EXPECT_EQ(WindowText(h), e.text);
        }
        if (e.hint) {
            EXPECT_EQ(m.form.Controls().Hint(h), e.hint);
        }
    }
    // the spin edit: edit and arrows together 73 wide
    const RECT edit = PlaceInParent(m["seAdrModBus"]), arrows = PlaceInParent(m["seAdrModBus.updown"]);
    EXPECT_EQ(std::max(edit.right, arrows.right) - edit.left, 73);
    int lo = 0, hi = 0;
    SendMessageW(m["seAdrModBus.updown"], UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lo), reinterpret_cast<LPARAM>(&hi));
    EXPECT_EQ(lo, 1);
    EXPECT_EQ(hi, 250);
    EXPECT_EQ(ComboItems(m["cbRSname"]), std::vector<std::string>{});
    const std::vector<std::string> speeds = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
    EXPECT_EQ(ComboItems(m["cbSpeed_Cor"]), speeds);
    EXPECT_EQ(ComboItems(m["cbSpeed_SeA"]), speeds);
    EXPECT_EQ(ComboItems(m["cbSpeed_SeA_Prn"]), (std::vector<std::string>{"9600", "19200"}));
    EXPECT_EQ(SendMessageW(m["chKLV707"], BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(m["prB_Wr"], PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(StaticTextColour(w, m["Label6"]), RGB(128, 0, 0));
    EXPECT_FALSE(GetWindowLongW(m["reWin"], GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(lstrcmpiW(Wide(ClassOf(m["reWin"])).c_str(), MSFTEDIT_CLASS), 0);
    // the toolbar: separators 25, 8, 8, 8 wide; buttons 72 x 31 with their hints
    EXPECT_EQ(PlaceInParent(m["ToolBar1"]).bottom, 41);
    struct {
        int left, width;
        int command;
        const char *hint;
    } const tools[] = {{0, 25, 0, nullptr},
                       {25, 72, TfAT_Vexo::idAbout, "О программе"},
                       {97, 8, 0, nullptr},
                       {105, 72, TfAT_Vexo::idHelp, "Справка"},
                       {177, 8, 0, nullptr},
                       {185, 72, TfAT_Vexo::idClear, "очистить поле контроля выполнения команд"},
                       {257, 8, 0, nullptr},
                       {265, 72, TfAT_Vexo::idExit, "ВЫХОД"}};
    ASSERT_EQ(SendMessageW(m["ToolBar1"], TB_BUTTONCOUNT, 0, 0), 8);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        RECT r{};
        SendMessageW(m["ToolBar1"], TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        EXPECT_EQ(r.left, tools[i].left);
        EXPECT_EQ(r.right - r.left, tools[i].width);
        if (tools[i].command) {
            if (IsWine() && r.bottom - r.top != 31) {
                std::printf("Wine's toolbar keeps its buttons %ld high (picture and padding), not 31\n",
                            r.bottom - r.top);
            } else {
                EXPECT_EQ(r.bottom - r.top, 31);
            }
            EXPECT_EQ(ToolTipOf(m, tools[i].command), tools[i].hint);
        }
    }
}

TEST(MainWindow, HandCursorOverButtonsAndThePortBoxOnly)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    const HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
    for (const char *name : {"bRd_Inf", "wrKLV707", "SpeedButton1", "cbRSname", "Label1", "reWin", "cbSpeed_Cor"}) {
        SCOPED_TRACE(name);
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        SendMessageW(m.form.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(m[name]), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        const bool wantHand = std::string(name).rfind("Label", 0) != 0 && std::string(name) != "reWin" &&
                              std::string(name) != "cbSpeed_Cor";
        EXPECT_EQ(GetCursor() == hand, wantHand);
    }
}

TEST(MainWindow, OnlyTheLogGrowsWithTheWindow)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    const RECT grid = PlaceInParent(m["bRd_Inf"]), log = PlaceInParent(m["reWin"]);
    RECT outer;
    GetWindowRect(m.form.Handle(), &outer);
    SetWindowPos(m.form.Handle(), nullptr, 0, 0, outer.right - outer.left + 100, outer.bottom - outer.top + 150,
                 SWP_NOMOVE | SWP_NOZORDER);
    const RECT grid2 = PlaceInParent(m["bRd_Inf"]), log2 = PlaceInParent(m["reWin"]);
    EXPECT_TRUE(EqualRect(&grid, &grid2));
    EXPECT_EQ(PlaceInParent(m["Panel4"]).bottom - PlaceInParent(m["Panel4"]).top, 304);
    EXPECT_EQ(log2.right - log2.left, log.right - log.left + 100);
    EXPECT_EQ(log2.bottom - log2.top, log.bottom - log.top + 150);
}

TEST(MainWindow, LogLinesKeepTheirColoursScrollBarOnlyWhenNeededAndClearEmpties)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    HWND log = m["reWin"];
    auto visibleScroll = [&] {
        SCROLLBARINFO sb{};
        sb.cbSize = sizeof sb;
        GetScrollBarInfo(log, OBJID_VSCROLL, &sb);
        return !(sb.rgstate[0] & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_UNAVAILABLE));
    };
    EXPECT_FALSE(visibleScroll());
    m.form.Engine().AddToLog(1, "выдать команду");
    m.form.Engine().AddToLog(2, "ответ  \"Vexo\" <- скорость RS = \"115200\"");
    m.form.Engine().AddToLog(3, "нет ответа от \"Vexo\"");
    const auto lines = LogLines(log);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "выдать команду");
    EXPECT_EQ(lines[0].colour, RGB(0, 0, 255));
    EXPECT_EQ(lines[1].text, "ответ  \"Vexo\" <- скорость RS = \"115200\"");
    EXPECT_EQ(lines[1].colour, RGB(128, 0, 0));
    EXPECT_EQ(lines[2].colour, RGB(255, 0, 0));
    CHARFORMAT2W f{};
    f.cbSize = sizeof f;
    SendMessageW(log, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&f));
    EXPECT_STREQ(f.szFaceName, L"Courier New");
    EXPECT_EQ(SendMessageW(log, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_BTNFACE)),
              static_cast<LRESULT>(GetSysColor(COLOR_BTNFACE))); // the colour it had
    for (int i = 0; i < 40; ++i)
        m.form.Engine().AddToLog(1, "строка " + std::to_string(i));
    EXPECT_TRUE(PumpUntil(visibleScroll)) << "the scroll bar shows once the text is taller than the view";
    SendMessageW(m.form.Handle(), WM_COMMAND, TfAT_Vexo::idClear, 0);
    EXPECT_TRUE(LogLines(log).empty());
}

TEST(MainWindow, SpinEditTakesDigitsStepsWithinRangeAndClampsOnLeaving)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    HWND edit = m["seAdrModBus"];
    SetFocus(edit);
    SetWindowTextW(edit, L"");
    for (wchar_t c : std::wstring(L"3a0x0"))
        SendMessageW(edit, WM_CHAR, c, 1);
    EXPECT_EQ(WindowText(edit), "300");
    SetFocus(m["bWrAdrModBus"]);
    EXPECT_EQ(WindowText(edit), "250");
    NMUPDOWN ud{};
    ud.hdr.hwndFrom = m["seAdrModBus.updown"];
    ud.hdr.code = UDN_DELTAPOS;
    ud.iDelta = 1;
    SendMessageW(m.form.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&ud));
    EXPECT_EQ(WindowText(edit), "250");
    ud.iDelta = -1;
    SendMessageW(m.form.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&ud));
    EXPECT_EQ(WindowText(edit), "249");
    SetWindowTextW(edit, L"+5");
    SetFocus(edit);
    SetFocus(m["bWrAdrModBus"]);
    EXPECT_EQ(WindowText(edit), "+5"); // stays as typed
}

TEST(MainWindow, SettingsFileReadAtStartAndWrittenOnClose)
{
    TWorkFolder folder;
    {
        std::ofstream(folder.Settings(), std::ios::binary) << "COM1\r\nCOM  4\r\n";
    }
    {
        TShownMain m;
        ASSERT_TRUE(m.ok);
        EXPECT_EQ(WindowText(m["cbRSname"]), "COM 4");
        SetWindowTextW(m["cbRSname"], L"COM7");
        // the exit button closes the window, which saves the name
        SendMessageW(m.form.Handle(), WM_COMMAND, TfAT_Vexo::idExit, 0);
        EXPECT_TRUE(PumpUntil([&] { return m.form.Handle() == nullptr; }));
    }
    std::ifstream in(folder.Settings(), std::ios::binary);
    std::stringstream saved;
    saved << in.rdbuf();
    EXPECT_EQ(saved.str(), "COM7\r\n");
}

TEST(MainWindow, HelpAndAboutOpenFromTheToolbar)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    bool helpSeen = false, aboutSeen = false;
    TWhenReady help([] { return fHelpATVexo && fHelpATVexo->StartTimerFired(); }, [&] {
        helpSeen = GetWindow(fHelpATVexo->Handle(), GW_OWNER) == m.form.Handle();
        EXPECT_FALSE(IsWindowEnabled(m.form.Handle()));
        PressKey(fHelpATVexo->Handle(), VK_ESCAPE);
    });
    SendMessageW(m.form.Handle(), WM_COMMAND, TfAT_Vexo::idHelp, 0);
    EXPECT_TRUE(helpSeen);
    TWhenReady about([] { return AboutForm && AboutForm->StartTimerFired(); }, [&] {
        aboutSeen = GetWindow(AboutForm->Handle(), GW_OWNER) == m.form.Handle();
        PressKey(AboutForm->Control("OKButton"), VK_RETURN);
    });
    SendMessageW(m.form.Handle(), WM_COMMAND, TfAT_Vexo::idAbout, 0);
    EXPECT_TRUE(aboutSeen);
    EXPECT_TRUE(IsWindowEnabled(m.form.Handle()));
}

TEST(MainWindow, ErrorsReachTheTopLevelBoxAndTheProgramGoesOn)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    {
        TBoxes boxes;
        // no port chosen: the "Error" box, nothing logged
        SetWindowTextW(m["cbRSname"], L"");
        Click(m["bRd_Inf"]);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].first, "Error");
        EXPECT_EQ(boxes.shown[0].second, "Не определен \"RS\" порт");
        m.form.Engine().Run([] { throw std::runtime_error("Device not opened."); });
        m.form.Engine().Run([] { throw std::runtime_error("'5-' is not a valid integer value"); });
        ASSERT_EQ(boxes.shown.size(), 3u);
        EXPECT_EQ(boxes.shown[1].first, "ПО \"AT_Vexo\"");
        EXPECT_EQ(boxes.shown[1].second, "Device not opened.");
        EXPECT_EQ(boxes.shown[2].second, "'5-' is not a valid integer value.");
        EXPECT_TRUE(LogLines(m["reWin"]).empty());
    }
    // the real box: caption, text, one OK button
    std::string caption, text;
    int buttons = 0, icons = 0;
    TWhenReady probe(
        [&] {
            HWND box = GetLastActivePopup(m.form.Handle());
            return box && box != m.form.Handle() && ClassOf(box) == "#32770";
        },
        [&] {
            HWND box = GetLastActivePopup(m.form.Handle());
            caption = WindowText(box);
            for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                if (ClassOf(c) == "Button")
                    ++buttons;
                else if (ClassOf(c) == "Static" && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                    ++icons;
                else if (ClassOf(c) == "Static" && !WindowText(c).empty())
                    text = WindowText(c);
            }
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
    m.form.Engine().Run([] { throw std::runtime_error("Device not opened."); });
    EXPECT_EQ(caption, "ПО \"AT_Vexo\"");
    EXPECT_EQ(text, "Device not opened.");
    EXPECT_EQ(buttons, 1);
    EXPECT_EQ(icons, 1); // the error icon
}

TEST(Application, TitleOnTheTaskBarWindowThatOwnsTheMainWindow)
{
    TWorkFolder folder;
    TApplicationWindow application;
    HWND app = application.Handle();
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(WindowText(app), "ПО \"AT_Vexo\"");
    EXPECT_TRUE(IsWindowVisible(app));
    EXPECT_FALSE(GetWindowLongW(app, GWL_EXSTYLE) & WS_EX_TOOLWINDOW); // it has the task-bar button
    RECT r;
    GetWindowRect(app, &r);
    EXPECT_EQ(r.right - r.left, 0);
    EXPECT_EQ(r.bottom - r.top, 0);
    TfAT_Vexo form;
    ASSERT_TRUE(form.Create(false, app));
    application.SetMainWindow(form.Handle());
    EXPECT_EQ(GetWindow(form.Handle(), GW_OWNER), app); // so it has no button of its own
    // closing the application from its button closes the main window
    PostMessageW(app, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return form.Handle() == nullptr; }));
    EXPECT_TRUE(IsWindow(app));
}
