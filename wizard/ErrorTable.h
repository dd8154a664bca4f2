// The wizard's error code and its messages. The current code is what the
// process returns as its exit code; a page that fetches a message through
// GetErrorText makes that code the current one.
#ifndef NORVANE_WIZARD_ERRORTABLE_H
#define NORVANE_WIZARD_ERRORTABLE_H

#include <cstdint>
#include <map>
#include <string>

// The codes the wizard sets.
constexpr int32_t err_kNone = 0;              // "No Error"
constexpr int32_t err_kCancelled = 1;         // the user pressed Cancel
constexpr int32_t err_kNoHexFiles = 2;        // no firmware file in the working folder
constexpr int32_t err_kNoDevices = 3;         // no device answered, or no type has a file
constexpr int32_t err_kIdentifyTimeout = 9;   // identification not finished in time
constexpr int32_t err_kNoHexFile = 100;       // not exactly one selected file fits a type
constexpr int32_t err_kNoDeviceSelected = 101;  // no device of a type selected

class ErrorTable {
public:
    // The table of messages; the current code is 0.
    ErrorTable();

    // Makes nCode the current code.
    void SetError(int32_t nCode) { m_nCode = nCode; }
    // The current code.
    int32_t GetError() const { return m_nCode; }
    // Makes nCode the current code and returns its message;
    // "ERROR: Unknown error <code>" for a code without one.
    std::string GetErrorText(int32_t nCode);

private:
    int32_t m_nCode = err_kNone;                  // current error code (the exit code)
    std::map<int32_t, std::string> m_messages;    // message of each known code
};

#endif
