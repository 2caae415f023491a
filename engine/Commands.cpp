#include "Commands.h"

#include "LogHelpers.h"
#include "Str_UtRx.h"
#include "SysUtils.h"

const char *const AT_Cmd[ATCommandCount] = {
    "ATI0",       "AT+xKPV3=?", "AT+xKPV4=?", "AT+xKPV8=?", "AT+xKPV3=", "AT+xKPV4=",
    "AT+xKPV8=",  "AT+xKPV9=?", "AT+xKPV9=",  "AT+xKPV0=?", "AT+xKPV0=",
};

const char *const AT_Title[ATCommandCount] = {
    "контроль \"Vexo\"",
    "чтение скорости порта \"RS232\" Vexo",
    "чтение скорости порта \"RS232\" Vexo для принтера",
    "чтение адреса \"ModBus\"",
    "запись скорости порта \"RS232\" Vexo",
    "запись скорости порта \"RS232\" Vexo для принтера",
    "запись адреса для \"ModBus\"",
    "чтение флага работы с \"КЛВ-707\"",
    "запись флага работы с \"КЛВ-707\"",
    "чтение скорости порта \"I/O\" Vexo",
    "запись скорости порта \"I/O\" Vexo",
};

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

std::string Verdict(int cmd, const std::string &r)
{
    switch (cmd) {
    case acInfo:
        return r;
    case acRdSpeedRS:
    case acRdSpeedPrn:
    case acRdSpeedIO:
        return "скорость RS = \"" + CodeToSpeed(r) + '"';
    case acRdAdrModBus:
        return NumberVerdict(r);
    case acRdKLV707:
        return FlagVerdict(r);
    default:
        return WriteVerdict(r);
    }
}
