#include "Adapters.h"

#include <algorithm>
#include <filesystem>

#include "LogHelpers.h"
#include "PortDiagnosis.h"
#include "PortMonitor.h"
#include "WorkFile.h"

namespace {

std::string Join(const std::vector<std::string> &parts, const char *sep)
{
    std::string s;
    for (const std::string &p : parts) {
        if (p.empty())
            continue;
        if (!s.empty())
            s += sep;
        s += p;
    }
    return s;
}

// The product, or what kind of port it is where it names none.
std::string What(const TPortInfo &p)
{
    if (!p.product.empty())
        return p.product;
    switch (p.kind) {
    case TPortKind::Usb: return "USB-адаптер";
    case TPortKind::Bluetooth: return "порт Bluetooth";
    case TPortKind::BuiltIn: return "встроенный порт";
    case TPortKind::Virtual: return "виртуальный порт";
    case TPortKind::Unknown: break;
    }
    return "порт";
}

std::string Numbered(const TPortInfo &p)
{
    if (!p.serial.empty())
        return "№ " + p.serial;
    return p.location.empty() ? std::string() : "USB " + p.location;
}

// ModemManager probes a new adapter within a second or two, brltty at once:
// a plugged port is looked at for about five seconds.
constexpr int TakenLooks = 6;
constexpr int TakenLookMs = 1000;

bool Same(const TPortInfo &a, const TPortInfo &b)
{
    return a.name == b.name && a.device == b.device && a.kind == b.kind && a.vid == b.vid && a.pid == b.pid &&
           a.serial == b.serial && a.location == b.location && a.iface == b.iface;
}

std::string NoTabs(std::string s)
{
    std::replace(s.begin(), s.end(), '\t', ' ');
    return s;
}

} // namespace

std::string PortKindText(TPortKind kind)
{
    switch (kind) {
    case TPortKind::Usb: return "USB";
    case TPortKind::Bluetooth: return "Bluetooth";
    case TPortKind::BuiltIn: return "встроенный";
    case TPortKind::Virtual: return "виртуальный";
    case TPortKind::Unknown: break;
    }
    return "неизвестный";
}

std::string PortNote(const TPortInfo &p)
{
    const std::string kind = PortKindText(p.kind);
    return p.product.empty() ? kind : kind + ": " + p.product;
}

std::string PortHint(const TPortInfo &p)
{
    std::string hint = p.name + ": " + What(p);
    const std::string vidPid = p.vid.empty() ? std::string() : p.vid + ":" + p.pid;
    if (const std::string more = Join({p.maker, vidPid, Numbered(p)}, ", "); !more.empty())
        hint += " (" + more + ")";
    if (p.kind != TPortKind::Usb)
        hint += ", " + PortKindText(p.kind);
    return hint;
}

std::string PluggedLine(const TPortInfo &p)
{
    std::string line = "подключен " + p.name + ": " + What(p);
    if (const std::string more = Join({p.maker, Numbered(p)}, ", "); !more.empty())
        line += " (" + more + ")";
    return line;
}

std::string UnpluggedLine(const TPortInfo &p) { return "отключен " + p.name + ": " + What(p); }

TPortDiff DiffPorts(const std::vector<TPortInfo> &before, const std::vector<TPortInfo> &after)
{
    TPortDiff d;
    auto in = [](const std::vector<TPortInfo> &list, const TPortInfo &p) {
        return std::any_of(list.begin(), list.end(), [&](const TPortInfo &q) { return Same(p, q); });
    };
    for (const TPortInfo &p : before)
        if (!in(after, p))
            d.removed.push_back(p);
    for (const TPortInfo &p : after)
        if (!in(before, p))
            d.added.push_back(p);
    return d;
}

std::optional<TAdapterIdentity> IdentityOf(const TPortInfo &p)
{
    if (p.kind != TPortKind::Usb || p.vid.empty())
        return std::nullopt;
    return TAdapterIdentity{p.name, p.vid, p.pid, p.serial, p.location, p.product, p.maker, p.iface};
}

std::string AdapterFilePath()
{
    const std::string settings = WorkFilePath();
    return settings.substr(0, settings.size() - 4) + ".adapter";
}

