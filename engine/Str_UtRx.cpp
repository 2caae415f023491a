#include "Str_UtRx.h"


std::string DelChar(const std::string &text, std::string_view ch)
{
    // A whole UTF-8 character never matches inside another one, so removing
    // its byte sequence removes exactly that character.
    if (ch.empty())
        return text;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, ch.size(), ch) == 0) {
            i += ch.size();
        } else {
            out.push_back(text[i]);
            ++i;
        }
    }
    return out;
}

std::string DelSpaces(const std::string &text) { return DelChar(text, " "); }

std::string OneSpace(const std::string &text)
{
    // A space whose predecessor is also a space goes: the first of every run stays.
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ' && i > 0 && text[i - 1] == ' ')
            continue;
        out.push_back(text[i]);
    }
    return out;
}

