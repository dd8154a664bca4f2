// Test doubles for the runtime's observation points: the preconditions
// reported through os_Assert, and the debug log written to a file of the
// test's own. (Failing system calls: support/SysCallFaults.h.)
#ifndef NORVANE_TESTS_SUPPORT_FAULTS_H
#define NORVANE_TESTS_SUPPORT_FAULTS_H

#include <string>
#include <vector>

// Collects the texts of failed preconditions while it lives.
class ScopedAssertCapture {
public:
    ScopedAssertCapture();
    ~ScopedAssertCapture();
    ScopedAssertCapture(const ScopedAssertCapture&) = delete;
    ScopedAssertCapture& operator=(const ScopedAssertCapture&) = delete;

    // The texts reported so far, in order.
    std::vector<std::string> texts() const;
};

// Switches logging on and opens the debug log at pszPath; closes it and
// switches logging off again on destruction.
class ScopedLogFile {
public:
    explicit ScopedLogFile(const std::string& path);
    ~ScopedLogFile();
    ScopedLogFile(const ScopedLogFile&) = delete;
    ScopedLogFile& operator=(const ScopedLogFile&) = delete;

    // Flushes the log and returns everything written to it so far.
    std::string text() const;

private:
    std::string m_path;
};

#endif
