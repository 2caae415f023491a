// The ports by what they are: their notes in the port box's drop-down and
// its hint, the log lines when one comes or goes, and the adapter behind the
// last port opened, remembered beside the settings file and followed to its
// new name. Engine-internal (it shows the serial component's PortInfo.h).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MainView.h"
#include "PortInfo.h"

class TPortMonitor;

// "USB", "Bluetooth", "встроенный", "виртуальный", "неизвестный".
std::string PortKindText(TPortKind kind);
// Beside a name in the drop-down: "USB: FT232R USB UART", "Bluetooth", "виртуальный".
std::string PortNote(const TPortInfo &port);
// The port box's hint: "COM6: FT232R USB UART (FTDI, 0403:6001, № A50285BI)".
std::string PortHint(const TPortInfo &port);
// "подключен COM6: FT232R USB UART (FTDI, № A50285BI)", "отключен COM6: FT232R USB UART".
std::string PluggedLine(const TPortInfo &port);
std::string UnpluggedLine(const TPortInfo &port);

struct TPortDiff {
    std::vector<TPortInfo> added, removed; // a port whose adapter changed under the same name is both
};
TPortDiff DiffPorts(const std::vector<TPortInfo> &before, const std::vector<TPortInfo> &after);

// Who an adapter is, apart from the name it has now.
struct TAdapterIdentity {
    std::string name; // the name it had when it was opened
    std::string vid, pid, serial, location, product, maker;
    int iface = -1;
    friend bool operator==(const TAdapterIdentity &, const TAdapterIdentity &) = default;
};
// USB adapters only: a built-in, Bluetooth or virtual port is its name.
std::optional<TAdapterIdentity> IdentityOf(const TPortInfo &port);

// "Work/ATVexo.adapter" beside the settings file: one line, fields by TAB.
std::string AdapterFilePath();
std::string IdentityLine(const TAdapterIdentity &id);
std::optional<TAdapterIdentity> ParseIdentityLine(const std::string &line);

// Where the remembered adapter is now, for a port box whose port is absent.
struct TFollow {
    enum TWhat { Stay, Moved, Ambiguous } what = Stay;
    std::string from;                    // the box's name, absent
    std::string to;                      // Moved: its new name
    std::vector<std::string> candidates; // Ambiguous: the names it could be
};
TFollow FollowAdapter(const TAdapterIdentity &id, const std::vector<TPortInfo> &ports, const std::string &boxText);
// The line that says what FollowAdapter found (empty for Stay).
std::string FollowLine(const TAdapterIdentity &id, const TFollow &follow);

class TAdapters {
public:
    using TLog = std::function<void(int kind, const std::string &text)>;
    TAdapters(IMainView &view, TLog log);
    ~TAdapters();

    // Enumerates; `changed` is what the monitor calls (on the main thread)
    // after a debounced notice; null: no monitor.
    void Start(std::function<void()> changed);
    // The scanner listed `names`: the names the list holds, with their notes.
    void Listed(const std::vector<std::string> &names);
    // Enumerates again; logs each port that came or went, updates the list
    // (the box's text untouched) and follows the adapter. The ports that came.
    std::vector<TPortInfo> Changed();
    // The port `name` was opened: its adapter is remembered (only where Work exists).
    void Opened(const std::string &name);
    // The box's port is absent and the remembered adapter is present under
    // another name: the box takes it, with a line. True when it did.
    bool Follow();
    // The box's hint for its current text.
    void ShowHint();
    bool Present(const std::string &nameOrPath) const;
    const std::vector<TPortInfo> &Ports() const { return FPorts; }
    const std::optional<TAdapterIdentity> &Remembered() const { return FRemembered; }

private:
    void ShowList();
    // Linux: a port just plugged in that ModemManager or brltty took says so
    // at once, with the remedy; looked at again for a few seconds after the plug.
    void LookWhoTook();

    IMainView &FView;
    TLog FLog;
    std::vector<TPortInfo> FPorts;
    std::vector<std::string> FListed;
    bool FListShown = false; // the scanner has filled the list once
    std::optional<TAdapterIdentity> FRemembered;
    std::unique_ptr<TPortMonitor> FMonitor;
    std::vector<std::pair<std::string, int>> FJustPlugged; // the name, the looks left
};
