#include "Sequences.h"

#include <algorithm>
#include <optional>

#include "Commands.h"
#include "LogHelpers.h"
#include "MainView.h"
#include "Str_UtRx.h"

namespace {

std::string PlugWaitLine(const std::string &port)
{
    return "порт " + port + " не подключен: ожидание подключения адаптера";
}

constexpr int ReadAllSteps[] = {acInfo, acRdSpeedIO, acRdSpeedRS, acRdSpeedPrn, acRdAdrModBus, acRdKLV707};
// The five writes, then the same parameters read back in the same order.
constexpr int WriteAllSteps[] = {acWrSpeedIO,  acWrSpeedRS,   acWrSpeedPrn, acWrAdrModBus, acWrKLV707,
                                 acRdSpeedIO, acRdSpeedRS,   acRdSpeedPrn, acRdAdrModBus, acRdKLV707};
constexpr std::size_t WriteCount = 5;

const char *const TextWait = "ожидание ответа \"Vexo\"";
const char *const TextReadAll = "чтение всех параметров \"Vexo\"";
const char *const TextWriteAll = "запись всех параметров \"Vexo\" с проверкой";
const char *const TextCompare = "сравнение параметров с \"Vexo\"";

const char *SequenceTitle(TSequenceKind kind)
{
    switch (kind) {
    case TSequenceKind::Wait: return TextWait;
    case TSequenceKind::ReadAll: return TextReadAll;
    case TSequenceKind::WriteAll: return TextWriteAll;
    case TSequenceKind::Compare: return TextCompare;
    case TSequenceKind::None: break;
    }
    return "";
}

std::string_view ButtonOf(TSequenceKind kind)
{
    switch (kind) {
    case TSequenceKind::ReadAll: return TViewText::TB_ReadAll;
    case TSequenceKind::WriteAll: return TViewText::TB_WriteAll;
    case TSequenceKind::Compare: return TViewText::bCompare;
    default: return TViewText::TB_Wait;
    }
}

// The parameter a read or write command touches, as the summaries name it.
std::string ParameterName(int cmd)
{
    return std::string(Catalogue[cmd].parameter);
}

std::optional<std::int64_t> Integer(const std::string &text)
{
    if (!IsIntText(text))
        return std::nullopt;
    try {
        return IntTextValue(text);
    } catch (...) {
        return std::nullopt; // "5-", "--": characters pass, no number
    }
}

// The value a read brought, as it goes into its box; nullopt when the
// reply holds none.
std::optional<std::string> ReadValue(int cmd, const std::string &reply)
{
    switch (Catalogue[cmd].rule) {
    case TReplyRule::AsIs:
        if (reply.empty())
            return std::nullopt;
        return reply;
    case TReplyRule::Speed: {
        const std::string speed = CodeToSpeed(reply);
        if (speed.empty() || speed == "брак ответа")
            return std::nullopt;
        return speed;
    }
    case TReplyRule::Number: {
        const auto v = Integer(reply);
        if (!v || *v < 1 || *v > 250)
            return std::nullopt;
        return std::to_string(*v);
    }
    default:
        if (reply == "0" || reply == "1")
            return reply;
        return std::nullopt;
    }
}

// "03.17" anywhere in the module's version line -> 3017; nullopt without one.
std::optional<int> FirmwareVersion(const std::string &line)
{
    for (std::size_t i = 0; i < line.size(); ++i) {
        std::size_t j = i;
        int major = 0, minor = 0, digits = 0;
        while (j < line.size() && line[j] >= '0' && line[j] <= '9' && digits < 4)
            major = major * 10 + (line[j++] - '0'), ++digits;
        if (digits == 0 || j >= line.size() || line[j] != '.')
            continue;
        ++j;
        int minorDigits = 0;
        while (j < line.size() && line[j] >= '0' && line[j] <= '9' && minorDigits < 4)
            minor = minor * 10 + (line[j++] - '0'), ++minorDigits;
        if (minorDigits > 0)
            return major * 1000 + minor;
    }
    return std::nullopt;
}

std::string Joined(const std::vector<std::string> &items)
{
    std::string out;
    for (const auto &item : items)
        out += (out.empty() ? "" : ", ") + item;
    return out;
}

void AddPart(std::string &summary, const char *title, const std::vector<std::string> &items)
{
    if (items.empty())
        return;
    summary += summary.back() == ':' ? " " : "; ";
    summary += std::string(title) + " - " + Joined(items);
}

} // namespace

