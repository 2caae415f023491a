// The service record: every log line with its time, kept for the whole
// session, and appended as it is logged to Work/ATVexo.log where the Work
// folder exists (the settings file's rule). The session can be saved as
// plain text with times or as HTML that keeps the colours. UTF-8 throughout.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "MainView.h"

// Milliseconds since the Unix epoch; tests inject their own.
using TClock = std::function<std::int64_t()>;
std::int64_t SystemClockMs();

struct TJournalLine {
    std::int64_t ms = 0;
    int kind = 0; // TLogKind
    std::string text;
};

// "Work/ATVexo.log" ("Work\ATVexo.log" on Windows), beside the settings file.
std::string JournalPath();
// The file moves to "<path>.1" (one older file kept) before a line would
// take it past this size.
inline constexpr std::uintmax_t JournalRotateBytes = 1u << 20;

// "08.12.2026 21:40:01.123", local time.
std::string FormatStamp(std::int64_t ms);
// The journal's name of a log kind ("команда", "ответ", "ошибка", "итог").
std::string KindName(int kind);
// One line of the file and of the saved text: stamp, kind, text, LF.
std::string JournalFileLine(const TJournalLine &line);

class TJournal {
public:
    explicit TJournal(TClock clock = SystemClockMs);
    ~TJournal();
    TJournal(const TJournal &) = delete;
    TJournal &operator=(const TJournal &) = delete;

    void SetClock(TClock clock);
    std::int64_t Now() const;

    // Stamps the line, keeps it and appends it to the file (flushed). A file
    // that cannot be opened or written is skipped quietly; the next line
    // tries again.
    const TJournalLine &Add(int kind, const std::string &text);
    const std::vector<TJournalLine> &Lines() const { return FLines; }

private:
    void Append(const std::string &bytes);
    void CloseFile();

    TClock FClock;
    std::vector<TJournalLine> FLines;
    std::FILE *FFile = nullptr;
    std::uintmax_t FSize = 0;
};

// What heads a saved session.
struct TSessionHead {
    std::string program;     // "ПО "AT_Vexo" 1.03"
    std::int64_t savedMs = 0;
    std::string port;        // the port box's text
    std::string moduleLine;  // the last answer to "ATI0", empty when none came
};

// The save dialog for a session: its file types, the name it proposes
// ("ATVexo-2026-12-08-2140"), and whether a choice is to be HTML (by the
// file's extension, else by the type chosen).
const std::vector<TSaveFilter> &SessionFilters();
std::string SuggestedSessionName(std::int64_t ms);
bool IsHtmlChoice(const TSaveChoice &choice);

std::string SessionText(const TSessionHead &head, const std::vector<TJournalLine> &lines);
std::string SessionHtml(const TSessionHead &head, const std::vector<TJournalLine> &lines);
// Creates or overwrites `path` (UTF-8) with `bytes`; false when it cannot.
bool WriteWholeFile(const std::string &path, const std::string &bytes);
