// The main window's controller: the command catalogue and exchange, port
// selection and scanning, the settings file and the command log. Toolkit
// free: it reaches the window only through IMainView. Main thread only.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "Journal.h"
#include "MainView.h"

// The serial component's port object (XComDrv.h); front-ends need not see it.
class TCustomComm;
class TXComm;

class TSequences;
class TProfiles;

class TAT_VexoEngine {
public:
    // The serial port object `XComm_AT` is created closed (or `port` taken,
    // closed, in its place); its OnData is bound to XComm_ATData. The view's
    // controls get their design values from the main window's table (the
    // speeds, the address, the flag): the window exists, its controls too.
    explicit TAT_VexoEngine(IMainView &view);
    TAT_VexoEngine(IMainView &view, std::unique_ptr<TXComm> port);
    ~TAT_VexoEngine(); // closes the port first: no hand-over reaches a dying view
    TAT_VexoEngine(const TAT_VexoEngine &) = delete;
    TAT_VexoEngine &operator=(const TAT_VexoEngine &) = delete;

    // The window has been created: enables the start timer tInit (50 ms).
    void FormCreate();

    // The one entry for a click on any control of the main window, by its
    // name in the table: runs the action the table gives it (a command
    // button sends its catalogue command, the toolbar and the scanner run
    // their handlers) through Run. A name without an action does nothing.
    void Click(std::string_view control) noexcept;

    // ---- the exchange
    void SendCommand(int n);                   // the catalogue's command n (Commands.h)
    void SendRequest(const std::string &line); // code page 1251 bytes, CR LF included
    void XComm_ATData(TCustomComm *sender, std::uint32_t received);
    void tRdIn_VexoTimer(); // the front-end calls it when tRdIn_Vexo fires

    // ---- port selection and the settings file
    void SpeedButton1Click(); // the scanner button
    void ScanRSPorts();
    bool PortSelected();
    bool PrepareRSPort();
    bool OpenRSPort();
    void CloseRSPort();
    void LoadWorkFile();
    void SaveWorkFile();
    void FormClose();  // the close path: CloseRSPort, then SaveWorkFile; each error shown, both run
    void tInitTimer(); // the front-end calls it when tInit fires

    // ---- the toolbar
    void ToolButton3Click(); // about window
    void TB_HelpClick();     // help window
    void ToolButton6Click(); // clears the log
    void TB_ExitClick();     // closes the window

    // ---- the log
    void AddToLog(int kind, const std::string &text); // also into the service record

    // ---- sequences, the set-up window's time left, the service record
    void TB_WaitClick();    // waits for the module (a toggle)
    void TB_ReadAllClick(); // the six reads, values into their boxes
    void TB_WriteAllClick(); // the five writes and five reads back
    void TB_SaveLogClick(); // the session through the save dialog
    void EscapePress();     // ends a running sequence
    void tSetupWindowTimer(); // the front-end calls it when tSetupWindow fires
    void SetClock(TClock clock); // log times and the set-up window; tests inject one
    const TJournal &Journal() const;
    const std::string &ModuleLine() const; // the last answer to "ATI0", stripped
    std::int64_t SetupWindowLeftMs() const; // 0 when closed or never opened
    const TSequences &Sequences() const;

    // ---- a module's settings as a file (ProfileActions.h); the actions take a
    // path, the clicks ask the dialogs for one
    void bSaveProfileClick();
    void bOpenProfileClick();
    void bCompareClick(); // the six reads, compared with the boxes; nothing changed
    bool SaveProfile(const std::string &path);
    bool OpenProfile(const std::string &path);
    const TProfiles &Profiles() const;

    // ---- ports by what they are, following the plug
    void StartPorts();     // enumerates, starts the change monitor, follows the remembered adapter (tInit runs it)
    void PortsChanged();   // the monitor's debounced notice: enumerate, log the difference, follow
    void PortBoxChanged(); // the operator edited the port box: its hint follows
    bool PortListed(const std::string &nameOrPath) const; // by the last enumeration

    // ---- state, for front-ends and tests
    TXComm &XComm_AT();
    const std::string &OpenedRS() const;
    int CurCmd() const;
    const std::string &RxText() const; // raw bytes as received (code page 1251)
    bool ReplyTimerEnabled() const;
    int BarPosition(TViewBar bar) const;

    // The application's top-level error handling: runs a handler; an
    // exception that leaves it is shown by ShowException and the program
    // goes on. Front-ends call every handler through it.
    template <typename F>
    void Run(F &&handler) noexcept
    {
        try {
            handler();
        } catch (...) {
            ShowException(std::current_exception());
        }
    }
    // The error box: caption AppTitle() ("ПО "AT_Vexo""), the exception's
    // message with the full-stop rule (ErrorText.h), through the view.
    void ShowException(std::exception_ptr e) noexcept;

private:
    // The sequences' one way into the engine (ISequenceHost).
    class TSequenceHost;
    // A command as its button sends it; `quiet`: its announcement and request
    // lines are held back and logged only if a reply comes.
    void IssueCommand(int n, bool quiet);
    void AfterVerdict(bool answered, const std::string &reply);
    void ShowSetupWindow();
    void SetValuesSource(); // the file the boxes hold, for write all and compare
    void DropPort();
    void StepBar(TViewBar bar);
    void ShowError(const std::string &text); // the "Error" box
    // Every modal box goes through here. Boxes never stack: one asked for
    // while another is open (a timer or a hand-over runs inside its loop)
    // is shown after that one has closed.
    void ShowBox(std::string caption, std::string text);

    struct State;
    IMainView &FView;
    std::unique_ptr<State> F;
};
