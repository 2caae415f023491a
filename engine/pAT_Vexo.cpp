#include "pAT_Vexo.h"

#include <algorithm>
#include <deque>
#include <utility>

#include "Adapters.h"
#include "Commands.h"
#include "Cp1251.h"
#include "ErrorText.h"
#include "Forms.h"
#include "LogHelpers.h"
#include "PortDiagnosis.h"
#include "PortProbe.h"
#include "ProfileActions.h"
#include "Sequences.h"
#include "SetupWindow.h"
#include "Str_UtRx.h"
#include "WorkFile.h"
#include "XComDrv.h"

namespace {

// Far more than a Vexo ever answers in 500 ms; a flood beyond it is still
// drained from the port but not kept.
constexpr std::size_t MaxReplyBytes = 64 * 1024;

// A timer's interval from the main window's table.
int Interval(std::string_view timer)
{
    const forms::TControl *c = forms::Find(forms::MainForm, timer);
    return c ? c->interval : 0;
}

} // namespace

class TAT_VexoEngine::TSequenceHost final : public ISequenceHost {
public:
    TSequenceHost(TAT_VexoEngine &engine, IMainView &view) : FEngine(engine), FView(view) {}
    bool OpenPort() override { return FEngine.PrepareRSPort(); }
    bool Issue(int cmd, bool quiet) override
    {
        FEngine.IssueCommand(cmd, quiet);
        return FEngine.ReplyTimerEnabled(); // else nothing went out
    }
    std::string Text(std::string_view box) const override { return FView.Text(box); }
    bool Checked(std::string_view box) const override { return FView.Checked(box); }
    void SetText(std::string_view box, const std::string &text) override { FView.SetText(box, text); }
    void SetChecked(std::string_view box, bool checked) override { FView.SetChecked(box, checked); }
    void SetButtonDown(std::string_view button, bool down) override { FView.SetButtonDown(button, down); }
    void Log(int kind, const std::string &text) override { FEngine.AddToLog(kind, text); }
    std::string ModuleLine() const override { return FEngine.ModuleLine(); }
    bool PortAwaited() const override
    {
        const std::string name = FView.Text(TViewText::cbRSname);
        return !name.empty() && !RSPortPresent(name) && RSPortMayAppear(name);
    }

private:
    TAT_VexoEngine &FEngine;
    IMainView &FView;
};

struct TAT_VexoEngine::State {
    std::unique_ptr<TXComm> XComm;
    std::string OpenedRS;
    int CurCmd = 0;
    std::string RxText; // code page 1251 bytes
    bool ReplyTimerEnabled = false;
    int Bars[2] = {0, 0};
    std::deque<std::pair<std::string, std::string>> Boxes; // asked for while one is open
    bool ShowingBox = false;
    TJournal Journal;
    std::unique_ptr<TSequenceHost> SeqHost;
    std::unique_ptr<TSequences> Seq;
    std::unique_ptr<TProfiles> Profiles;
    bool QuietRequest = false; // the request being sent is a silent attempt
    bool QuietPending = false; // the awaited reply is to a silent attempt
    std::pair<std::string, std::string> HeldBack; // a silent attempt's announcement and request lines
    std::string ModuleLine;
    std::int64_t SetupWindowEnd = 0; // by the journal's clock; 0: never opened
    std::unique_ptr<TAdapters> Adapters; // the ports by what they are, the adapter remembered
};

TAT_VexoEngine::TAT_VexoEngine(IMainView &view) : TAT_VexoEngine(view, nullptr) {}

TAT_VexoEngine::TAT_VexoEngine(IMainView &view, std::unique_ptr<TXComm> port)
    : FView(view), F(std::make_unique<State>())
{
    F->XComm = port ? std::move(port) : std::make_unique<TXComm>(this);
    F->SeqHost = std::make_unique<TSequenceHost>(*this, view);
    F->Seq = std::make_unique<TSequences>(*F->SeqHost);
    F->Profiles = std::make_unique<TProfiles>(*this, view);
    F->Adapters = std::make_unique<TAdapters>(view, [this](int kind, const std::string &text) { AddToLog(kind, text); });
    F->XComm->OnData = [this](TCustomComm *sender, std::uint32_t received) {
        Run([&] { XComm_ATData(sender, received); });
    };
    // The design values of the controls the operator edits.
    for (const forms::TControl &c : forms::MainForm.controls) {
        if (c.kind == forms::TKind::EditCombo || c.kind == forms::TKind::SpinEdit)
            FView.SetText(c.name, std::string(c.text));
        else if (c.kind == forms::TKind::CheckBox)
            FView.SetChecked(c.name, c.checked);
    }
}

