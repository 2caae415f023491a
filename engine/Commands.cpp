#include "Commands.h"

#include "LogHelpers.h"
#include "Str_UtRx.h"
#include "SysUtils.h"

namespace {
const char *const Speeds[8] = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
const char *const BadReply = "брак ответа";
} // namespace

char SpeedToCode(const std::string &text)
{
    const std::string s = DelSpaces(text);
    for (int i = 0; i < 8; ++i) {
        if (s == Speeds[i])
            return char('0' + i);
    }
    return '7';
}

std::string CodeToSpeed(const std::string &reply)
{
    if (!IsIntText(reply))
        return BadReply;
    std::int64_t v;
    try {
        v = IntTextValue(reply);
    } catch (const EConvertError &) {
        // Passes the character test but is no number ("5-", "--"): a bad
        // reply like any other, so the exchange still gets its verdict line.
        return BadReply;
    }
    const unsigned code = static_cast<unsigned>(static_cast<std::uint64_t>(v) & 0xFF);
    return code < 8 ? Speeds[code] : "";
}

std::string WriteVerdict(const std::string &reply) { return reply == "OK" ? "запись норма" : "запись брак"; }

std::string FlagVerdict(const std::string &reply)
{
    if (reply == "0")
        return "выключена поддержка КЛВ-707";
    if (reply == "1")
        return "поддержка КЛВ-707 включена";
    return "ответ брак";
}

std::string NumberVerdict(const std::string &reply) { return IsIntText(reply) ? reply : BadReply; }

int CommandOfButton(std::string_view button)
{
    for (int n = 0; n < ATCommandCount; ++n) {
        if (Catalogue[n].button == button)
            return n;
    }
    return -1;
}

int WriteOfRead(int read)
{
    if (read < 0 || read >= ATCommandCount || !Catalogue[read].command.ends_with('?'))
        return -1;
    const std::string_view request = Catalogue[read].command.substr(0, Catalogue[read].command.size() - 1);
    for (int n = 0; n < ATCommandCount; ++n)
        if (Catalogue[n].command == request)
            return n;
    return -1;
}

std::string Verdict(int cmd, const std::string &r)
{
    if (cmd < 0 || cmd >= ATCommandCount)
        return WriteVerdict(r);
    switch (Catalogue[cmd].rule) {
    case TReplyRule::AsIs:
        return r;
    case TReplyRule::Speed:
        return "скорость RS = \"" + CodeToSpeed(r) + '"';
    case TReplyRule::Number:
        return NumberVerdict(r);
    case TReplyRule::Flag:
        return FlagVerdict(r);
    case TReplyRule::Write:
        break;
    }
    return WriteVerdict(r);
}
