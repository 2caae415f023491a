// The catalogue of the eleven Vexo commands and the rules that judge replies.
#pragma once

#include <QChar>
#include <QString>

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
inline constexpr int ATCommandCount = 11;

extern const char *const AT_Cmd[ATCommandCount];
extern const char *const AT_Title[ATCommandCount]; // UTF-8

// The speed code '0'..'7' of a speed text (spaces ignored); anything else '7'.
QChar SpeedToCode(const QString &text);
// The speed a reply's code stands for: "брак ответа" when the reply is no
// number, the speed text for a code 0..7 (low 8 bits), "" for any other.
QString CodeToSpeed(const QString &reply);
QString WriteVerdict(const QString &reply);
QString FlagVerdict(const QString &reply);
QString NumberVerdict(const QString &reply);

// The verdict on a stripped reply to command `cmd`, as it follows the arrow
// of the reply line.
QString Verdict(int cmd, const QString &reply);