TAT_VexoEngine::~TAT_VexoEngine()
{
    // The port goes first: its event thread must not hand anything to a
    // half-destroyed view, nor to this engine while its port is going.
    F->XComm->OnData = nullptr;
    F->XComm.reset();
}

void TAT_VexoEngine::FormCreate() { FView.StartTimer(TViewTimer::tInit, Interval("tInit")); }

void TAT_VexoEngine::Click(std::string_view control) noexcept
{
    Run([&] {
        const forms::TControl *c = forms::Find(forms::MainForm, control);
        if (!c)
            return;
        switch (c->action) {
        case forms::TAction::Command:
            if (const int n = CommandOfButton(control); n >= 0)
                SendCommand(n);
            break;
        case forms::TAction::ScanPorts:
            SpeedButton1Click();
            break;
        case forms::TAction::About:
            ToolButton3Click();
            break;
        case forms::TAction::Help:
            TB_HelpClick();
            break;
        case forms::TAction::ClearLog:
            ToolButton6Click();
            break;
        case forms::TAction::Exit:
            TB_ExitClick();
            break;
        case forms::TAction::Wait:
            TB_WaitClick();
            break;
        case forms::TAction::ReadAll:
            TB_ReadAllClick();
            break;
        case forms::TAction::WriteAll:
            TB_WriteAllClick();
            break;
        case forms::TAction::SaveLog:
            TB_SaveLogClick();
            break;
        case forms::TAction::EndSequence:
            EscapePress();
            break;
        case forms::TAction::SaveProfile:
            bSaveProfileClick();
            break;
        case forms::TAction::OpenProfile:
            bOpenProfileClick();
            break;
        case forms::TAction::Compare:
            bCompareClick();
            break;
        default: // the main window has no others
            break;
        }
    });
}

// ---------------------------------------------------------------- exchange

void TAT_VexoEngine::SendCommand(int n)
{
    if (n < 0 || n >= ATCommandCount)
        return;
    F->Seq->Interrupt(); // any command button ends a running sequence
    IssueCommand(n, false);
}

void TAT_VexoEngine::IssueCommand(int n, bool quiet)
{
    if (!PrepareRSPort())
        return;
    const TCommand &command = Catalogue[n];
    const TParameter parameter = ReadParameter(command, FView);
    F->CurCmd = n;
    std::string announce = "выдать команду в \"Vexo\" - \"" + std::string(command.title);
    if (!parameter.shown.empty())
        announce += ' ' + parameter.shown;
    announce += '"';
    const std::string request = std::string(command.command) + Cp1251Encode(parameter.sent) + "\r\n";
    F->QuietPending = false;
    if (quiet) {
        // Held back: logged only if this attempt is answered.
        F->HeldBack = {announce, "запрос \"Vexo\" -> \"" + StripCtrl(Cp1251Decode(request)) + '"'};
        F->QuietRequest = true;
        struct TLoud {
            bool &quiet;
            ~TLoud() { quiet = false; }
        } loud{F->QuietRequest};
        SendRequest(request);
        F->QuietPending = F->ReplyTimerEnabled;
        return;
    }
    AddToLog(lkCommand, announce);
    SendRequest(request);
}

