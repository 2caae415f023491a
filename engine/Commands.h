// The catalogue of the Vexo commands, one row each, and the rules that judge
// replies. A command is its row here and its button's row in the main
// window's table (forms::MainForm, action Command): nothing else names it.
// Texts are UTF-8.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

// Where a command's parameter comes from.
enum class TParamSource : std::uint8_t {
    None,
    SpeedCode, // the speed code of the control's text; shown: that text
    Text,      // the control's text exactly as displayed; shown: the same
    Flag,      // "1" when the check box is checked, else "0"; shown: onShown / offShown
};

// How the reply to a command is judged.
enum class TReplyRule : std::uint8_t {
    AsIs,   // the reply text itself
    Speed,  // скорость RS = "<CodeToSpeed>"
    Number, // NumberVerdict
    Write,  // WriteVerdict
    Flag,   // FlagVerdict
};

struct TCommand {
    std::string_view name;    // acInfo ...
    std::string_view command; // the request before its parameter (AT_Cmd)
    std::string_view title;   // the announcement's title (AT_Title)
    std::string_view button;  // its button in the main window's table
    TParamSource source = TParamSource::None;
    std::string_view control{}; // the parameter's control in that table
    std::string_view onShown{}, offShown{};
    TReplyRule rule = TReplyRule::AsIs;
    // What the sequences know of the command's parameter: its name in their
    // summaries, the box a read's value goes into (a check box for the Flag
    // rule), whether only a unit with the computer ("Тетрамакс") has it, and
    // the firmware that brought it (major * 1000 + minor; 0: every one).
    std::string_view parameter{};
    std::string_view box{};
    bool computer = false;
    int sinceVersion = 0;
};

// The rows, indexed by the command number.
inline constexpr TCommand Catalogue[] = {
    {.name = "acInfo", .command = "ATI0", .title = "контроль \"Vexo\"", .button = "bRd_Inf",
     .parameter = "версия"},
    {.name = "acRdSpeedRS", .command = "AT+xKPV3=?", .title = "чтение скорости порта \"RS232\" Vexo",
     .button = "bRdSpeed_SeA", .rule = TReplyRule::Speed,
     .parameter = "скорость \"RS232\"", .box = "cbSpeed_SeA"},
    {.name = "acRdSpeedPrn", .command = "AT+xKPV4=?", .title = "чтение скорости порта \"RS232\" Vexo для принтера",
     .button = "bRdSpeed_SeA_Prn", .rule = TReplyRule::Speed,
     .parameter = "скорость принтера", .box = "cbSpeed_SeA_Prn", .computer = true},
    {.name = "acRdAdrModBus", .command = "AT+xKPV8=?", .title = "чтение адреса \"ModBus\"",
     .button = "bRdAdr_ModBus", .rule = TReplyRule::Number,
     .parameter = "адрес \"ModBus\"", .box = "seAdrModBus", .computer = true},
    {.name = "acWrSpeedRS", .command = "AT+xKPV3=", .title = "запись скорости порта \"RS232\" Vexo",
     .button = "bWrSpeed_SeA", .source = TParamSource::SpeedCode, .control = "cbSpeed_SeA",
     .rule = TReplyRule::Write,
     .parameter = "скорость \"RS232\""},
    {.name = "acWrSpeedPrn", .command = "AT+xKPV4=", .title = "запись скорости порта \"RS232\" Vexo для принтера",
     .button = "bWrSpeed_SeA_Prn", .source = TParamSource::SpeedCode, .control = "cbSpeed_SeA_Prn",
     .rule = TReplyRule::Write,
     .parameter = "скорость принтера", .computer = true},
    {.name = "acWrAdrModBus", .command = "AT+xKPV8=", .title = "запись адреса для \"ModBus\"",
     .button = "bWrAdrModBus", .source = TParamSource::Text, .control = "seAdrModBus", .rule = TReplyRule::Write,
     .parameter = "адрес \"ModBus\"", .computer = true},
    {.name = "acRdKLV707", .command = "AT+xKPV9=?", .title = "чтение флага работы с \"КЛВ-707\"",
     .button = "rdKLV707", .rule = TReplyRule::Flag,
     .parameter = "флаг \"КЛВ-707\"", .box = "chKLV707", .computer = true, .sinceVersion = 3017},
    {.name = "acWrKLV707", .command = "AT+xKPV9=", .title = "запись флага работы с \"КЛВ-707\"",
     .button = "wrKLV707", .source = TParamSource::Flag, .control = "chKLV707",
     .onShown = "включить поддержку КЛВ-707", .offShown = "выключить поддержку КЛВ-707",
     .rule = TReplyRule::Write,
     .parameter = "флаг \"КЛВ-707\"", .computer = true, .sinceVersion = 3017},
    {.name = "acRdSpeedIO", .command = "AT+xKPV0=?", .title = "чтение скорости порта \"I/O\" Vexo",
     .button = "rdSpeed_Cor", .rule = TReplyRule::Speed,
     .parameter = "скорость \"I/O\"", .box = "cbSpeed_Cor"},
    {.name = "acWrSpeedIO", .command = "AT+xKPV0=", .title = "запись скорости порта \"I/O\" Vexo",
     .button = "wrSpeed_Cor", .source = TParamSource::SpeedCode, .control = "cbSpeed_Cor",
     .rule = TReplyRule::Write,
     .parameter = "скорость \"I/O\""},
};
inline constexpr int ATCommandCount = static_cast<int>(std::size(Catalogue));

