// The system calls behind the platform modules (OS services, serial layer),
// gathered in one table so that a test can replace one of them and make,
// say, the third write fail with EAGAIN or EIO. Every system call of the
// platform modules and the debug log goes through it: files, folders, links,
// the log's stream, threads, the runtime clock and its sleep, and the group
// look-ups that put an open failure into words. Only platform modules and
// tests include this header; the rest of the engine never calls POSIX.
#ifndef NORVANE_ENGINESOURCE_OSSYSCALLS_H
#define NORVANE_ENGINESOURCE_OSSYSCALLS_H

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <termios.h>
#include <time.h>

#include <cstdio>

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
    int (*pFtruncate)(int fd, off_t nLength);
    char* (*pMkdtemp)(char* pszTemplate);
    int (*pRmdir)(const char* pszPath);
    ssize_t (*pReadlink)(const char* pszPath, char* pBuffer, size_t nSize);
    int (*pStat)(const char* pszPath, struct stat* pStat);
    int (*pLstat)(const char* pszPath, struct stat* pStat);
    DIR* (*pOpendir)(const char* pszPath);
    struct dirent* (*pReaddir)(DIR* pDir);
    int (*pClosedir)(DIR* pDir);
    int (*pNanosleep)(const struct timespec* pWanted, struct timespec* pLeft);
    FILE* (*pFopen)(const char* pszPath, const char* pszMode);
    FILE* (*pFdopen)(int fd, const char* pszMode);
    int (*pFclose)(FILE* pFile);
    void (*pFlockfile)(FILE* pFile);
    void (*pFunlockfile)(FILE* pFile);
    int (*pClockGettime)(clockid_t nClock, struct timespec* pTime);
    int (*pPthreadCreate)(pthread_t* pThread, const pthread_attr_t* pAttr, void* (*pfnStart)(void*), void* pArg);
    gid_t (*pGetegid)();
    int (*pGetgroups)(int nSize, gid_t* pGroups);
    int (*pGetgrgidR)(gid_t nGroup, struct group* pEntry, char* pBuffer, size_t nSize, struct group** ppResult);
};

// The table in use. Tests may replace entries and must put back the
// originals (os_DefaultSysCalls) when they are done.
os_SysCallTable& os_SysCalls();
const os_SysCallTable& os_DefaultSysCalls();

#endif
