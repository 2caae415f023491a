// What the engine knows of the main window: the controls it reads and
// writes, the command log, the activity bars, the message box, the two
// timers and the secondary windows. Each front-end implements it; the engine
// owns no widget. Every text here is UTF-8; the engine converts to code
// page 1251 only at the wire and at the settings file.
#pragma once

#include <string>
#include <vector>

// Controls whose text the engine reads or writes.
enum class TViewText {
    cbRSname,        // the port box (editable combo box)
    cbSpeed_Cor,     // speed of the Vexo's "I/O" port (editable combo box)
    cbSpeed_SeA,     // speed of the "RS232" gateway port
    cbSpeed_SeA_Prn, // speed of the printer port
    seAdrModBus,     // the ModBus address spin edit, exactly as displayed
};

// The two activity bars (range 0..100).
enum class TViewBar { prB_Wr, prB_rd };

// The main window's timers.
enum class TViewTimer {
    tInit,        // start timer, 50 ms, fires once
    tRdIn_Vexo,   // reply timer, 500 ms, one-shot
    tSetupWindow, // the set-up window's count-down, every second while it runs
};

// Labels the engine writes, text and colour.
enum class TViewLabel { lSetupWindow };

// Toolbar buttons that stay down while their sequence runs.
enum class TViewButton { TB_Wait, TB_ReadAll, TB_WriteAll };

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

    virtual std::string Text(TViewText control) const = 0;
    virtual void SetText(TViewText control, const std::string &text) = 0;
    // The port box's drop-down list. Clearing it leaves the edit text alone.
    virtual void ClearPortList() = 0;
    virtual void AddPortItem(const std::string &name) = 0;
    virtual bool KLV707Checked() const = 0; // chKLV707
    virtual void SetKLV707Checked(bool checked) = 0;
    virtual void SetLabel(TViewLabel label, const std::string &text, TColour colour) = 0;
    virtual void SetButtonDown(TViewButton button, bool down) = 0;

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
