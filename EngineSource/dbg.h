// Debug log: one trace file, ./log.txt, shared by every engine module.
//
// Each dbg_Log call writes one whole record "[<file> (<line>)]: <message>\n".
// The message is formatted from the caller's format and its arguments only:
// text passed as an argument is written as it stands, never interpreted, and
// a record has no length limit. Records of concurrent writers never
// interleave: each record is written while the stream is locked.
//
// Logging is off until dbg_SetLogging(true); while it is off dbg_Log costs
// one test of a flag and touches no file.
#ifndef NORVANE_ENGINESOURCE_DBG_H
#define NORVANE_ENGINESOURCE_DBG_H

// Switches logging on or off; start-up sets it from the command line before
// the log is opened.
void dbg_SetLogging(bool bOn);

// Opens "./log.txt" for writing, replacing an existing file. When the file
// cannot be opened the stream stays null and records are dropped. While
// logging is off it does nothing, so no file is made.
void dbg_OpenLog();

// Opens the log at another path (tests and tools); same rules as dbg_OpenLog.
void dbg_OpenLogPath(const char* pszPath);

// Writes one record when logging is on and the stream is open.
void dbg_Log(int nLine, const char* pszFile, const char* pszFormat, ...)
    __attribute__((format(printf, 3, 4)));

// Pushes buffered records to the file.
void dbg_FlushLog();

// Closes the stream; later records are dropped until the log is opened again.
void dbg_CloseLog();

// Logs from the calling module; each module defines its own source name,
// for example: static const char kDbgModule[] = "EngineSource/Urswin32";
#define DBG_LOG(...) dbg_Log(__LINE__, kDbgModule, __VA_ARGS__)

#endif
