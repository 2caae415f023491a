// The port box's drop-down on Win32: while the list is down its items show
// what each port is beside the name; when it closes up they are the bare
// names again, and the box holds the bare name of the item chosen. The
// box's hint (its tooltip) follows the chosen port.
#pragma once

#include <map>
#include <string>

#include <windows.h>

class TPortBox {
public:
    void SetNote(const std::string &name, const std::string &note) { FNotes[name] = note; }
    void Clear() { FNotes.clear(); }
    // CBN_DROPDOWN and CBN_CLOSEUP of `box`; true when the notice was one of them.
    bool Notice(HWND box, WORD code);
    // The tooltip `tips` shows over `box` (and its edit), in place of any before.
    static void SetHint(HWND tips, HWND owner, HWND box, const std::string &text);

private:
    std::map<std::string, std::string> FNotes;
    std::wstring FTyped; // the box's text when the list came down
    bool FDown = false;
};