std::string IdentityLine(const TAdapterIdentity &id)
{
    const std::string fields[] = {id.name, id.vid, id.pid, id.serial, id.location, std::to_string(id.iface),
                                  id.product, id.maker};
    std::string line;
    for (const std::string &f : fields)
        line += (line.empty() && &f == &fields[0] ? "" : "\t") + NoTabs(f);
    return line;
}

std::optional<TAdapterIdentity> ParseIdentityLine(const std::string &line)
{
    std::vector<std::string> f;
    std::size_t at = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', at);
        f.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
        if (tab == std::string::npos)
            break;
        at = tab + 1;
    }
    if (f.size() != 8 || f[0].empty() || f[1].size() != 4 || f[2].size() != 4)
        return std::nullopt;
    TAdapterIdentity id{f[0], f[1], f[2], f[3], f[4], f[6], f[7], -1};
    try {
        id.iface = std::stoi(f[5]);
    } catch (...) {
        return std::nullopt;
    }
    return id;
}

TFollow FollowAdapter(const TAdapterIdentity &id, const std::vector<TPortInfo> &ports, const std::string &boxText)
{
    TFollow f;
    if (boxText.empty() || FindPortInfo(ports, boxText))
        return f; // nothing chosen, or the chosen port is there
    f.from = boxText;
    std::vector<const TPortInfo *> alike;
    for (const TPortInfo &p : ports)
        if (p.kind == TPortKind::Usb && p.vid == id.vid && p.pid == id.pid && p.iface == id.iface &&
            p.serial == id.serial)
            alike.push_back(&p);
    if (alike.size() > 1 && id.serial.empty()) {
        // Identical adapters without a serial number: only the socket tells them apart.
        std::vector<const TPortInfo *> there;
        for (const TPortInfo *p : alike)
            if (p->location == id.location)
                there.push_back(p);
        if (there.size() == 1)
            alike = there;
    }
    if (alike.size() == 1) {
        f.what = TFollow::Moved;
        f.to = alike[0]->name;
    } else if (alike.size() > 1) {
        f.what = TFollow::Ambiguous;
        for (const TPortInfo *p : alike)
            f.candidates.push_back(p->name);
    }
    return f;
}

std::string FollowLine(const TAdapterIdentity &id, const TFollow &f)
{
    const std::string product = id.product.empty() ? "USB-адаптер" : id.product;
    switch (f.what) {
    case TFollow::Moved:
        return "адаптер " + product + " теперь " + f.to + ", был " + f.from;
    case TFollow::Ambiguous:
        return "адаптер " + product + " (был " + f.from + ") не выбран: одинаковые адаптеры без серийного номера на " +
               Join(f.candidates, ", ") + ", ни один не в прежнем гнезде USB";
    case TFollow::Stay:
        break;
    }
    return {};
}

// ---------------------------------------------------------------- the engine's part

TAdapters::TAdapters(IMainView &view, TLog log) : FView(view), FLog(std::move(log)) {}

TAdapters::~TAdapters() = default;

void TAdapters::Start(std::function<void()> changed)
{
    if (const auto line = ReadLastLine(AdapterFilePath()))
        FRemembered = ParseIdentityLine(*line);
    FPorts = ListPortInfo();
    if (changed && !FMonitor)
        FMonitor = std::make_unique<TPortMonitor>(std::move(changed));
}

void TAdapters::Listed(const std::vector<std::string> &names)
{
    FListed = names;
    FListShown = true;
    FPorts = ListPortInfo();
    // Ports the scanner has no COM name for (Bluetooth rfcomm) by their path.
    for (const TPortInfo &p : FPorts)
        if (p.name == p.device && std::find(FListed.begin(), FListed.end(), p.name) == FListed.end())
            FListed.push_back(p.name);
    ShowList();
    ShowHint();
}

void TAdapters::ShowList()
{
    FView.ClearPortList();
    for (const std::string &name : FListed) {
        FView.AddPortItem(name);
        if (const TPortInfo *p = FindPortInfo(FPorts, name))
            FView.SetPortItemNote(name, PortNote(*p));
    }
}