void TAT_VexoEngine::SendRequest(const std::string &line)
{
    TXComm &comm = *F->XComm;
    F->RxText.clear();
    const std::string name = Cp1251Decode(comm.DeviceName());
    if (!RSPortPresent(name)) {
        // The port vanished since it was opened: close it, forget it so the
        // next press opens it afresh, and say so.
        DropPort();
        AddToLog(lkError, "ошибка инициализации порта " + name);
        return;
    }
    if (comm.Opened()) {
        // A late reply to the previous request may still sit in the port,
        // its hand-over not yet run: it is no reply to this one.
        std::string stale;
        comm.ReadString(stale);
    }
    StepBar(TViewBar::prB_Wr);
    if (comm.SendString(line)) {
        // The wait starts as the request leaves, before the log line is drawn;
        // a wait already running is not restarted.
        if (!F->ReplyTimerEnabled) {
            F->ReplyTimerEnabled = true;
            FView.StartTimer(TViewTimer::tRdIn_Vexo, Interval("tRdIn_Vexo"));
        }
        if (!F->QuietRequest)
            AddToLog(lkCommand, "запрос \"Vexo\" -> \"" + StripCtrl(Cp1251Decode(line)) + '"');
    } else {
        // A port that takes nothing is reopened by the next press.
        DropPort();
        ShowError("ОШИБКА COM порта");
    }
}

void TAT_VexoEngine::DropPort()
{
    if (F->XComm->Opened())
        F->XComm->Close();
    F->OpenedRS.clear();
}

void TAT_VexoEngine::XComm_ATData(TCustomComm *, std::uint32_t)
{
    std::string text;
    F->XComm->ReadString(text);
    StepBar(TViewBar::prB_rd);
    if (!text.empty() && F->RxText.size() < MaxReplyBytes)
        F->RxText.append(text, 0, std::min(MaxReplyBytes - F->RxText.size(), text.size()));
}

void TAT_VexoEngine::tRdIn_VexoTimer()
{
    F->ReplyTimerEnabled = false;
    FView.StopTimer(TViewTimer::tRdIn_Vexo);
    const bool quiet = std::exchange(F->QuietPending, false);
    if (F->RxText.empty()) {
        // A silent attempt that met silence leaves no line.
        if (!quiet)
            AddToLog(lkError, "нет ответа от \"Vexo\"");
        AfterVerdict(false, {});
        return;
    }
    const std::string r = StripCtrl(Cp1251Decode(F->RxText));
    if (quiet) {
        // The answered attempt is logged as a press of its button is.
        AddToLog(lkCommand, F->HeldBack.first);
        AddToLog(lkCommand, F->HeldBack.second);
    }
    AddToLog(lkReply, "ответ  \"Vexo\" <- " + Verdict(F->CurCmd, r));
    AfterVerdict(true, r);
}

void TAT_VexoEngine::AfterVerdict(bool answered, const std::string &reply)
{
    if (answered && F->CurCmd == acInfo) {
        // The module listens 30 s more after each answered "ATI0".
        F->ModuleLine = reply;
        F->SetupWindowEnd = F->Journal.Now() + SetupWindowExtendMs;
        FView.StopTimer(TViewTimer::tSetupWindow);
        FView.StartTimer(TViewTimer::tSetupWindow, Interval("tSetupWindow"));
        ShowSetupWindow();
    }
    F->Seq->Verdict(F->CurCmd, answered, reply);
}

void TAT_VexoEngine::StepBar(TViewBar bar)
{
    int &position = F->Bars[bar == TViewBar::prB_Wr ? 0 : 1];
    position = ::StepBar(position);
    FView.SetBarPosition(bar, position);
}

// ---------------------------------------------------------------- port and settings file

void TAT_VexoEngine::SpeedButton1Click()
{
    FView.ClearPortList();
    FView.SetText(TViewText::cbRSname, "");
    ScanRSPorts();
}

void TAT_VexoEngine::ScanRSPorts()
{
    std::vector<std::string> listed;
    for (int n = 1; n <= 100; ++n) {
        const std::string name = "COM" + std::to_string(n);
        if (RSPortPresent(name))
            listed.push_back(name);
    }
    F->Adapters->Listed(listed); // the names, with what each one is
    // Filling the list picks no entry: the box stays empty.
    FView.SetText(TViewText::cbRSname, "");
}

