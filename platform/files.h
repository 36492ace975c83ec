// Files the program reads and writes by name in its current folder, opened
// so that a special file under such a name (a FIFO, a device) never blocks
// or feeds the program.
#pragma once

#include <cstddef>
#include <cstdio>

enum { FILE_MISSING = 0, FILE_REGULAR = 1, FILE_OTHER = 2 };

// What stands at `path`, following links.
int FileKind(const char *path);
// fopen() for "r", "w" and "a" (and with "b"), but only on a regular file, or for "w" and
// "a" on a missing one, which is created. nullptr otherwise, with errno set
// (EISDIR for a folder, EINVAL for a FIFO or a device).
FILE *FileOpenRegular(const char *path, const char *mode);
// Appends to whatever the user named (a file, a FIFO, a terminal), never
// waiting for it: a FIFO without a reader fails at once (ENXIO), and a
// special file stays non-blocking, so a write it cannot take now fails
// instead of waiting, and a reader that has gone makes it fail (EPIPE)
// instead of ending the program. *kind is FILE_REGULAR or FILE_OTHER.
// Unbuffered. nullptr with errno set.
FILE *FileOpenAppendAny(const char *path, int *kind);
// The first size-1 bytes (or fewer) of a regular file, NUL-terminated: a
// settings file is read without regard to its size. The count, or -1 when
// there is no regular file to read.
int FileReadHead(const char *path, char *text, size_t size);

// A new, empty folder under the system's temporary folder that only this
// user may enter; its path goes into path (bounded by size). 0 or -1.
int FileMakeTempDir(char *path, size_t size);
// Removes a folder and the files in it. 0 or -1.
int FileRemoveDir(const char *path);
// Makes path the current folder. 0 or -1.
int FileChangeDir(const char *path);
// Holds the lock file `path` until the program ends (or until it holds
// another one), so that a second program started in the same folder can
// tell. 0 when held; FILE_LOCK_TAKEN when another running program holds it;
// FILE_LOCK_NONE when it cannot be made (a folder that is not writable), in
// which case the program goes on without it. A lock left by a program that
// died is taken over.
enum { FILE_LOCK_TAKEN = -1, FILE_LOCK_NONE = -2 };
int FileHoldLock(const char *path);

// Whether the stream is a terminal (a person watching, not a script).
int FileIsTerminal(FILE *f);
