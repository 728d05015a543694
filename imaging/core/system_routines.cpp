#include "imaging/core/system_routines.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <mutex>
#include <numbers>

#include "platform/win32.h"
#include "platform/windows.h"

namespace zv {

int32_t CosineRamp[256];

namespace {

// Share modes are kept as open-file-description locks on four ranges far past any file's data: a handle
// announces each access it has and each access it denies by a lock in the range of that fact, and an
// open tests the ranges of the facts it would clash with. The locks go with the last descriptor of the
// open, so a closed file never blocks anyone.
enum TShareFact { sfAccessRead, sfAccessWrite, sfDenyRead, sfDenyWrite };

constexpr off_t ShareLockBase = off_t(1) << 62;
constexpr off_t ShareFactSlots = off_t(1) << 20;

off_t ShareFactStart(TShareFact Fact) { return ShareLockBase + off_t(Fact) * ShareFactSlots; }

// True when another open of the file holds a lock in the fact's range.
bool ShareFactHeld(int Fd, TShareFact Fact) {
  struct flock Lock {};
  Lock.l_type = F_WRLCK;
  Lock.l_whence = SEEK_SET;
  Lock.l_start = ShareFactStart(Fact);
  Lock.l_len = ShareFactSlots;
  if (::fcntl(Fd, F_OFD_GETLK, &Lock) != 0) return false;  // no locks on this file system: nothing to hold to
  return Lock.l_type != F_UNLCK;
}

// A readable descriptor shares one read lock with every other; a write-only one can only take write
// locks, so it takes a slot of its own.
void AnnounceShareFact(int Fd, TShareFact Fact, bool Readable) {
  struct flock Lock {};
  Lock.l_whence = SEEK_SET;
  Lock.l_len = 1;
  if (Readable) {
    Lock.l_type = F_RDLCK;
    Lock.l_start = ShareFactStart(Fact);
    ::fcntl(Fd, F_OFD_SETLK, &Lock);
    return;
  }
  Lock.l_type = F_WRLCK;
  for (off_t Slot = 1; Slot < ShareFactSlots; ++Slot) {
    Lock.l_start = ShareFactStart(Fact) + Slot;
    if (::fcntl(Fd, F_OFD_SETLK, &Lock) == 0) return;
    if (errno != EAGAIN && errno != EACCES) return;
  }
}

// Tests and announces as one step for the opens of this process.
std::mutex ShareModeLock;

}  // namespace

int WideCreateFile(const std::string& FileName, uint32_t DesiredAccess, uint32_t ShareMode, void*,
                   uint32_t CreationDisposition, uint32_t FlagsAndAttributes, void*) {
  const bool Read = (DesiredAccess & (GENERIC_READ | GENERIC_ALL)) != 0;
  const bool Write = (DesiredAccess & (GENERIC_WRITE | GENERIC_ALL)) != 0;
  int Flags = O_CLOEXEC | (Read && Write ? O_RDWR : Write ? O_WRONLY : O_RDONLY);
  bool Truncate = false;
  switch (CreationDisposition) {
    case CREATE_NEW: Flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: Flags |= O_CREAT, Truncate = true; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: Flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: Truncate = true; break;
    default: errno = EINVAL; return -1;
  }
  if (Truncate && !Write) {
    errno = EACCES;
    return -1;
  }
  const int Fd = ::open(FileName.c_str(), Flags, 0666);
  if (Fd < 0) return -1;
  struct stat Info {};
  if (::fstat(Fd, &Info) == 0 && S_ISDIR(Info.st_mode)) {
    ::close(Fd);
    errno = EISDIR;
    return -1;
  }

  {
    std::lock_guard<std::mutex> Hold(ShareModeLock);
    const bool ShareRead = (ShareMode & FILE_SHARE_READ) != 0;
    const bool ShareWrite = (ShareMode & FILE_SHARE_WRITE) != 0;
    if ((Read && ShareFactHeld(Fd, sfDenyRead)) || (Write && ShareFactHeld(Fd, sfDenyWrite)) ||
        (!ShareRead && ShareFactHeld(Fd, sfAccessRead)) || (!ShareWrite && ShareFactHeld(Fd, sfAccessWrite))) {
      ::close(Fd);
      errno = EBUSY;
      return -1;
    }
    const bool Readable = (Flags & O_ACCMODE) != O_WRONLY;
    if (Read) AnnounceShareFact(Fd, sfAccessRead, Readable);
    if (Write) AnnounceShareFact(Fd, sfAccessWrite, Readable);
    if (!ShareRead) AnnounceShareFact(Fd, sfDenyRead, Readable);
    if (!ShareWrite) AnnounceShareFact(Fd, sfDenyWrite, Readable);
  }

  // Devices and pipes have nothing to truncate.
  if (Truncate && S_ISREG(Info.st_mode) && ::ftruncate(Fd, 0) != 0) {
    const int Error = errno;
    ::close(Fd);
    errno = Error;
    return -1;
  }
  if (FlagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) ::unlink(FileName.c_str());
  return Fd;
}

int WideFileCreate(const std::string& FileName) {
  return WideCreateFile(FileName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
}

int WideFileOpen(const std::string& FileName, uint16_t Mode) {
  const uint32_t Access = Mode & 3;
  const uint32_t Sharing = Mode & 0xF0;
  if (Access > 2 || Sharing > 0x40) {
    errno = EINVAL;
    return -1;
  }
  static constexpr uint32_t AccessOf[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  static constexpr uint32_t ShareOf[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
  return WideCreateFile(FileName, AccessOf[Access], ShareOf[Sharing >> 4], nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool OpenClipboardRetry(const std::function<bool()>& TryOpen, const std::function<void(uint32_t Ms)>& Pause) {
  for (int Try = 0; Try < 10; ++Try) {
    if (TryOpen()) return true;
    Pause(20);
  }
  return false;
}

bool OpenClipboardRetry() {
  return OpenClipboardRetry([] { return OpenClipboard(nullptr); }, [](uint32_t Ms) { Sleep(Ms); });
}

bool IsRemoteSession() { return GetSystemMetrics(SM_REMOTESESSION) != 0; }

void BuildCosineRamp() {
  for (int i = 0; i < 256; ++i)
    CosineRamp[i] = int32_t(std::nearbyint(64.0 - 64.0 * std::cos(i * std::numbers::pi / 255.0)));
}

}  // namespace zv