// Names for the rows' numbers, as the log and the tests speak of them.
enum TATCommand : int {
    acInfo,        // 0
    acRdSpeedRS,   // 1
    acRdSpeedPrn,  // 2
    acRdAdrModBus, // 3
    acWrSpeedRS,   // 4
    acWrSpeedPrn,  // 5
    acWrAdrModBus, // 6
    acRdKLV707,    // 7
    acWrKLV707,    // 8
    acRdSpeedIO,   // 9
    acWrSpeedIO,   // 10
};

// AT_Cmd[n] and AT_Title[n]: one column of the catalogue as C strings.
class TCatalogueColumn {
public:
    constexpr explicit TCatalogueColumn(std::string_view TCommand::*column) : FColumn(column) {}
    const char *operator[](int n) const { return (Catalogue[n].*FColumn).data(); }

private:
    std::string_view TCommand::*FColumn;
};
inline constexpr TCatalogueColumn AT_Cmd{&TCommand::command};
inline constexpr TCatalogueColumn AT_Title{&TCommand::title};

// The number of the command whose button is `button`; -1 if none.
int CommandOfButton(std::string_view button);

// The write command that sets what the read command `read` reads (its
// request without the trailing "?"); -1 if none.
int WriteOfRead(int read);

// The speed code '0'..'7' of a speed text (spaces ignored); anything else '7'.
char SpeedToCode(const std::string &text);

// A command's parameter as sent (UTF-8, converted at the wire) and the value
// its announcement shows, read from the boxes (the view, or a sequence's
// host: anything with Text and Checked by control name).
struct TParameter {
    std::string sent, shown;
};
template <typename TBoxes>
TParameter ReadParameter(const TCommand &command, const TBoxes &boxes)
{
    TParameter p;
    switch (command.source) {
    case TParamSource::None:
        break;
    case TParamSource::SpeedCode:
        p.shown = boxes.Text(command.control);
        p.sent = SpeedToCode(p.shown);
        break;
    case TParamSource::Text:
        p.sent = p.shown = boxes.Text(command.control);
        break;
    case TParamSource::Flag: {
        const bool on = boxes.Checked(command.control);
        p.sent = on ? "1" : "0";
        p.shown = on ? command.onShown : command.offShown;
        break;
    }
    }
    return p;
}
// The speed a reply's code stands for: "брак ответа" when the reply is no
// number (also when it passes the character test but does not convert), the
// speed text for a code 0..7 (low 8 bits), "" for any other.
std::string CodeToSpeed(const std::string &reply);
std::string WriteVerdict(const std::string &reply);
std::string FlagVerdict(const std::string &reply);
std::string NumberVerdict(const std::string &reply);

// The verdict on a stripped reply to command `cmd`, as it follows the arrow
// of the reply line.
std::string Verdict(int cmd, const std::string &reply);
