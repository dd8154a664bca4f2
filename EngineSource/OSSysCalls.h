// The system calls behind the platform modules (OS services, serial layer),
// gathered in one table so that a test can replace one of them and make,
// say, the third write fail with EAGAIN or EIO. Only platform modules and
// tests include this header; the rest of the engine never calls POSIX.
#ifndef NORVANE_ENGINESOURCE_OSSYSCALLS_H
#define NORVANE_ENGINESOURCE_OSSYSCALLS_H

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <termios.h>

struct os_SysCallTable {
    int (*pOpen)(const char* pszPath, int nFlags, mode_t nMode);
    int (*pClose)(int fd);
    ssize_t (*pRead)(int fd, void* pBuffer, size_t nCount);
    ssize_t (*pWrite)(int fd, const void* pBuffer, size_t nCount);
    off_t (*pLseek)(int fd, off_t nOffset, int nWhence);
    int (*pFstat)(int fd, struct stat* pStat);
    int (*pUnlink)(const char* pszPath);
    int (*pPoll)(struct pollfd* pFds, nfds_t nFds, int nTimeoutMs);
    int (*pIoctl)(int fd, unsigned long nRequest, void* pArg);
    int (*pTcgetattr)(int fd, struct termios* pTermios);
    int (*pTcsetattr)(int fd, int nWhen, const struct termios* pTermios);
    int (*pTcflush)(int fd, int nQueue);
    int (*pFlock)(int fd, int nOperation);
};

// The table in use. Tests may replace entries and must put back the
// originals (os_DefaultSysCalls) when they are done.
os_SysCallTable& os_SysCalls();
const os_SysCallTable& os_DefaultSysCalls();

#endif
