#include "PortBox.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "WinText.h"

namespace {

std::vector<std::wstring> Items(HWND box)
{
    std::vector<std::wstring> items;
    const LRESULT n = SendMessageW(box, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        const LRESULT len = SendMessageW(box, CB_GETLBTEXTLEN, WPARAM(i), 0);
        std::wstring s(std::size_t(len > 0 ? len : 0) + 1, L'\0');
        SendMessageW(box, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(s.data()));
        s.resize(std::wcslen(s.c_str()));
        items.push_back(s);
    }
    return items;
}

void Replace(HWND box, LRESULT i, const std::wstring &text)
{
    SendMessageW(box, CB_DELETESTRING, WPARAM(i), 0);
    SendMessageW(box, CB_INSERTSTRING, WPARAM(i), reinterpret_cast<LPARAM>(text.c_str()));
}

} // namespace

bool TPortBox::Notice(HWND box, WORD code)
{
    if (code == CBN_DROPDOWN && !FDown) {
        FDown = true;
        FTyped = Wide(WindowText(box));
        const std::vector<std::wstring> items = Items(box);
        HDC dc = GetDC(box);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(box, WM_GETFONT, 0, 0)));
        int widest = 0;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto it = FNotes.find(Utf8(items[i].c_str()));
            if (it == FNotes.end() || it->second.empty())
                continue;
            const std::wstring shown = items[i] + L"  " + Wide(it->second);
            SIZE size{};
            GetTextExtentPoint32W(dc, shown.c_str(), int(shown.size()), &size);
            widest = std::max(widest, int(size.cx));
            Replace(box, LRESULT(i), shown);
        }
        SelectObject(dc, old);
        ReleaseDC(box, dc);
        if (widest)
            SendMessageW(box, CB_SETDROPPEDWIDTH, WPARAM(widest + GetSystemMetrics(SM_CXVSCROLL) + 8), 0);
        SetWindowTextW(box, FTyped.c_str());
        return true;
    }
    if (code == CBN_CLOSEUP && FDown) {
        FDown = false;
        const LRESULT chosen = SendMessageW(box, CB_GETCURSEL, 0, 0);
        std::wstring text = FTyped;
        const std::vector<std::wstring> items = Items(box);
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto gap = items[i].find(L"  ");
            if (gap == std::wstring::npos)
                continue;
            Replace(box, LRESULT(i), items[i].substr(0, gap));
        }
        if (chosen >= 0 && std::size_t(chosen) < items.size())
            text = items[std::size_t(chosen)].substr(0, items[std::size_t(chosen)].find(L"  "));
        SendMessageW(box, CB_SETCURSEL, WPARAM(-1), 0);
        SetWindowTextW(box, text.c_str());
        return true;
    }
    return false;
}

void TPortBox::SetHint(HWND tips, HWND owner, HWND box, const std::string &text)
{
    const std::wstring wide = Wide(text);
    auto put = [&](HWND target) {
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = owner;
        ti.uId = reinterpret_cast<UINT_PTR>(target);
        ti.lpszText = const_cast<wchar_t *>(wide.c_str()); // the tooltip keeps its own copy
        TOOLINFOW known = ti;
        known.lpszText = nullptr;
        if (SendMessageW(tips, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&known)))
            SendMessageW(tips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
        else
            SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    };
    put(box);
    COMBOBOXINFO cbi{};
    cbi.cbSize = sizeof cbi;
    if (GetComboBoxInfo(box, &cbi) && cbi.hwndItem)
        put(cbi.hwndItem); // the mouse over an editable combo box is over its edit
}
