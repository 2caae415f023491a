// The keyboard as Windows users expect it, through the program's own message
// step: Tab and Shift+Tab in the table's tab order with the focus rectangle
// shown, Space and Enter press the focused button, Space toggles the check
// box, the arrows step the spin edit, Alt+F4 closes through FormClose, and
// Escape and Enter close the help and about windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>

#include "HelpAbout.h"
#include "MainWindowTest.h"

namespace {

// A key as the keyboard delivers it to the focused control, handled.
void Key(WPARAM key, bool shift = false)
{
    BYTE state[256];
    GetKeyboardState(state);
    const BYTE was = state[VK_SHIFT];
    state[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(state);
    HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    PostMessageW(focus, WM_KEYUP, key, (1u << 30) | (1u << 31) | 1);
    PumpUntil([] {
        MSG m;
        return !PeekMessageW(&m, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE);
    });
    state[VK_SHIFT] = was;
    SetKeyboardState(state);
}

// The names of the main form's controls in their tab order.
std::vector<std::string> TabOrder(const forms::TForm &form)
{
    std::vector<const forms::TControl *> rows;
    for (const auto &row : form.controls)
        if (row.tabOrder >= 0 && row.enabled)
            rows.push_back(&row);
    std::sort(rows.begin(), rows.end(), [](auto a, auto b) { return a->tabOrder < b->tabOrder; });
    std::vector<std::string> names;
    for (const auto *row : rows)
        names.emplace_back(row->name);
    return names;
}

// The focused control's name; a combo box's edit counts as the combo box.
std::string Focused(TShownMain &m)
{
    HWND focus = GetFocus();
    if (const forms::TControl *row = m.form.RowOf(focus))
        return std::string(row->name);
    if (const forms::TControl *row = m.form.RowOf(GetParent(focus)))
        return std::string(row->name);
    return "?";
}

} // namespace

TEST(Keyboard, TabAndShiftTabFollowTheTablesOrderWithTheFocusRectangleShown)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    SetForegroundWindow(m.form.Handle());
    const auto order = TabOrder(m.form.Form());
    ASSERT_GE(order.size(), 2u);
    SetFocus(m[order.front().c_str()]);
    std::vector<std::string> forward{Focused(m)};
    for (size_t i = 1; i < order.size(); ++i) {
        Key(VK_TAB);
        forward.push_back(Focused(m));
    }
    EXPECT_EQ(forward, order);
    Key(VK_TAB); // round to the first again
    EXPECT_EQ(Focused(m), order.front());
    Key(VK_TAB, true);
    EXPECT_EQ(Focused(m), order.back());
    Key(VK_TAB, true);
    EXPECT_EQ(Focused(m), order[order.size() - 2]);
    EXPECT_FALSE(SendMessageW(GetFocus(), WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
}

TEST(Keyboard, SpaceAndEnterPressButtonsSpaceTogglesTheCheckBoxArrowsStepTheSpinEdit)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    TBoxes boxes;
    SetWindowTextW(m["cbRSname"], L"");
    // a command button with no port chosen: its "Error" box each time
    SetFocus(m["bRd_Inf"]);
    Key(VK_SPACE);
    EXPECT_EQ(boxes.shown.size(), 1u);
    Key(VK_RETURN);
    EXPECT_EQ(boxes.shown.size(), 2u);
    SetFocus(m["chKLV707"]);
    Key(VK_SPACE);
    EXPECT_TRUE(m.form.Checked("chKLV707"));
    Key(VK_SPACE);
    EXPECT_FALSE(m.form.Checked("chKLV707"));
    SetFocus(m["seAdrModBus"]);
    Key(VK_UP);
    Key(VK_UP);
    EXPECT_EQ(WindowText(m["seAdrModBus"]), "3");
    Key(VK_DOWN);
    EXPECT_EQ(WindowText(m["seAdrModBus"]), "2");
}

TEST(Keyboard, AltF4ClosesTheMainWindowThroughFormClose)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    SetWindowTextW(m["cbRSname"], L"COM5");
    SetFocus(m["bRd_Inf"]);
    // Alt held: the context bit of a system key
    PostMessageW(GetFocus(), WM_SYSKEYDOWN, VK_F4, (1u << 29) | 1);
    EXPECT_TRUE(PumpUntil([&] { return m.form.Handle() == nullptr; }));
    std::ifstream in(folder.Settings(), std::ios::binary);
    std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(saved, "COM5\r\n"); // FormClose saved the port name
}

TEST(Keyboard, EscapeClosesHelpEnterAndEscapeCloseAbout)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
        bool pressed = false;
        TWhenReady about([] { return AboutForm && AboutForm->StartTimerFired(); }, [&] {
            pressed = GetFocus() == AboutForm->Control("OKButton"); // the only control with the focus
            Key(key);
        });
        m.form.ShowAboutForm();
        EXPECT_TRUE(pressed) << key;
    }
    bool pressed = false;
    TWhenReady help([] { return fHelpATVexo && fHelpATVexo->StartTimerFired(); }, [&] {
        pressed = GetFocus() == fHelpATVexo->Handle();
        Key(VK_ESCAPE);
    });
    m.form.ShowHelpForm();
    EXPECT_TRUE(pressed);
}
