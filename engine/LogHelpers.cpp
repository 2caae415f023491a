#include "LogHelpers.h"

#include "Str_UtRx.h"
#include "SysUtils.h"

TColour LogKindColour(int kind)
{
    switch (kind) {
    case lkCommand:
        return {0, 0, 255};
    case lkReply:
        return {128, 0, 0};
    case lkError:
        return {255, 0, 0};
    case lkGood:
        return {0, 128, 0};
    case lkPort:
        return {0, 128, 128};
    default:
        return {0, 0, 0};
    }
}

std::string StripCtrl(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 32)
            out.push_back(c);
    }
    return out;
}

bool IsIntText(const std::string &text)
{
    const std::string s = DelSpaces(text);
    if (s.empty())
        return false;
    for (char c : s) {
        if (c != '-' && (c < '0' || c > '9'))
            return false;
    }
    return true;
}

std::int64_t IntTextValue(const std::string &text)
{
    if (!IsIntText(text))
        return 0;
    const std::string s = DelSpaces(text);
    const TWholeNumber n = ReadWholeNumber(s, false);
    if (n.State != TWholeNumber::Ok)
        throw EConvertError("'" + s + "' is not a valid integer value");
    return n.Value;
}

int StepBar(int position)
{
    const int next = position + 10;
    return next > 100 ? 0 : next;
}