TSequences::TSequences(ISequenceHost &host) : FHost(host) {}

void TSequences::Press(TSequenceKind kind)
{
    if (FKind == kind) {
        Interrupt();
        return;
    }
    Interrupt();
    Start(kind);
}

void TSequences::Interrupt()
{
    if (FKind == TSequenceKind::None)
        return;
    std::string line = std::string(SequenceTitle(FKind)) + " прервано";
    if (FKind == TSequenceKind::Wait)
        line += ", попыток: " + std::to_string(FAttempts);
    else
        line += ", выполнено шагов: " + std::to_string(FAt) + " из " + std::to_string(FSteps.size());
    Stop();
    FHost.Log(lkError, line);
}

void TSequences::Stop()
{
    const TSequenceKind was = FKind;
    FKind = TSequenceKind::None;
    FSteps.clear();
    FAt = 0;
    FAwaitingPlug = false;
    if (was != TSequenceKind::None)
        FHost.SetButtonDown(ButtonOf(was), false);
}

void TSequences::Start(TSequenceKind kind)
{
    FSteps.clear();
    FAt = 0;
    FAttempts = 0;
    if (kind == TSequenceKind::Wait) {
        FSteps.push_back({acInfo, false, {}});
        if (AwaitPlug()) {
            FKind = kind;
            FHost.SetButtonDown(ButtonOf(kind), true);
            FHost.Log(lkCommand, std::string(TextWait) + ": \"ATI0\" повторяется до первого ответа");
            FHost.Log(lkPort, PlugWaitLine(FHost.Text(TViewText::cbRSname)));
            return;
        }
        // The port opens first, as for a press: its failure is logged there.
        if (!FHost.OpenPort())
            return;
    } else if (kind == TSequenceKind::ReadAll || kind == TSequenceKind::Compare) {
        for (int cmd : ReadAllSteps)
            FSteps.push_back({cmd, false, {}});
    } else {
        for (int cmd : WriteAllSteps)
            FSteps.push_back({cmd, false, {}});
        // What the five writes send, read from the boxes as their buttons read them.
        FWritten.clear();
        for (std::size_t i = 0; i < WriteCount; ++i)
            FWritten.push_back(ReadParameter(Catalogue[WriteAllSteps[i]], FHost).sent);
    }
    if (kind != TSequenceKind::Compare && kind != TSequenceKind::WriteAll)
        FSource = {};
    if (kind == TSequenceKind::Compare) {
        // The boxes as they stand now, shown as the reads' values are.
        FWritten.clear();
        for (int read : ReadAllSteps)
            if (const TCommand &r = Catalogue[read]; !r.box.empty())
                FWritten.push_back(r.rule == TReplyRule::Flag ? (FHost.Checked(r.box) ? "1" : "0")
                                                              : DelSpaces(FHost.Text(r.box)));
    }
    FKind = kind;
    FHost.SetButtonDown(ButtonOf(kind), true);
    FHost.Log(lkCommand, kind == TSequenceKind::Wait
                                    ? std::string(TextWait) + ": \"ATI0\" повторяется до первого ответа"
                                    : std::string(SequenceTitle(kind)) + FromFile());
    if (kind == TSequenceKind::WriteAll)
        WarnOfSource();
    Issue(FSteps[0].cmd);
}

bool TSequences::Issue(int cmd)
{
    const bool quiet = FKind == TSequenceKind::Wait;
    if (quiet)
        ++FAttempts;
    bool sent;
    try {
        sent = FHost.Issue(cmd, quiet);
    } catch (...) {
        Interrupt();
        throw;
    }
    // Nothing went out (the port would not open, vanished, took nothing):
    // no verdict will come to move on, unless the wait's adapter was pulled out.
    if (!sent && FKind == TSequenceKind::Wait && AwaitPlug()) {
        FHost.Log(lkPort, PlugWaitLine(FHost.Text(TViewText::cbRSname)));
        return false;
    }
    if (!sent) {
        Interrupt();
        return false;
    }
    return true;
}

