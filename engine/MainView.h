// What the engine knows of the main window: the controls it reads and
// writes, the command log, the activity bars, the message box, the two
// timers and the secondary windows. Each front-end implements it; the engine
// owns no widget. Every text here is UTF-8; the engine converts to code
// page 1251 only at the wire and at the settings file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Names of controls the engine and its tests read or write; every control is
// named as in the main window's table (forms::MainForm).
namespace TViewText {
inline constexpr std::string_view cbRSname = "cbRSname";               // the port box
inline constexpr std::string_view cbSpeed_Cor = "cbSpeed_Cor";         // speed of the "I/O" port
inline constexpr std::string_view cbSpeed_SeA = "cbSpeed_SeA";         // speed of the "RS232" port
inline constexpr std::string_view cbSpeed_SeA_Prn = "cbSpeed_SeA_Prn"; // speed of the printer port
inline constexpr std::string_view seAdrModBus = "seAdrModBus";         // the ModBus address
inline constexpr std::string_view chKLV707 = "chKLV707";               // the concentrator flag
inline constexpr std::string_view lSetupWindow = "lSetupWindow";       // the set-up window's time left
// Toolbar buttons that stay down while their sequence runs.
inline constexpr std::string_view TB_Wait = "TB_Wait";
inline constexpr std::string_view TB_ReadAll = "TB_ReadAll";
inline constexpr std::string_view TB_WriteAll = "TB_WriteAll";
inline constexpr std::string_view bCompare = "bCompare";
} // namespace TViewText

// The two activity bars (range 0..100).
enum class TViewBar { prB_Wr, prB_rd };

// The main window's timers (their intervals are in its table).
enum class TViewTimer {
    tInit,        // start timer, fires once
    tRdIn_Vexo,   // reply timer, one-shot
    tSetupWindow, // the set-up window's count-down, every second while it runs
};

// One choice of file type in the save dialog.
struct TSaveFilter {
    std::string title;     // "Текст (*.txt)"
    std::string extension; // "txt", without the dot
};

// What the operator chose in the save dialog; an empty path: cancelled.
struct TSaveChoice {
    std::string path;
    int filter = 0; // index into the filters offered
};

struct TColour {
    unsigned char r = 0, g = 0, b = 0;
    friend bool operator==(const TColour &, const TColour &) = default;
};

class IMainView {
public:
    virtual ~IMainView() = default;

    // The text of an editable combo box or a spin edit (exactly as
    // displayed), by the control's name; "" for a name it does not know.
    virtual std::string Text(std::string_view control) const = 0;
    virtual void SetText(std::string_view control, const std::string &text) = 0;
    // A check box's state, by name; false for a name it does not know.
    virtual bool Checked(std::string_view control) const = 0;
    virtual void SetChecked(std::string_view control, bool checked) = 0;
    // The port box's drop-down list. Clearing it leaves the edit text alone.
    virtual void ClearPortList() = 0;
    virtual void AddPortItem(const std::string &name) = 0;
    // What the item `name` is ("USB: FT232R USB UART"), shown beside it in
    // the drop-down only: choosing the item still puts the bare name into the box.
    virtual void SetPortItemNote(const std::string &name, const std::string &note) { (void)name, (void)note; }
    // A control's hint (tooltip); empty: none.
    virtual void SetHint(std::string_view control, const std::string &text) { (void)control, (void)text; }
    // A label's text and colour, by name.
    virtual void SetLabel(std::string_view control, const std::string &text, TColour colour) = 0;
    // A toggle button of the toolbar held down (or released), by name.
    virtual void SetButtonDown(std::string_view control, bool down) = 0;

    // The command log (reWin): one more line at the very end, in `colour`
    // and the log's fixed-pitch font; and emptying it.
    virtual void AppendLogLine(const std::string &text, TColour colour) = 0;
    virtual void ClearLogView() = 0;

    virtual void SetBarPosition(TViewBar bar, int position) = 0;

    // Modal message box: `caption`, the error icon, one "OK" button.
    // Returns when the operator has closed it.
    virtual void ShowMessageBox(const std::string &caption, const std::string &text) = 0;
    // Modal save dialog captioned `caption`, offering `filters` (the first is
    // the default) and proposing `suggestedName` in the last folder used.
    virtual TSaveChoice AskSaveFile(const std::string &caption, const std::string &suggestedName,
                                    const std::vector<TSaveFilter> &filters) = 0;

    // Modal open dialog captioned `caption`, offering `filters`, in the last
    // folder used; "" when cancelled.
    virtual std::string AskOpenFile(const std::string &caption, const std::vector<TSaveFilter> &filters) = 0;

    // Window timers on the main thread. Starting a running timer restarts it;
    // the engine never does that (it keeps the state itself).
    virtual void StartTimer(TViewTimer timer, int intervalMs) = 0;
    virtual void StopTimer(TViewTimer timer) = 0;

    // The window's top to 0, then its left to 0.
    virtual void MoveToTopLeft() = 0;
    // Modal secondary windows; each returns when its window has closed.
    virtual void ShowHelpForm() = 0;
    virtual void ShowAboutForm() = 0;
    // Asks the window to close (the close path then calls FormClose).
    virtual void CloseWindow() = 0;
};
