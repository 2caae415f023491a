#include "Profile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "Forms.h"
#include "MainView.h"
#include "WorkFile.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view FormatValue = "AT_Vexo 1";

enum class TKey { Format, Program, Saved, Module, Unit, IoSpeed, RsSpeed, PrinterSpeed, Address, Klv707 };

struct TKeyRow {
    TKey key;
    std::string_view name;
    std::string_view comment; // written above the line; empty: none
    std::string_view box{};   // the box the value goes into
};

// The file's keys in their written order.
constexpr TKeyRow Keys[] = {
    {TKey::Format, "format", ""},
    {TKey::Program, "program", ""},
    {TKey::Saved, "saved", ""},
    {TKey::Module, "module", "ответ Vexo на \"ATI0\" (пусто: ответа не было)"},
    {TKey::Unit, "params_4_8_9", "параметры 4, 8 и 9 у Vexo: 1 - были, 0 - не было, ? - неизвестно"},
    {TKey::IoSpeed, "io_speed", "скорость порта \"I/O\"", TViewText::cbSpeed_Cor},
    {TKey::RsSpeed, "rs232_speed", "скорость порта \"RS232\"", TViewText::cbSpeed_SeA},
    {TKey::PrinterSpeed, "printer_speed", "скорость порта \"RS232\" для принтера", TViewText::cbSpeed_SeA_Prn},
    {TKey::Address, "modbus_address", "адрес \"ModBus\"", TViewText::seAdrModBus},
    {TKey::Klv707, "klv707", "флаг работы с \"КЛВ-707\": 1 - вкл, 0 - выкл", TViewText::chKLV707},
};

const char *const FileHead[] = {
    "# параметры Vexo, ПО \"AT_Vexo\"",
    "# одна строка \"ключ = значение\"; строка, начатая с #, - комментарий",
};

// How the summaries name each value.
std::string_view ValueName(TKey key)
{
    switch (key) {
    case TKey::IoSpeed: return "скорость \"I/O\"";
    case TKey::RsSpeed: return "скорость \"RS232\"";
    case TKey::PrinterSpeed: return "скорость принтера";
    case TKey::Address: return "адрес \"ModBus\"";
    default: return "флаг \"КЛВ-707\"";
    }
}

const forms::TControl &Box(std::string_view name)
{
    static const forms::TControl none{};
    const forms::TControl *c = forms::Find(forms::MainForm, name);
    return c ? *c : none;
}

std::string Quoted(std::string_view s) { return '"' + std::string(s) + '"'; }

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Well-formed UTF-8 without overlongs or surrogates.
bool IsUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        int n = 0;
        unsigned min = 0, cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            n = 1, min = 0x80, cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            n = 2, min = 0x800, cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            n = 3, min = 0x10000, cp = b & 0x07;
        } else {
            return false;
        }
        if (s.size() - i <= std::size_t(n))
            return false;
        for (int k = 1; k <= n; ++k) {
            const auto c = static_cast<unsigned char>(s[i + std::size_t(k)]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += std::size_t(n) + 1;
    }
    return true;
}