std::vector<TPortInfo> TAdapters::Changed()
{
    std::vector<TPortInfo> now = ListPortInfo();
    const TPortDiff d = DiffPorts(FPorts, now);
    FPorts = std::move(now);
    for (const TPortInfo &p : d.removed)
        FLog(lkPort, UnpluggedLine(p));
    for (const TPortInfo &p : d.added)
        FLog(lkPort, PluggedLine(p));
    if (FListShown && (!d.added.empty() || !d.removed.empty())) {
        for (const TPortInfo &p : d.removed)
            if (!FindPortInfo(FPorts, p.name))
                FListed.erase(std::remove(FListed.begin(), FListed.end(), p.name), FListed.end());
        for (const TPortInfo &p : d.added)
            if (std::find(FListed.begin(), FListed.end(), p.name) == FListed.end())
                FListed.push_back(p.name);
        // In the scanner's order: COM names by number, then paths.
        std::vector<std::string> ordered;
        for (const TPortInfo &p : FPorts)
            if (std::find(FListed.begin(), FListed.end(), p.name) != FListed.end())
                ordered.push_back(p.name);
        for (const std::string &name : FListed)
            if (std::find(ordered.begin(), ordered.end(), name) == ordered.end())
                ordered.push_back(name); // listed by the scanner, not enumerated: kept
        FListed = std::move(ordered);
        ShowList();
    }
    for (const TPortInfo &p : d.added)
        FJustPlugged.emplace_back(p.name, TakenLooks);
    LookWhoTook();
    if (!d.added.empty())
        Follow();
    ShowHint();
    return d.added;
}

void TAdapters::LookWhoTook()
{
#ifndef _WIN32
    for (auto it = FJustPlugged.begin(); it != FJustPlugged.end();) {
        const TOpenFailure f = FindPortInfo(FPorts, it->first) ? ExplainOpenFailure(it->first) : TOpenFailure{};
        const bool taken = f.holderPid > 0 && (f.holderName == "ModemManager" || f.holderName == "brltty");
        if (taken)
            FLog(lkError, PortFailureText(f));
        if (taken || --it->second <= 0 || !FindPortInfo(FPorts, it->first))
            it = FJustPlugged.erase(it);
        else
            ++it;
    }
    if (!FJustPlugged.empty() && FMonitor)
        FMonitor->Remind(TakenLookMs);
#else
    FJustPlugged.clear(); // the busy cause names no program there
#endif
}

void TAdapters::Opened(const std::string &name)
{
    // Opened before any notice of it: looked up afresh, the diff left to the notice.
    const std::vector<TPortInfo> fresh = FindPortInfo(FPorts, name) ? std::vector<TPortInfo>() : ListPortInfo();
    const TPortInfo *p = FindPortInfo(fresh.empty() ? FPorts : fresh, name);
    const auto id = p ? IdentityOf(*p) : std::nullopt;
    if (!id || id == FRemembered)
        return;
    FRemembered = id;
    // Only where the settings live: the Work folder is never created.
    std::error_code ec;
    const std::filesystem::path file(AdapterFilePath());
    if (std::filesystem::is_directory(file.parent_path(), ec))
        WriteSettingsLine(file.string(), IdentityLine(*id));
}

bool TAdapters::Follow()
{
    if (!FRemembered)
        return false;
    const TFollow f = FollowAdapter(*FRemembered, FPorts, FView.Text(TViewText::cbRSname));
    if (f.what == TFollow::Stay)
        return false;
    FLog(lkPort, FollowLine(*FRemembered, f));
    if (f.what != TFollow::Moved)
        return false;
    FView.SetText(TViewText::cbRSname, f.to);
    return true;
}

void TAdapters::ShowHint()
{
    const TPortInfo *p = FindPortInfo(FPorts, FView.Text(TViewText::cbRSname));
    FView.SetHint(TViewText::cbRSname, p ? PortHint(*p) : std::string());
}

bool TAdapters::Present(const std::string &nameOrPath) const { return FindPortInfo(FPorts, nameOrPath) != nullptr; }
