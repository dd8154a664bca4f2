// Escapes and small text helpers of the simulator.
#include "sim/SimText.h"

#include <cstdio>

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string sim_Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        char next = text[i + 1];
        switch (next) {
        case 'r': out += '\r'; ++i; break;
        case 'n': out += '\n'; ++i; break;
        case 't': out += '\t'; ++i; break;
        case '0': out += '\0'; ++i; break;
        case '\\': out += '\\'; ++i; break;
        case 'x':
            if (i + 3 < text.size() && hexDigit(text[i + 2]) >= 0 && hexDigit(text[i + 3]) >= 0) {
                out += static_cast<char>(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3]));
                i += 3;
            } else {
                out += c;
            }
            break;
        default: out += c; break;
        }
    }
    return out;
}

std::string sim_Escape(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte == '\r')
            out += "\\r";
        else if (byte == '\n')
            out += "\\n";
        else if (byte == '\t')
            out += "\\t";
        else if (byte == '\\')
            out += "\\\\";
        else if (byte >= 0x20 && byte <= 0x7E)
            out += c;
        else {
            char szHex[8];
            snprintf(szHex, sizeof szHex, "\\x%02x", byte);
            out += szHex;
        }
    }
    return out;
}

std::string sim_Trim(const std::string& text)
{
    size_t nStart = text.find_first_not_of(" \t");
    if (nStart == std::string::npos)
        return std::string();
    size_t nEnd = text.find_last_not_of(" \t");
    return text.substr(nStart, nEnd - nStart + 1);
}

std::string sim_Upper(const std::string& text)
{
    std::string out = text;
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}
