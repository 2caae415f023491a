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

QChar SpeedToCode(const QString &text)
{
    const QString s = DelSpaces(text);
    for (int i = 0; i < 8; ++i) {
        if (s == QLatin1String(Speeds[i]))
            return QChar(u'0' + i);
    }
    return u'7';
}

QString CodeToSpeed(const QString &reply)
{
    if (!IsIntText(reply))
        return QString::fromUtf8(BadReply);
    qint64 v;
    try {
        v = IntTextValue(reply);
    } catch (const EConvertError &) {
        // Passes the character test but is no number ("5-", "--"): a bad
        // reply like any other, so the exchange still gets its verdict line.
        return QString::fromUtf8(BadReply);
    }
    const int code = static_cast<int>(static_cast<quint64>(v) & 0xFF);
    if (code < 8)
        return QLatin1String(Speeds[code]);
    return QString();
}

QString WriteVerdict(const QString &reply)
{
    return QString::fromUtf8(reply == u"OK" ? "запись норма" : "запись брак");
}

QString FlagVerdict(const QString &reply)
{
    if (reply == u"0")
        return QString::fromUtf8("выключена поддержка КЛВ-707");
    if (reply == u"1")
        return QString::fromUtf8("поддержка КЛВ-707 включена");
    return QString::fromUtf8("ответ брак");
}

QString NumberVerdict(const QString &reply)
{
    return IsIntText(reply) ? reply : QString::fromUtf8(BadReply);
}

QString Verdict(int cmd, const QString &r)
{
    switch (cmd) {
    case acInfo:
        return r;
    case acRdSpeedRS:
    case acRdSpeedPrn:
    case acRdSpeedIO:
        return QString::fromUtf8("скорость RS = \"") + CodeToSpeed(r) + u'"';
    case acRdAdrModBus:
        return NumberVerdict(r);
    case acRdKLV707:
        return FlagVerdict(r);
    default:
        return WriteVerdict(r);
    }
}