// A value for `key`, checked; the fault's text, or "" when it is good.
std::string CheckValue(TKey key, std::string_view value, TProfile &into)
{
    switch (key) {
    case TKey::Format:
        if (value != FormatValue)
            return "неизвестный формат " + Quoted(value) + ", ожидается " + Quoted(FormatValue);
        return {};
    case TKey::Program: into.program = value; return {};
    case TKey::Saved: into.saved = value; return {};
    case TKey::Module: into.moduleLine = value; return {};
    case TKey::Unit:
        if (value == "1")
            into.unit = TUnitParams::Present;
        else if (value == "0")
            into.unit = TUnitParams::Absent;
        else if (value == "?")
            into.unit = TUnitParams::Unknown;
        else
            return "params_4_8_9 " + Quoted(value) + ": ожидается 1, 0 или ?";
        return {};
    case TKey::IoSpeed:
    case TKey::RsSpeed:
    case TKey::PrinterSpeed: {
        const auto &row = *std::find_if(std::begin(Keys), std::end(Keys), [&](const TKeyRow &r) { return r.key == key; });
        const auto items = Box(row.box).items;
        if (std::find(items.begin(), items.end(), value) == items.end()) {
            std::string list;
            for (auto item : items)
                list += (list.empty() ? "" : ", ") + std::string(item);
            return std::string(ValueName(key)) + ' ' + Quoted(value) + " не из списка (" + list + ')';
        }
        std::string &to = key == TKey::IoSpeed ? into.values.ioSpeed
                          : key == TKey::RsSpeed ? into.values.rsSpeed
                                                 : into.values.printerSpeed;
        to = value;
        return {};
    }
    case TKey::Address: {
        const forms::TControl &spin = Box(TViewText::seAdrModBus);
        int v = 0;
        bool digits = !value.empty() && value.size() <= 4;
        for (char c : value)
            digits = digits && c >= '0' && c <= '9';
        if (digits)
            for (char c : value)
                v = v * 10 + (c - '0');
        if (!digits || v < spin.min || v > spin.max)
            return std::string(ValueName(key)) + ' ' + Quoted(value) + ": ожидается число от " +
                   std::to_string(spin.min) + " до " + std::to_string(spin.max);
        into.values.address = v;
        return {};
    }
    case TKey::Klv707:
        if (value != "0" && value != "1")
            return std::string(ValueName(key)) + ' ' + Quoted(value) + ": ожидается 0 или 1";
        into.values.klv707 = value == "1";
        return {};
    }
    return {};
}

// Head texts stay on their line (a tab is read as it stands).
std::string OneLine(std::string_view s)
{
    std::string out;
    for (char c : s)
        out.push_back(static_cast<unsigned char>(c) < 0x20 && c != '\t' ? ' ' : c);
    return std::string(Trimmed(out));
}

TProfileRead Fault(int line, std::string what) { return {std::nullopt, {line, std::move(what)}}; }

} // namespace

std::string ProfileText(const TProfile &p)
{
    std::string out;
    for (const char *line : FileHead)
        out += std::string(line) + "\r\n";
    for (const TKeyRow &row : Keys) {
        if (!row.comment.empty()) {
            out += "# " + std::string(row.comment);
            if (row.key == TKey::Address)
                out += " (" + std::to_string(Box(row.box).min) + " - " + std::to_string(Box(row.box).max) + ')';
            out += "\r\n";
        }
        std::string value;
        switch (row.key) {
        case TKey::Format: value = FormatValue; break;
        case TKey::Program: value = OneLine(p.program); break;
        case TKey::Saved: value = OneLine(p.saved); break;
        case TKey::Module: value = OneLine(p.moduleLine); break;
        case TKey::Unit:
            value = p.unit == TUnitParams::Present ? "1" : p.unit == TUnitParams::Absent ? "0" : "?";
            break;
        case TKey::IoSpeed: value = p.values.ioSpeed; break;
        case TKey::RsSpeed: value = p.values.rsSpeed; break;
        case TKey::PrinterSpeed: value = p.values.printerSpeed; break;
        case TKey::Address: value = std::to_string(p.values.address); break;
        case TKey::Klv707: value = p.values.klv707 ? "1" : "0"; break;
        }
        out += std::string(row.name) + " = " + value + "\r\n";
    }
    return out;
}

