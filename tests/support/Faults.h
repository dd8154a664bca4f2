// Test doubles for the runtime's observation points: a system call that
// fails on its Nth use, the preconditions reported through os_Assert, and
// the debug log written to a file of the test's own.
#ifndef NORVANE_TESTS_SUPPORT_FAULTS_H
#define NORVANE_TESTS_SUPPORT_FAULTS_H

#include "EngineSource/OSSysCalls.h"

#include <string>
#include <vector>

// Replaces one entry of the system-call table so that its Nth call from now
// on (counting from 1) fails with nErrno; the calls before and after it go to
// the real system call. The table is put back on destruction.
class ScopedSysCallFault {
public:
    enum Call { kOpen, kRead, kWrite };
    ScopedSysCallFault(Call call, int nFailAt, int nErrno);
    ~ScopedSysCallFault();
    ScopedSysCallFault(const ScopedSysCallFault&) = delete;
    ScopedSysCallFault& operator=(const ScopedSysCallFault&) = delete;

    // Calls of the replaced entry so far, the failed one included.
    int calls() const;
};

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
