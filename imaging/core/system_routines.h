// Small routines of the image core: the file create and open calls under the library's file stream,
// with the share modes of the class library's file modes; a clipboard open that retries; the remote
// session test; and the cosine ramp of the library's blends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zv {

// ---- Files ----------------------------------------------------------------------------------------------

// Opens or creates a file with the platform's access, share and creation values (GENERIC_READ,
// FILE_SHARE_READ, CREATE_ALWAYS ...) and returns its descriptor, or -1 with errno set. Share modes hold
// between every file these routines open, in this process and in others: an open whose access another
// handle's share mode denies, or whose share mode denies what another handle does, fails with EBUSY and
// leaves the file as it was (a CREATE_ALWAYS does not truncate it). A folder is refused (EISDIR).
int WideCreateFile(const std::string& FileName, uint32_t DesiredAccess, uint32_t ShareMode,
                   void* SecurityAttributes, uint32_t CreationDisposition, uint32_t FlagsAndAttributes,
                   void* TemplateFile);
// A new empty file (an existing one is truncated) for reading and writing, shared with nobody.
int WideFileCreate(const std::string& FileName);
// Opens an existing file by the class library's file mode: access in bits 0-1 (0 read, 1 write, 2 both),
// sharing in bits 4-7 (0 and 1 none, 2 deny write, 3 deny read, 4 deny none). -1 (EINVAL) for a mode
// outside those, without touching the file system.
int WideFileOpen(const std::string& FileName, uint16_t Mode);

// ---- Clipboard and session -------------------------------------------------------------------------------

// Opens the clipboard with no owner window: up to ten tries, with a pause of 20 ms after each failed try
// (the tenth included). True as soon as a try succeeds.
bool OpenClipboardRetry();
// The same with the try and the pause given, for a clipboard and clock of the caller's.
bool OpenClipboardRetry(const std::function<bool()>& TryOpen, const std::function<void(uint32_t Ms)>& Pause);

// True when the program runs in a remote-desktop session; the platform has none.
bool IsRemoteSession();

// ---- Cosine ramp ---------------------------------------------------------------------------------------

// Entry i is 64 - 64 cos(i pi / 255) to the nearest integer: 0 up to entry 10, 128 from entry 245. Built
// by the library's start-up and only read afterwards.
extern int32_t CosineRamp[256];
void BuildCosineRamp();

}  // namespace zv
