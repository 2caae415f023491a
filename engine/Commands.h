// The catalogue of the eleven Vexo commands and the rules that judge replies.
// Texts are UTF-8.
#pragma once

#include <string>

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
extern const char *const AT_Title[ATCommandCount];

// The speed code '0'..'7' of a speed text (spaces ignored); anything else '7'.
char SpeedToCode(const std::string &text);
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
