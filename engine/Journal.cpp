#include "Journal.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "LogHelpers.h"

namespace fs = std::filesystem;

namespace {

fs::path PathOf(const std::string &utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::FILE *OpenFile(const std::string &utf8, const char *mode)
{
#ifdef _WIN32
    const std::wstring wmode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(PathOf(utf8).c_str(), wmode.c_str());
#else
    return std::fopen(utf8.c_str(), (std::string(mode) + "e").c_str()); // close-on-exec
#endif
}

std::string TwoDigits(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

std::string HtmlEscaped(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c; break;
        }
    }
    return out;
}

std::string HexColour(TColour c)
{
    static const char digits[] = "0123456789abcdef";
    std::string s = "#";
    for (unsigned char v : {c.r, c.g, c.b}) {
        s += digits[v >> 4];
        s += digits[v & 15];
    }
    return s;
}

std::vector<std::string> HeadLines(const TSessionHead &head)
{
    return {
        head.program,
        "дата сохранения: " + FormatStamp(head.savedMs).substr(0, 19),
        "порт: " + (head.port.empty() ? std::string("не выбран") : head.port),
        "Vexo: " + (head.moduleLine.empty() ? std::string("ответа на \"ATI0\" не было") : head.moduleLine),
    };
}

} // namespace

std::int64_t SystemClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string JournalPath()
{
#ifdef _WIN32
    return "Work\\ATVexo.log";
#else
    return "Work/ATVexo.log";
#endif
}

std::string FormatStamp(std::int64_t ms)
{
    const std::time_t t = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
    const int milli = static_cast<int>(((ms % 1000) + 1000) % 1000);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    std::string m = std::to_string(milli);
    m.insert(0, 3 - m.size(), '0');
    return TwoDigits(tm.tm_mday) + '.' + TwoDigits(tm.tm_mon + 1) + '.' + std::to_string(tm.tm_year + 1900) + ' ' +
           TwoDigits(tm.tm_hour) + ':' + TwoDigits(tm.tm_min) + ':' + TwoDigits(tm.tm_sec) + '.' + m;
}

std::string KindName(int kind)
{
    switch (kind) {
    case lkCommand: return "команда";
    case lkReply: return "ответ";
    case lkError: return "ошибка";
    case lkGood: return "итог";
    case lkPort: return "порт";
    default: return "прочее";
    }
}

std::string JournalFileLine(const TJournalLine &line)
{
    return FormatStamp(line.ms) + ' ' + KindName(line.kind) + ' ' + line.text + '\n';
}

TJournal::TJournal(TClock clock) : FClock(std::move(clock)) {}

TJournal::~TJournal() { CloseFile(); }

void TJournal::SetClock(TClock clock) { FClock = std::move(clock); }

std::int64_t TJournal::Now() const { return FClock(); }

const TJournalLine &TJournal::Add(int kind, const std::string &text)
{
    FLines.push_back({Now(), kind, text});
    Append(JournalFileLine(FLines.back()));
    return FLines.back();
}

void TJournal::CloseFile()
{
    if (FFile)
        std::fclose(FFile);
    FFile = nullptr;
}

void TJournal::Append(const std::string &bytes)
{
    const std::string path = JournalPath();
    if (!FFile) {
        // No Work folder, or one that takes no files: no record, no message.
        FFile = OpenFile(path, "ab");
        if (!FFile)
            return;
        std::error_code ec;
        const auto size = fs::file_size(PathOf(path), ec);
        FSize = ec ? 0 : size;
    }
    if (FSize > 0 && FSize + bytes.size() > JournalRotateBytes) {
        CloseFile();
        std::error_code ec;
        fs::remove(PathOf(path + ".1"), ec);
        fs::rename(PathOf(path), PathOf(path + ".1"), ec);
        FFile = OpenFile(path, "ab");
        FSize = 0;
        if (!FFile)
            return;
    }
    // Flushed line by line: a crash or a pulled plug loses nothing logged.
    if (std::fwrite(bytes.data(), 1, bytes.size(), FFile) != bytes.size() || std::fflush(FFile) != 0) {
        CloseFile();
        return;
    }
    FSize += bytes.size();
}

const std::vector<TSaveFilter> &SessionFilters()
{
    static const std::vector<TSaveFilter> filters = {
        {"Текст с временем (*.txt)", "txt"},
        {"HTML с цветами (*.html)", "html"},
    };
    return filters;
}

std::string SuggestedSessionName(std::int64_t ms)
{
    const std::string s = FormatStamp(ms); // "08.12.2026 21:40:..."
    return "ATVexo-" + s.substr(6, 4) + '-' + s.substr(3, 2) + '-' + s.substr(0, 2) + '-' + s.substr(11, 2) +
           s.substr(14, 2);
}

bool IsHtmlChoice(const TSaveChoice &choice)
{
    std::string ext;
    const auto dot = choice.path.find_last_of('.');
    if (dot != std::string::npos && choice.path.find_first_of("/\\", dot) == std::string::npos)
        ext = choice.path.substr(dot + 1);
    for (char &c : ext)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (ext == "html" || ext == "htm")
        return true;
    if (ext == "txt" || ext == "log")
        return false;
    return choice.filter >= 0 && static_cast<std::size_t>(choice.filter) < SessionFilters().size() &&
           SessionFilters()[static_cast<std::size_t>(choice.filter)].extension == "html";
}

std::string SessionText(const TSessionHead &head, const std::vector<TJournalLine> &lines)
{
    std::string out;
    for (const auto &l : HeadLines(head))
        out += l + '\n';
    out += '\n';
    for (const auto &line : lines)
        out += JournalFileLine(line);
    return out;
}

std::string SessionHtml(const TSessionHead &head, const std::vector<TJournalLine> &lines)
{
    std::string out = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscaped(head.program) +
                      "</title></head>\n<body style=\"font-family: 'Courier New', monospace\">\n<p>";
    const auto headLines = HeadLines(head);
    for (std::size_t i = 0; i < headLines.size(); ++i)
        out += (i ? "<br>\n" : "") + HtmlEscaped(headLines[i]);
    out += "</p>\n<pre>\n";
    for (const auto &line : lines)
        out += "<span style=\"color:" + HexColour(LogKindColour(line.kind)) + "\">" + FormatStamp(line.ms) + ' ' +
               HtmlEscaped(line.text) + "</span>\n";
    out += "</pre>\n</body></html>\n";
    return out;
}

bool WriteWholeFile(const std::string &path, const std::string &bytes)
{
    std::FILE *f = OpenFile(path, "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}