bool TAT_VexoEngine::PortSelected()
{
    if (FView.Text(TViewText::cbRSname).empty()) {
        ShowError("Не определен \"RS\" порт");
        return false;
    }
    return true;
}

bool TAT_VexoEngine::PrepareRSPort()
{
    if (!PortSelected())
        return false;
    const std::string name = FView.Text(TViewText::cbRSname);
    if (name == F->OpenedRS)
        return true;
    TXComm &comm = *F->XComm;
    if (comm.Opened()) {
        comm.Close();
        F->OpenedRS.clear();
    }
    comm.SetBaudRate(br19200);
    comm.SetDeviceName(Cp1251Encode(name));
    OpenRSPort();
    if (comm.Opened()) {
        F->OpenedRS = name;
        F->Adapters->Opened(name);
        return true;
    }
    AddToLog(lkError, "ошибка инициализации порта " + name);
    if (const auto why = PortFailureText(ExplainOpenFailure(Cp1251Encode(name))); !why.empty())
        AddToLog(lkError, why);
    return false;
}

bool TAT_VexoEngine::OpenRSPort()
{
    if (F->XComm->Opened())
        return true;
    F->XComm->Open();
    return F->XComm->Opened();
}

void TAT_VexoEngine::CloseRSPort()
{
    if (F->XComm->Opened())
        F->XComm->Close();
}

void TAT_VexoEngine::LoadWorkFile()
{
    if (const auto line = ReadLastLine(WorkFilePath()))
        FView.SetText(TViewText::cbRSname, OneSpace(*line));
}

void TAT_VexoEngine::SaveWorkFile() { WriteSettingsLine(WorkFilePath(), FView.Text(TViewText::cbRSname)); }

void TAT_VexoEngine::FormClose()
{
    // Closing never fails: whatever goes wrong is shown, and the rest still runs.
    Run([this] { CloseRSPort(); });
    Run([this] { SaveWorkFile(); });
}

void TAT_VexoEngine::tInitTimer()
{
    FView.StopTimer(TViewTimer::tInit);
    FView.MoveToTopLeft();
    F->OpenedRS.clear();
    LoadWorkFile();
    StartPorts();
}

// ---------------------------------------------------------------- toolbar, log, errors

void TAT_VexoEngine::ToolButton3Click() { FView.ShowAboutForm(); }
void TAT_VexoEngine::TB_HelpClick() { FView.ShowHelpForm(); }
void TAT_VexoEngine::ToolButton6Click() { FView.ClearLogView(); }
void TAT_VexoEngine::TB_ExitClick() { FView.CloseWindow(); }

void TAT_VexoEngine::AddToLog(int kind, const std::string &text)
{
    F->Journal.Add(kind, text);
    FView.AppendLogLine(text, LogKindColour(kind));
}

void TAT_VexoEngine::ShowError(const std::string &text) { ShowBox("Error", text); }

void TAT_VexoEngine::ShowBox(std::string caption, std::string text)
{
    F->Boxes.emplace_back(std::move(caption), std::move(text));
    if (F->ShowingBox)
        return;
    F->ShowingBox = true;
    struct TShown {
        bool &showing;
        ~TShown() { showing = false; }
    } shown{F->ShowingBox};
    while (!F->Boxes.empty()) {
        const auto box = std::move(F->Boxes.front());
        F->Boxes.pop_front();
        FView.ShowMessageBox(box.first, box.second);
    }
}

void TAT_VexoEngine::ShowException(std::exception_ptr e) noexcept
{
    try {
        ShowBox(AppTitle(), WithFullStop(ExceptionMessage(e)));
    } catch (...) {
        // A box that cannot be shown must not take the program down.
    }
}

TXComm &TAT_VexoEngine::XComm_AT() { return *F->XComm; }
const std::string &TAT_VexoEngine::OpenedRS() const { return F->OpenedRS; }
int TAT_VexoEngine::CurCmd() const { return F->CurCmd; }
const std::string &TAT_VexoEngine::RxText() const { return F->RxText; }
bool TAT_VexoEngine::ReplyTimerEnabled() const { return F->ReplyTimerEnabled; }
int TAT_VexoEngine::BarPosition(TViewBar bar) const { return F->Bars[bar == TViewBar::prB_Wr ? 0 : 1]; }