void TSequences::Verdict(int cmd, bool answered, const std::string &reply)
{
    if (FKind == TSequenceKind::None || FAt >= FSteps.size() || FSteps[FAt].cmd != cmd)
        return;
    if (FKind == TSequenceKind::Wait) {
        if (!answered) {
            Issue(acInfo);
            return;
        }
        const int attempts = FAttempts;
        Stop();
        FHost.Log(lkGood, std::string(TextWait) + " окончено: ответ на попытку " + std::to_string(attempts));
        return;
    }
    TStep &step = FSteps[FAt];
    step.answered = answered;
    step.reply = reply;
    if (FKind == TSequenceKind::ReadAll && answered)
        PutIntoBox(step);
    ++FAt;
    NextOrFinish();
}

void TSequences::NextOrFinish()
{
    if (FAt < FSteps.size()) {
        Issue(FSteps[FAt].cmd);
        return;
    }
    if (FKind == TSequenceKind::ReadAll)
        FinishReadAll();
    else if (FKind == TSequenceKind::Compare)
        FinishCompare();
    else
        FinishWriteAll();
}

void TSequences::PutIntoBox(const TStep &step)
{
    const auto value = ReadValue(step.cmd, step.reply);
    if (!value)
        return;
    const TCommand &read = Catalogue[step.cmd];
    if (read.box.empty())
        return;
    if (read.rule == TReplyRule::Flag)
        FHost.SetChecked(read.box, *value == "1");
    else
        FHost.SetText(read.box, *value);
}

