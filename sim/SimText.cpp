// Escapes and small text helpers of the simulator.
#include "sim/SimText.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

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
            if (i + 3 < text.size() && isxdigit(static_cast<unsigned char>(text[i + 2])) &&
                isxdigit(static_cast<unsigned char>(text[i + 3]))) {
                out += static_cast<char>(strtol(text.substr(i + 2, 2).c_str(), nullptr, 16));
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