// ---------------------------------------------------------------- sequences, set-up window, service record

void TAT_VexoEngine::TB_WaitClick() { F->Seq->Press(TSequenceKind::Wait); }
void TAT_VexoEngine::TB_ReadAllClick() { F->Seq->Press(TSequenceKind::ReadAll); }
void TAT_VexoEngine::TB_WriteAllClick()
{
    SetValuesSource();
    F->Seq->Press(TSequenceKind::WriteAll);
}
void TAT_VexoEngine::EscapePress() { F->Seq->Interrupt(); }

void TAT_VexoEngine::tSetupWindowTimer() { ShowSetupWindow(); }

void TAT_VexoEngine::ShowSetupWindow()
{
    const std::int64_t left = SetupWindowLeftMs();
    const TLabelLook look = SetupWindowLook(left);
    FView.SetLabel(TViewText::lSetupWindow, look.text, look.colour);
    if (left <= 0)
        FView.StopTimer(TViewTimer::tSetupWindow); // nothing more to count
}

std::int64_t TAT_VexoEngine::SetupWindowLeftMs() const
{
    if (F->SetupWindowEnd == 0)
        return 0;
    return std::max<std::int64_t>(0, F->SetupWindowEnd - F->Journal.Now());
}

void TAT_VexoEngine::TB_SaveLogClick()
{
    const std::int64_t now = F->Journal.Now();
    const TSaveChoice choice = FView.AskSaveFile("Сохранить протокол", SuggestedSessionName(now), SessionFilters());
    if (choice.path.empty())
        return;
    const TSessionHead head{AppTitle() + " " + std::string(forms::ProgramVersion), now, FView.Text(TViewText::cbRSname), F->ModuleLine};
    const auto &lines = F->Journal.Lines();
    if (!WriteWholeFile(choice.path, IsHtmlChoice(choice) ? SessionHtml(head, lines) : SessionText(head, lines)))
        ShowError("Не удалось записать протокол в файл " + choice.path);
}

void TAT_VexoEngine::SetClock(TClock clock) { F->Journal.SetClock(std::move(clock)); }
const TJournal &TAT_VexoEngine::Journal() const { return F->Journal; }
const std::string &TAT_VexoEngine::ModuleLine() const { return F->ModuleLine; }
const TSequences &TAT_VexoEngine::Sequences() const { return *F->Seq; }

// ---------------------------------------------------------------- a module's settings as a file

void TAT_VexoEngine::bSaveProfileClick() { F->Profiles->SaveClick(); }
void TAT_VexoEngine::bOpenProfileClick() { F->Profiles->OpenClick(); }
void TAT_VexoEngine::bCompareClick()
{
    SetValuesSource();
    F->Seq->Press(TSequenceKind::Compare);
}

void TAT_VexoEngine::SetValuesSource()
{
    TValuesSource source;
    if (const auto file = F->Profiles->Source())
        source = {file->path, file->unit, file->values.klv707};
    F->Seq->SetSource(std::move(source));
}
bool TAT_VexoEngine::SaveProfile(const std::string &path) { return F->Profiles->Save(path); }
bool TAT_VexoEngine::OpenProfile(const std::string &path) { return F->Profiles->Open(path); }
const TProfiles &TAT_VexoEngine::Profiles() const { return *F->Profiles; }

// ---------------------------------------------------------------- ports by what they are, following the plug

void TAT_VexoEngine::StartPorts()
{
    F->Adapters->Start([this] { Run([this] { PortsChanged(); }); });
    F->Adapters->Follow();
    F->Adapters->ShowHint();
}

void TAT_VexoEngine::PortsChanged()
{
    const std::vector<TPortInfo> added = F->Adapters->Changed();
    if (!added.empty())
        F->Seq->PortsAppeared();
}

void TAT_VexoEngine::PortBoxChanged() { F->Adapters->ShowHint(); }

bool TAT_VexoEngine::PortListed(const std::string &nameOrPath) const { return F->Adapters->Present(nameOrPath); }
