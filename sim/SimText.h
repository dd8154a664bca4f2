// Byte strings in text form for the simulator: the escapes of its
// configuration values and of its transcripts.
#ifndef NORVANE_SIM_SIMTEXT_H
#define NORVANE_SIM_SIMTEXT_H

#include <string>

// Turns the escapes \r, \n, \t, \\, \0 and \xHH (two hex digits) into their
// bytes; any other backslash stays as it stands.
std::string sim_Unescape(const std::string& text);

// Shows bytes as text: printable ASCII as itself (a backslash doubled),
// CR, LF and TAB as \r, \n, \t, every other byte as \xhh.
std::string sim_Escape(const std::string& bytes);

// Cuts leading and trailing spaces and tabs.
std::string sim_Trim(const std::string& text);

// The text with the ASCII letters a-z turned to upper case.
std::string sim_Upper(const std::string& text);

#endif
