// Makes chosen system calls of the platform modules fail, through the table
// of EngineSource/OSSysCalls.h: the Nth write fails with EIO, the 2nd poll
// is refused, ioctl(TIOCMBIS) answers EPERM, and so on. It counts and lists
// the calls made, and puts the default table back when it goes out of
// scope. The simulator does not use the table, so only the engine's calls
// are seen. One instance at a time.
#ifndef NORVANE_TESTS_SUPPORT_SYSCALLFAULTS_H
#define NORVANE_TESTS_SUPPORT_SYSCALLFAULTS_H

#include <termios.h>

#include <string>
#include <vector>

// kStat covers stat and lstat, kFopen fopen and fdopen.
enum class SysCall {
    kOpen, kClose, kRead, kWrite, kPoll, kIoctl, kTcgetattr, kTcsetattr, kTcflush, kFlock,
    kFtruncate, kMkdtemp, kReadlink, kStat, kOpendir, kNanosleep, kFopen, kPthreadCreate, kCount
};

class SysCallFaults {
public:
    SysCallFaults();
    ~SysCallFaults();
    SysCallFaults(const SysCallFaults&) = delete;
    SysCallFaults& operator=(const SysCallFaults&) = delete;

    // The nNth call of eCall from now on (1 = the next one) fails with
    // nErrno; with bEvery every call from the nNth on fails. For kIoctl a
    // non-zero nRequest limits counting and failing to that request. A
    // write or read "failing" with EAGAIN returns -1/EAGAIN as the system
    // would. A failing pthread_create returns nErrno, as the system does.
    void fail(SysCall eCall, int nNth, int nErrno, bool bEvery = false, unsigned long nRequest = 0);
    // Makes ioctl(nRequest) succeed with *(int*)arg = nValue, without the
    // system, for the next nTimes calls (-1: every call).
    void fakeIoctlValue(unsigned long nRequest, int nValue, int nTimes);
    // Calls of eCall seen (ioctl: of the request given to fail, if any).
    int count(SysCall eCall) const;
    // The settings last handed to tcsetattr.
    termios lastTermios() const;
    // Every call seen, in order: "write", "tcflush", "ioctl 0x5411", ...
    std::vector<std::string> calls() const;
};

#endif