TProfileRead ParseProfile(std::string_view bytes)
{
    if (bytes.size() > MaxProfileBytes)
        return Fault(0, "файл больше " + std::to_string(MaxProfileBytes / 1024) + " КБ, это не файл параметров");
    if (bytes.starts_with("\xEF\xBB\xBF")) // Notepad's mark of UTF-8
        bytes.remove_prefix(3);
    TProfile p;
    int seenAt[std::size(Keys)] = {};
    bool formatSeen = false;
    int lineNo = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string_view::npos)
            end = bytes.size();
        const std::string_view raw = bytes.substr(at, end - at);
        // CR LF, LF or a lone CR ends a line
        at = end + (end < bytes.size() ? 1 : 0);
        if (end < bytes.size() && bytes[end] == '\r' && at < bytes.size() && bytes[at] == '\n')
            ++at;
        ++lineNo;
        if (!IsUtf8(raw))
            return Fault(lineNo, "не текст UTF-8");
        if (std::any_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; }))
            return Fault(lineNo, "управляющий символ в строке");
        const std::string_view line = Trimmed(raw);
        if (line.empty() || line.front() == '#')
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            return Fault(lineNo, formatSeen ? "нет знака \"=\"" : "это не файл параметров \"AT_Vexo\"");
        const std::string_view key = Trimmed(line.substr(0, eq)), value = Trimmed(line.substr(eq + 1));
        const auto row = std::find_if(std::begin(Keys), std::end(Keys), [&](const TKeyRow &r) { return r.name == key; });
        if (!formatSeen && (row == std::end(Keys) || row->key != TKey::Format))
            return Fault(lineNo, "это не файл параметров \"AT_Vexo\" (первый ключ не format)");
        if (row == std::end(Keys))
            return Fault(lineNo, "неизвестный ключ " + Quoted(key));
        int &first = seenAt[row - std::begin(Keys)];
        if (first)
            return Fault(lineNo, "ключ " + Quoted(key) + " повторяется (уже в строке " + std::to_string(first) + ')');
        first = lineNo;
        if (std::string what = CheckValue(row->key, value, p); !what.empty())
            return Fault(lineNo, what);
        formatSeen = true;
    }
    if (!formatSeen)
        return Fault(0, "это не файл параметров \"AT_Vexo\" (нет ключа format)");
    for (std::size_t i = 0; i < std::size(Keys); ++i)
        if (!seenAt[i] && !Keys[i].box.empty())
            return Fault(0, "нет ключа " + Quoted(Keys[i].name));
    return {std::move(p), {}};
}

TProfileRead ReadProfileFile(const std::string &path)
{
    try {
        const fs::path p(std::u8string(path.begin(), path.end()));
        std::error_code ec;
        const auto st = fs::status(p, ec);
        if (!fs::exists(st))
            return Fault(0, "файла нет");
        if (!fs::is_regular_file(st))
            return Fault(0, "это не файл");
        const auto size = fs::file_size(p, ec);
        if (!ec && size > MaxProfileBytes)
            return Fault(0, "файл больше " + std::to_string(MaxProfileBytes / 1024) + " КБ, это не файл параметров");
#ifdef _WIN32
        std::FILE *f = _wfopen(p.c_str(), L"rb");
#else
        std::FILE *f = std::fopen(p.c_str(), "rbe");
#endif
        if (!f)
            return Fault(0, "файл не открывается");
        // One byte past the limit is enough to know it is too large.
        std::string bytes(MaxProfileBytes + 1, '\0');
        const std::size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
        const bool failed = std::ferror(f) != 0;
        std::fclose(f);
        if (failed)
            return Fault(0, "ошибка чтения файла");
        bytes.resize(n);
        return ParseProfile(bytes);
    } catch (...) {
        return Fault(0, "файл не открывается");
    }
}

bool WriteProfileFile(const std::string &path, const TProfile &profile)
{
    try {
        return ReplaceWholeFile(path, ProfileText(profile));
    } catch (...) {
        return false;
    }
}

TBoxValues ReadBoxValues(const IMainView &view)
{
    TProfile p;
    for (const TKeyRow &row : Keys) {
        if (row.box.empty())
            continue;
        const std::string value = row.key == TKey::Klv707 ? (view.Checked(row.box) ? "1" : "0")
                                                          : std::string(Trimmed(view.Text(row.box)));
        if (std::string what = CheckValue(row.key, value, p); !what.empty())
            return {std::nullopt, what};
    }
    return {p.values, {}};
}

void PutBoxValues(IMainView &view, const TProfileValues &v)
{
    view.SetText(TViewText::cbSpeed_Cor, v.ioSpeed);
    view.SetText(TViewText::cbSpeed_SeA, v.rsSpeed);
    view.SetText(TViewText::cbSpeed_SeA_Prn, v.printerSpeed);
    view.SetText(TViewText::seAdrModBus, std::to_string(v.address));
    view.SetChecked(TViewText::chKLV707, v.klv707);
}

std::string DescribeValues(const TProfileValues &v)
{
    return std::string(ValueName(TKey::IoSpeed)) + ' ' + v.ioSpeed + ", " + std::string(ValueName(TKey::RsSpeed)) +
           ' ' + v.rsSpeed + ", " + std::string(ValueName(TKey::PrinterSpeed)) + ' ' + v.printerSpeed + ", " +
           std::string(ValueName(TKey::Address)) + ' ' + std::to_string(v.address) + ", " +
           std::string(ValueName(TKey::Klv707)) + (v.klv707 ? " вкл" : " выкл");
}
