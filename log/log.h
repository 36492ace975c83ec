// The communication log: log___main.txt in the current directory, switched
// on and off by the one-number file YN_log_main.txt.
#pragma once

#include <cstdio>

// The alarm mark that opens failure lines: three BLACK STARs in Big5,
// written as these six bytes whatever the interface language.
#define LOG_MARK "\xA1\xB9\xA1\xB9\xA1\xB9"

extern FILE *gpLog; // the open log stream, or nullptr while the log is closed
extern int giLog;   // counted writes since the log was last opened

constexpr const char *caLogFile = "log___main.txt";
constexpr const char *caLogSwitchFile = "YN_log_main.txt";
// The previous run's log: kept by start-up before it empties the log.
constexpr const char *caLogPrevious = "log___main.txt.1";
constexpr int ciLogReopenEvery = 50;

// For a program without the switch (tovra-cli): the log goes to `path`,
// appended to, or nowhere for nullptr, and the switch file is never read or
// made. "-" and "/dev/stdout" mean standard output, "/dev/stderr" standard
// error. Opens the log without ever waiting (a FIFO needs its reader now);
// 0, or the negative errno of the failed open. A special file (a FIFO, a
// terminal) is opened once and kept open, not reopened every 50 writes.
int mf_Tovra_Log__To(const char *path);
// The errno of the write that made the log of mf_Tovra_Log__To fail (a
// full pipe, a reader that has gone, a full disk), after which nothing more
// is written to it; 0 while it works.
int mf_Tovra_Log__Failed(void);
// The standard stream a log path names ("-", "/dev/stdout", "/dev/stderr"),
// else nullptr.
FILE *mf_Tovra_Log__Standard(const char *path);

// With the switch on: keeps a non-empty log as caLogPrevious (replacing the
// one kept before), then empties the log. A log that cannot be kept is not
// emptied either: the new run appends to it.
int mf_Tovra_Log__Clear(void);
int mf_Tovra_Log__Append(void);
int mf_Tovra_Log__Close(void);

// Counted writes: one printf-style format with one argument.
int logi(const char *format, int value);
int logf(const char *format, double value);
int logs(const char *format, const char *text);

// Closes the log, shows it in the text viewer, reopens it. 0, or negative
// when the viewer could not be started.
int mf_Tovra_Log__Launch(void);

int mf_Tovra_Log__err_Open_File(const char *source, int line, const char *fileName);
int mf_Tovra_Log__err_Open_COM(const char *source, int line, int code);
// The device behind an open port went away: two log lines, no message box.
int mf_Tovra_Log__err_Lost_COM(const char *source, int line, const char *deviceName, int code);