namespace {

// Which of the failed parameters this unit simply lacks: every
// computer-only one when it answered, but with no value, for each of those
// that every firmware has (no "Тетрамакс"); else the ones its firmware is
// too old for, when it refused them.
struct TAbsence {
    bool noComputer = false;
    int oldFirmware = 0; // the firmware the lacking ones came with; 0: none lacking
    std::vector<int> tooNew; // reads refused for the firmware's age
    bool Lacks(int readCmd) const
    {
        return (noComputer && Catalogue[readCmd].computer) ||
               std::find(tooNew.begin(), tooNew.end(), readCmd) != tooNew.end();
    }
};

// `refused(readCmd)`: the unit answered that parameter's request(s), without
// a value. `reads`: the sequence's reads.
template <typename Refused>
TAbsence AbsenceOf(Refused refused, const std::vector<int> &reads, const std::string &moduleLine)
{
    TAbsence a;
    bool any = false, all = true;
    for (int cmd : reads)
        if (Catalogue[cmd].computer && Catalogue[cmd].sinceVersion == 0) {
            any = true;
            all = all && refused(cmd);
        }
    a.noComputer = any && all;
    if (a.noComputer)
        return a;
    const auto version = FirmwareVersion(moduleLine);
    for (int cmd : reads)
        if (const int since = Catalogue[cmd].sinceVersion; since && version && *version < since && refused(cmd)) {
            a.tooNew.push_back(cmd);
            a.oldFirmware = since;
        }
    return a;
}

// "03.17" for 3017.
std::string VersionText(int version)
{
    const auto two = [](int n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
    return two(version / 1000) + "." + two(version % 1000);
}

void AddAbsence(std::string &summary, const TAbsence &a, const std::vector<std::string> &lacking)
{
    if (a.noComputer)
        AddPart(summary, "нет у Vexo без \"Тетрамакс\"", lacking);
    else if (a.oldFirmware)
        AddPart(summary, ("нет у Vexo версий до " + VersionText(a.oldFirmware)).c_str(), lacking);
}

std::vector<int> CommandsOf(const auto &steps, std::size_t from = 0)
{
    std::vector<int> cmds;
    for (std::size_t i = from; i < steps.size(); ++i)
        cmds.push_back(steps[i].cmd);
    return cmds;
}

// The step of read `cmd` among the six reads (the first when it is missing).
const auto &StepOf(const auto &steps, int cmd)
{
    for (const auto &s : steps)
        if (s.cmd == cmd)
            return s;
    return steps.front();
}

// What the unit lacks, by the six reads' answers.
TAbsence ReadsAbsence(const auto &steps, const std::string &moduleLine)
{
    return AbsenceOf(
        [&](int cmd) {
            const auto &s = StepOf(steps, cmd);
            return s.answered && !ReadValue(cmd, s.reply);
        },
        CommandsOf(steps), moduleLine);
}

// Whether the reads found the computer-only parameters: Absent when the unit
// lacks the computer, Present when every one of them came back.
TUnitParams UnitOf(const TAbsence &absence, const auto &answeredWithValue)
{
    if (absence.noComputer)
        return TUnitParams::Absent;
    for (int cmd : ReadAllSteps)
        if (Catalogue[cmd].computer && Catalogue[cmd].sinceVersion == 0 && !answeredWithValue(cmd))
            return TUnitParams::Unknown;
    return TUnitParams::Present;
}

} // namespace

void TSequences::FinishReadAll()
{
    const std::vector<TStep> steps = std::move(FSteps);
    Stop();
    const TAbsence absence = ReadsAbsence(steps, FHost.ModuleLine());
    std::vector<std::string> read, notRead, lacking;
    for (const auto &s : steps) {
        if (s.answered && ReadValue(s.cmd, s.reply))
            read.push_back(ParameterName(s.cmd));
        else if (absence.Lacks(s.cmd) && s.answered)
            lacking.push_back(ParameterName(s.cmd));
        else
            notRead.push_back(ParameterName(s.cmd) + (s.answered ? " (брак ответа)" : " (нет ответа)"));
    }
    if (const TUnitParams unit = UnitOf(absence, [&](int cmd) {
            const TStep &s = StepOf(steps, cmd);
            return s.answered && ReadValue(cmd, s.reply).has_value();
        });
        unit != TUnitParams::Unknown)
        FUnit = unit;
    std::string summary = std::string(TextReadAll) + ':';
    AddPart(summary, "прочитано", read);
    AddPart(summary, "не прочитано", notRead);
    AddAbsence(summary, absence, lacking);
    FHost.Log(notRead.empty() ? lkGood : lkError, summary);
}

void TSequences::FinishWriteAll()
{
    const std::vector<TStep> steps = std::move(FSteps);
    Stop();
    const std::string moduleLine = FHost.ModuleLine();
    // Written and read back, pair by pair.
    auto writeOf = [&](std::size_t i) -> const TStep & { return steps[i]; };
    auto readOf = [&](std::size_t i) -> const TStep & { return steps[i + WriteCount]; };
    auto indexOf = [&](int readCmd) {
        for (std::size_t i = 0; i < WriteCount; ++i)
            if (readOf(i).cmd == readCmd)
                return i;
        return std::size_t(0);
    };
    const TAbsence absence = AbsenceOf(
        [&](int readCmd) {
            const std::size_t i = indexOf(readCmd);
            return writeOf(i).answered && writeOf(i).reply != "OK" && readOf(i).answered &&
                   !ReadValue(readCmd, readOf(i).reply);
        },
        CommandsOf(steps, WriteCount), moduleLine);
    std::vector<std::string> same, differs, silent, refused, lacking;
    for (std::size_t i = 0; i < WriteCount; ++i) {
        const TStep &w = writeOf(i), &r = readOf(i);
        const std::string name = ParameterName(r.cmd);
        if (absence.Lacks(r.cmd) && w.answered && r.answered && w.reply != "OK") {
            lacking.push_back(name);
            continue;
        }
        if (!w.answered || !r.answered) {
            silent.push_back(name);
            continue;
        }
        if (w.reply != "OK") {
            refused.push_back(name);
            continue;
        }
        std::string written = FWritten[i], got = r.reply;
        bool equal;
        switch (Catalogue[r.cmd].rule) {
        case TReplyRule::Speed:
            written = CodeToSpeed(written);
            got = CodeToSpeed(r.reply);
            equal = got == written;
            break;
        case TReplyRule::Number: {
            const auto a = Integer(written), b = Integer(r.reply);
            equal = a && b && *a == *b;
            break;
        }
        default:
            equal = r.reply == written;
            break;
        }
        if (equal)
            same.push_back(name);
        else
            differs.push_back(name + " (записано " + written + ", прочитано " + got + ")");
    }
    if (const TUnitParams unit = UnitOf(absence, [&](int readCmd) { return writeOf(indexOf(readCmd)).reply == "OK"; });
        unit != TUnitParams::Unknown)
        FUnit = unit;
    std::string summary = std::string(TextWriteAll) + FromFile() + ':';
    AddPart(summary, "совпадает", same);
    AddPart(summary, "не совпадает", differs);
    AddPart(summary, "нет ответа", silent);
    AddPart(summary, "запись брак", refused);
    AddAbsence(summary, absence, lacking);
    FHost.Log(differs.empty() && silent.empty() && refused.empty() ? lkGood : lkError, summary);
}

std::string TSequences::FromFile() const
{
    return FSource.path.empty() ? "" : " из файла \"" + FSource.path + '"';
}

void TSequences::FinishCompare()
{
    const std::vector<TStep> steps = std::move(FSteps);
    Stop();
    const TAbsence absence = ReadsAbsence(steps, FHost.ModuleLine());
    std::vector<std::string> same, differs, notRead, lacking;
    std::size_t box = 0;
    for (int cmd : ReadAllSteps) {
        if (Catalogue[cmd].box.empty())
            continue;
        const TStep &s = StepOf(steps, cmd);
        const std::string name = ParameterName(cmd), shown = FWritten[box++];
        const auto value = s.answered ? ReadValue(cmd, s.reply) : std::nullopt;
        if (!value) {
            if (absence.Lacks(cmd) && s.answered)
                lacking.push_back(name);
            else
                notRead.push_back(name + (s.answered ? " (брак ответа)" : " (нет ответа)"));
            continue;
        }
        const bool flag = Catalogue[cmd].rule == TReplyRule::Flag;
        const auto a = Integer(shown), b = Integer(*value);
        const bool equal = Catalogue[cmd].rule == TReplyRule::Number ? a && b && *a == *b : shown == *value;
        const auto look = [&](const std::string &v) { return flag ? std::string(v == "1" ? "вкл" : "выкл") : v; };
        if (equal)
            same.push_back(name + ' ' + look(*value));
        else
            differs.push_back(name + " (в окне " + look(shown) + ", в Vexo " + look(*value) + ')');
    }
    std::string summary = std::string(TextCompare) + FromFile() + ':';
    AddPart(summary, "совпадает", same);
    AddPart(summary, "отличается", differs);
    AddPart(summary, "не прочитано", notRead);
    AddAbsence(summary, absence, lacking);
    FHost.Log(differs.empty() && notRead.empty() ? lkGood : lkError, summary);
}

void TSequences::WarnOfSource()
{
    if (FSource.path.empty())
        return;
    const std::string file = "файл \"" + FSource.path + '"';
    if (FSource.unit == TUnitParams::Present && FUnit == TUnitParams::Absent)
        FHost.Log(lkError, file + " сохранён с Vexo с вычислителем \"Тетрамакс\", у этого Vexo его нет: "
                                  "скорость принтера, адрес \"ModBus\" и флаг \"КЛВ-707\" не применимы");
    const auto version = FirmwareVersion(FHost.ModuleLine());
    const int since = Catalogue[acWrKLV707].sinceVersion;
    if (FSource.klv707 && FUnit != TUnitParams::Absent && version && since && *version < since)
        FHost.Log(lkError, file + ": флаг \"КЛВ-707\" включён, у Vexo версий до " + VersionText(since) +
                               " его нет (этот Vexo: " + FHost.ModuleLine() + "): флаг не применим");
}

// ---------------------------------------------------------------- the wait through a plug

bool TSequences::AwaitPlug()
{
    FAwaitingPlug = FHost.PortAwaited();
    return FAwaitingPlug;
}

void TSequences::PortsAppeared()
{
    if (FKind != TSequenceKind::Wait || !FAwaitingPlug)
        return;
    // The adapter may have come under its new name: the box has followed it.
    if (FHost.PortAwaited())
        return;
    FAwaitingPlug = false;
    Issue(acInfo);
}
