// The main window: its frame; resizing; the log's colours and the
// operator's place in it; the spin edit; the start timer, the settings file,
// and the error boxes.
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

TEST(MainWindow, FrameCaptionAndToolbarButtonsHeight)
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

    // the toolbar's buttons 31 high (every control's place, text, hint and
    // font against its table row: test_forms.cpp)
    for (int i = 0; i < SendMessageW(m["ToolBar1"], TB_BUTTONCOUNT, 0, 0); ++i) {
        RECT r{};
        TBBUTTON b{};
        SendMessageW(m["ToolBar1"], TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        SendMessageW(m["ToolBar1"], TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&b));
        if (b.fsStyle & BTNS_SEP)
            continue;
        if (IsWine() && r.bottom - r.top != 31)
            std::printf("Wine's toolbar keeps its buttons %ld high (picture and padding), not 31\n", r.bottom - r.top);
        else
            EXPECT_EQ(r.bottom - r.top, 31);
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
    SendMessageW(m.form.Handle(), WM_COMMAND, m.form.CommandId("ToolButton6"), 0);
    EXPECT_TRUE(LogLines(log).empty());
}

TEST(MainWindow, TheSetUpWindowLabelPaintsInTheColourTheEngineAsksFor)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    HWND label = m["lSetupWindow"];
    ASSERT_NE(label, nullptr);
    auto painted = [&] {
        // asked of the window that paints it, as when it is drawn
        HDC dc = CreateCompatibleDC(nullptr);
        SendMessageW(GetParent(label), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label));
        const COLORREF c = GetTextColor(dc);
        DeleteDC(dc);
        return c;
    };
    m.form.SetLabel("lSetupWindow", "настройка: 4 с", TColour{255, 0, 0});
    EXPECT_EQ(WindowText(label), "настройка: 4 с");
    EXPECT_EQ(painted(), RGB(255, 0, 0));
    m.form.SetLabel("lSetupWindow", "настройка: 30 с", TColour{0, 0, 0});
    EXPECT_EQ(painted(), RGB(0, 0, 0));
}

TEST(MainWindow, LogKeepsTheOperatorsSelectionAndPlaceUnlessTheViewWasAtTheBottom)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    HWND log = m["reWin"];
    const auto firstVisible = [&] { return SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0); };
    for (int i = 0; i < 60; ++i)
        m.form.Engine().AddToLog(1, "строка " + std::to_string(i));
    EXPECT_GT(firstVisible(), 0) << "at the bottom, the view follows the new lines";
    // the operator scrolls to the top and selects a word
    SendMessageW(log, WM_VSCROLL, SB_TOP, 0);
    CHARRANGE word{0, 6};
    SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&word));
    SendMessageW(log, WM_VSCROLL, SB_TOP, 0);
    m.form.Engine().AddToLog(2, "ответ");
    CHARRANGE after{};
    SendMessageW(log, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&after));
    EXPECT_EQ(std::pair(after.cpMin, after.cpMax), std::pair(word.cpMin, word.cpMax));
    EXPECT_EQ(firstVisible(), 0);
    // back at the bottom: it follows again
    SendMessageW(log, WM_VSCROLL, SB_BOTTOM, 0);
    const auto bottom = firstVisible();
    for (int i = 0; i < 5; ++i)
        m.form.Engine().AddToLog(1, "ещё " + std::to_string(i));
    EXPECT_GT(firstVisible(), bottom);
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
        SendMessageW(m.form.Handle(), WM_COMMAND, m.form.CommandId("TB_Exit"), 0);
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
    SendMessageW(m.form.Handle(), WM_COMMAND, m.form.CommandId("TB_Help"), 0);
    EXPECT_TRUE(helpSeen);
    TWhenReady about([] { return AboutForm && AboutForm->StartTimerFired(); }, [&] {
        aboutSeen = GetWindow(AboutForm->Handle(), GW_OWNER) == m.form.Handle();
        PressKey(AboutForm->Control("OKButton"), VK_RETURN);
    });
    SendMessageW(m.form.Handle(), WM_COMMAND, m.form.CommandId("ToolButton3"), 0);
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
