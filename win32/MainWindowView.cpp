// The main window as the engine sees it: texts, the log, bars, boxes, timers.
#include "MainWindow.h"

#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>

#include <algorithm>

#include "HelpAbout.h"
#include "LateBound.h"
#include "WinText.h"

namespace {

UINT_PTR TimerId(TViewTimer timer)
{
    return static_cast<UINT_PTR>(timer) + 1;
}

} // namespace

std::string TfAT_Vexo::Text(std::string_view control) const
{
    HWND h = Control(control);
    return h ? WindowText(h) : std::string();
}

void TfAT_Vexo::SetText(std::string_view control, const std::string &text)
{
    if (HWND h = Control(control))
        SetWindowTextW(h, Wide(text).c_str());
}

bool TfAT_Vexo::Checked(std::string_view control) const
{
    HWND h = Control(control);
    return h && SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TfAT_Vexo::SetChecked(std::string_view control, bool checked)
{
    if (HWND h = Control(control))
        SendMessageW(h, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TfAT_Vexo::ClearPortList()
{
    HWND box = FControls["cbRSname"];
    const std::wstring text = Wide(WindowText(box));
    SendMessageW(box, CB_RESETCONTENT, 0, 0); // also empties the edit
    SetWindowTextW(box, text.c_str());
}

void TfAT_Vexo::AddPortItem(const std::string &name)
{
    SendMessageW(FControls["cbRSname"], CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(name).c_str()));
}

void TfAT_Vexo::SetPortItemNote(const std::string &name, const std::string &note) { FPortBox.SetNote(name, note); }

void TfAT_Vexo::SetHint(std::string_view control, const std::string &text)
{
    if (HWND h = Control(control))
        TPortBox::SetHint(FControls.Tooltips(), GetWindow(FControls.Tooltips(), GW_OWNER), h, text);
}

std::string TfAT_Vexo::PortBoxHint() const
{
    return FControls.Hint(Control("cbRSname"));
}

void TfAT_Vexo::SetLabel(std::string_view control, const std::string &text, TColour colour)
{
    if (HWND label = Control(control)) {
        FControls.SetTextColour(label, RGB(colour.r, colour.g, colour.b));
        SetWindowTextW(label, Wide(text).c_str());
        InvalidateRect(label, nullptr, TRUE); // the colour may change with the same text
    }
}

void TfAT_Vexo::SetButtonDown(std::string_view control, bool down)
{
    const forms::TControl *row = forms::Find(Form(), control);
    if (const int id = CommandId(control); row && row->toggle && id)
        SendMessageW(Control(row->parent), TB_CHECKBUTTON, static_cast<WPARAM>(id), MAKELPARAM(down ? TRUE : FALSE, 0));
}

namespace {

// The dialogs' file types: "Title\0*.ext\0" for each, then one more NUL.
std::wstring FilterText(const std::vector<TSaveFilter> &filters)
{
    std::wstring filter;
    for (const TSaveFilter &f : filters) {
        filter += Wide(f.title);
        filter.push_back(L'\0');
        filter += L"*." + Wide(f.extension);
        filter.push_back(L'\0');
    }
    filter.push_back(L'\0');
    return filter;
}

// What both dialogs are given; the strings must outlive it.
OPENFILENAMEW DialogOf(HWND owner, const std::wstring &filter, std::wstring &file, const std::wstring &title)
{
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = title.c_str();
    return ofn;
}

} // namespace

TSaveChoice TfAT_Vexo::AskSaveFile(const std::string &caption, const std::string &suggestedName,
                                   const std::vector<TSaveFilter> &filters)
{
    const std::wstring filter = FilterText(filters);
    std::wstring file = Wide(suggestedName);
    file.resize(std::max<std::size_t>(file.size() + 1, 1024), L'\0');
    const std::wstring title = Wide(caption);
    const std::wstring extension = filters.empty() ? std::wstring() : Wide(filters[0].extension);
    OPENFILENAMEW ofn = DialogOf(FWindow, filter, file, title);
    ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!LateGetSaveFileNameW(&ofn))
        return {}; // cancelled
    return {Utf8(file.c_str()), ofn.nFilterIndex > 0 ? static_cast<int>(ofn.nFilterIndex) - 1 : 0};
}

std::string TfAT_Vexo::AskOpenFile(const std::string &caption, const std::vector<TSaveFilter> &filters)
{
    const std::wstring filter = FilterText(filters);
    std::wstring file(1024, L'\0');
    const std::wstring title = Wide(caption);
    OPENFILENAMEW ofn = DialogOf(FWindow, filter, file, title);
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!LateGetOpenFileNameW(&ofn))
        return {}; // cancelled
    return Utf8(file.c_str());
}

void TfAT_Vexo::AppendLogLine(const std::string &text, TColour colour)
{
    HWND log = FControls["reWin"];
    // the operator's selection and scroll position stay, unless the view
    // was at the bottom: then it follows the new line
    SCROLLINFO bar{};
    bar.cbSize = sizeof bar;
    bar.fMask = SIF_ALL;
    const bool atBottom = !GetScrollInfo(log, SB_VERT, &bar) || bar.nPage == 0 ||
                          bar.nPos + static_cast<int>(bar.nPage) >= bar.nMax;
    CHARRANGE keep;
    SendMessageW(log, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&keep));
    POINT scroll;
    SendMessageW(log, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    GETTEXTLENGTHEX length{GTL_NUMCHARS, 1200};
    const auto end = static_cast<LONG>(SendMessageW(log, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
    const bool caretAtEnd = keep.cpMin == keep.cpMax && keep.cpMin >= end;
    CHARRANGE at{end, end};
    SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&at));
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR; // the face stays the log's own
    format.crTextColor = RGB(colour.r, colour.g, colour.b);
    SendMessageW(log, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    // a new last line: after a paragraph break unless the log is empty
    const std::wstring line = (end > 0 ? L"\r" : L"") + Wide(text);
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    if (!caretAtEnd)
        SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&keep));
    if (atBottom)
        SendMessageW(log, WM_VSCROLL, SB_BOTTOM, 0);
    else
        SendMessageW(log, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
}

void TfAT_Vexo::ClearLogView()
{
    SetWindowTextW(FControls["reWin"], L"");
}

void TfAT_Vexo::SetBarPosition(TViewBar bar, int position)
{
    SendMessageW(FControls[bar == TViewBar::prB_Wr ? "prB_Wr" : "prB_rd"], PBM_SETPOS, position, 0);
}

void TfAT_Vexo::ShowMessageBox(const std::string &caption, const std::string &text)
{
    if (const auto &hook = MessageBoxHookRef(); hook) {
        hook(FWindow, caption, text);
        return;
    }
    MessageBoxW(FWindow, Wide(text).c_str(), Wide(caption).c_str(), MB_OK | MB_ICONERROR);
}

void TfAT_Vexo::StartTimer(TViewTimer timer, int intervalMs)
{
    SetTimer(FWindow, TimerId(timer), static_cast<UINT>(intervalMs), nullptr);
}

void TfAT_Vexo::StopTimer(TViewTimer timer)
{
    KillTimer(FWindow, TimerId(timer));
}

void TfAT_Vexo::MoveToTopLeft()
{
    MoveToWorkAreaCorner();
}

void TfAT_Vexo::ShowHelpForm()
{
    ::ShowHelpForm(FWindow);
}

void TfAT_Vexo::ShowAboutForm()
{
    ::ShowAboutForm(FWindow);
}

void TfAT_Vexo::CloseWindow()
{
    // after the handler that asked has returned
    PostMessageW(FWindow, WM_CLOSE, 0, 0);
}
