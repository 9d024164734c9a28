#pragma once

#include <windows.h>

#include "base/kernel_handles.h"

// Reports a failed close of the hosts file ("Cannot close file").
void ReportFailedFileClose();

// Owner of one Win32 file handle; INVALID_HANDLE_VALUE when it owns nothing.
// A failed close is reported and the handle kept, so the owner tries again
// when it is destroyed. Close() is true when nothing is held any more.
using ScopedFileHandle = UniqueResource<ReportedFileClose<&ReportFailedFileClose>>;

// The "hosts test" section: the hosts file searched for the service host and
// the vendor's domains.
void CheckHostsFile();

// One ReadFile of `size` bytes into `buffer`; a failure or a short read is
// reported with its specific error and gives false.
bool ReadHostsBytes(HANDLE file, char* buffer, DWORD size);

// The searches and their findings over the file's bytes. `contents` and
// `searchCopy` both hold size + 1 bytes and end in a zero byte; the copy is
// overwritten with the lower-cased contents. The file counts only up to its
// first zero byte, for the searches and the printed frame alike: a UTF-16
// file (a zero after every ASCII character) is searched no further than its
// first character and so never matches.
void ReportHostsMentions(const char* contents, char* searchCopy, DWORD size);
