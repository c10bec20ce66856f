// Preloaded (LD_PRELOAD) into a program, this presents the drives KORVI_FAKE_DRIVES describes at
// their device paths: opening one gives a descriptor of its own, stat calls a block device, and
// its ioctls are answered by the emulated drive. Every other file passes through untouched.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fakedrive/drive_config.h"
#include "fakedrive/drive_ioctls.h"
#include "fakedrive/emulated_drive.h"

namespace {

using korvi::fakedrive::EmulatedDrive;

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// The drives, made once from the environment; reading it opens no file, so that the calls this
// library answers can ask for the list while it is made. Never destroyed: files are still opened
// and closed while the program's statics are torn down.
const std::vector<std::unique_ptr<EmulatedDrive>>& Drives() {
  static auto* const drives = new std::vector<std::unique_ptr<EmulatedDrive>>();
  static std::once_flag once;
  std::call_once(once, [] {
    const char* list = std::getenv("KORVI_FAKE_DRIVES");
    if (!list) return;
    std::string error;
    for (korvi::fakedrive::DriveConfig& config : korvi::fakedrive::ParseDriveList(list, &error))
      drives->push_back(std::make_unique<EmulatedDrive>(std::move(config)));
    if (!error.empty()) std::fprintf(stderr, "KORVI_FAKE_DRIVES: %s\n", error.c_str());
  });
  return *drives;
}

int DriveIndex(const char* path) {
  if (!path) return -1;
  const auto& drives = Drives();
  for (size_t i = 0; i < drives.size(); ++i)
    if (drives[i]->Config().device == path) return int(i);
  return -1;
}

// Which drive each open descriptor belongs to, plus one; 0 for a descriptor of anything else.
std::array<std::atomic<int>, 4096> g_descriptors{};

EmulatedDrive* DriveOf(int fd) {
  if (fd < 0 || size_t(fd) >= g_descriptors.size()) return nullptr;
  const int slot = g_descriptors[size_t(fd)].load();
  return slot > 0 ? Drives()[size_t(slot - 1)].get() : nullptr;
}

// A lock taken on a drive's descriptor is held on a file of that drive's own (a real drive's
// descriptors share its device node; ours are all /dev/null, which every drive would share), so
// that programs flocking one emulated drive exclude each other and no other drive. Programs given
// the same KORVI_FAKE_DRIVES share their drives; tests that each make their own list do not, even
// at the same device path. Plus one.
std::array<std::atomic<int>, 4096> g_lockFiles{};

int LockFileOf(int fd, const EmulatedDrive& drive) {
  if (const int held = g_lockFiles[size_t(fd)].load(); held > 0) return held - 1;
  const char* list = std::getenv("KORVI_FAKE_DRIVES");
  uint64_t hash = 0xcbf29ce484222325u;  // FNV-1a of the list and the device
  for (const std::string& part : {std::string(list ? list : ""), drive.Config().device})
    for (const char c : part + '\n') hash = (hash ^ uint8_t(c)) * 0x100000001b3u;
  char name[64];
  std::snprintf(name, sizeof name, "/korvi-fakedrive-%u-%016llx.lock", unsigned(getuid()),
                static_cast<unsigned long long>(hash));
  const char* folder = std::getenv("TMPDIR");
  const std::string path = std::string(folder && *folder ? folder : "/tmp") + name;
  static const auto realOpen = Real<int (*)(const char*, int, ...)>("open");
  const int lockFd = realOpen(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lockFd >= 0) g_lockFiles[size_t(fd)] = lockFd + 1;
  return lockFd;
}

int OpenDrive(int index) {
  static const auto realOpen = Real<int (*)(const char*, int, ...)>("open");
  const int fd = realOpen("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fd;
  if (size_t(fd) >= g_descriptors.size()) {
    Real<int (*)(int)>("close")(fd);
    errno = EMFILE;
    return -1;
  }
  g_descriptors[size_t(fd)] = index + 1;
  Drives()[size_t(index)]->Opened();
  return fd;
}

template <typename StatBuffer>
void FillBlockDevice(int index, StatBuffer* info) {
  std::memset(info, 0, sizeof *info);
  info->st_mode = S_IFBLK | 0660;
  info->st_rdev = makedev(11, unsigned(index));
  info->st_dev = makedev(0, 5);
  info->st_ino = ino_t(0x4B000 + index);
  info->st_nlink = 1;
  info->st_blksize = 2048;
}

// The same for statx, as Qt's file information asks: a block device with the kernel's CD-ROM major.
void FillBlockDevice(int index, struct statx* info) {
  std::memset(info, 0, sizeof *info);
  info->stx_mask = STATX_BASIC_STATS;
  info->stx_mode = S_IFBLK | 0660;
  info->stx_rdev_major = 11;
  info->stx_rdev_minor = unsigned(index);
  info->stx_dev_minor = 5;
  info->stx_ino = uint64_t(0x4B000 + index);
  info->stx_nlink = 1;
  info->stx_blksize = 2048;
}

// The drive a path names, or with AT_EMPTY_PATH and an empty path the one a descriptor is open on;
// -1 for anything else.
int DriveAt(int dirfd, const char* path, int flags) {
  if (path && path[0] == '\0' && (flags & AT_EMPTY_PATH) && dirfd >= 0 && size_t(dirfd) < g_descriptors.size())
    return g_descriptors[size_t(dirfd)].load() - 1;
  return DriveIndex(path);
}

// With KORVI_FAKE_DRIVE_STATS naming a file, a line a drive is added to it when the program ends:
// its device, the commands it answered and the sectors it read (for the benchmarks' model), then
// whether its tray is open and the speed it was left at (0: its fastest).
__attribute__((destructor)) void WriteStats() {
  const char* path = std::getenv("KORVI_FAKE_DRIVE_STATS");
  if (!path || !*path) return;
  FILE* out = std::fopen(path, "ae");
  if (!out) return;
  for (const auto& drive : Drives())
    std::fprintf(out, "%s commands %llu sectors %llu tray %s speed %g\n", drive->Config().device.c_str(),
                 static_cast<unsigned long long>(drive->Commands()),
                 static_cast<unsigned long long>(drive->SectorsRead()), drive->TrayOpen() ? "open" : "closed",
                 drive->Speed());
  std::fclose(out);
}

mode_t ModeArgument(int flags, va_list arguments) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(arguments, int)) : 0;
}

}  // namespace

// Only these calls leave the library; everything else in it is hidden.
#pragma GCC visibility push(default)
extern "C" {

using OpenFunction = int (*)(const char*, int, ...);
using OpenAtFunction = int (*)(int, const char*, int, ...);

// The device paths open a drive; everything else goes to the real call with the same arguments.
#define KORVI_OPEN_BODY(name, Function, ...)                  \
  va_list arguments;                                           \
  va_start(arguments, flags);                                  \
  const mode_t mode = ModeArgument(flags, arguments);          \
  va_end(arguments);                                           \
  const int index = DriveIndex(path);                          \
  if (index >= 0) return OpenDrive(index);                     \
  static const auto real = Real<Function>(#name);              \
  return real(__VA_ARGS__, flags, mode);

int open(const char* path, int flags, ...) { KORVI_OPEN_BODY(open, OpenFunction, path) }
int open64(const char* path, int flags, ...) { KORVI_OPEN_BODY(open64, OpenFunction, path) }
int openat(int dirfd, const char* path, int flags, ...) { KORVI_OPEN_BODY(openat, OpenAtFunction, dirfd, path) }
int openat64(int dirfd, const char* path, int flags, ...) {
  KORVI_OPEN_BODY(openat64, OpenAtFunction, dirfd, path)
}
#undef KORVI_OPEN_BODY

int __open_2(const char* path, int flags) { return open(path, flags); }
int __open64_2(const char* path, int flags) { return open64(path, flags); }

int close(int fd) {
  static const auto real = Real<int (*)(int)>("close");
  if (fd >= 0 && size_t(fd) < g_descriptors.size()) {
    g_descriptors[size_t(fd)] = 0;
    if (const int lockFd = g_lockFiles[size_t(fd)].exchange(0); lockFd > 0) real(lockFd - 1);
  }
  return real(fd);
}

#define KORVI_STAT(name, type)                                     \
  int name(const char* path, struct type* info) {                  \
    const int index = DriveIndex(path);                            \
    if (index >= 0) return FillBlockDevice(index, info), 0;        \
    static const auto real = Real<int (*)(const char*, struct type*)>(#name); \
    return real(path, info);                                       \
  }
KORVI_STAT(stat, stat)
KORVI_STAT(lstat, stat)
KORVI_STAT(stat64, stat64)
KORVI_STAT(lstat64, stat64)
#undef KORVI_STAT

#define KORVI_FSTAT(name, type)                                               \
  int name(int fd, struct type* info) {                                       \
    const int slot = fd >= 0 && size_t(fd) < g_descriptors.size() ? g_descriptors[size_t(fd)].load() : 0; \
    if (slot > 0) return FillBlockDevice(slot - 1, info), 0;                  \
    static const auto real = Real<int (*)(int, struct type*)>(#name);         \
    return real(fd, info);                                                    \
  }
KORVI_FSTAT(fstat, stat)
KORVI_FSTAT(fstat64, stat64)
#undef KORVI_FSTAT

#define KORVI_FSTATAT(name, type)                                                    \
  int name(int dirfd, const char* path, struct type* info, int flags) {              \
    const int index = DriveAt(dirfd, path, flags);                                   \
    if (index >= 0) return FillBlockDevice(index, info), 0;                          \
    static const auto real = Real<int (*)(int, const char*, struct type*, int)>(#name); \
    return real(dirfd, path, info, flags);                                           \
  }
KORVI_FSTATAT(fstatat, stat)
KORVI_FSTATAT(fstatat64, stat64)
#undef KORVI_FSTATAT

int statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* info) {
  const int index = DriveAt(dirfd, path, flags);
  if (index >= 0) return FillBlockDevice(index, info), 0;
  static const auto real = Real<int (*)(int, const char*, int, unsigned int, struct statx*)>("statx");
  return real(dirfd, path, flags, mask, info);
}

int flock(int fd, int operation) {
  static const auto real = Real<int (*)(int, int)>("flock");
  if (const EmulatedDrive* drive = DriveOf(fd)) {
    const int lockFd = LockFileOf(fd, *drive);
    return lockFd < 0 ? -1 : real(lockFd, operation);
  }
  return real(fd, operation);
}

int ioctl(int fd, unsigned long request, ...) {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  if (EmulatedDrive* drive = DriveOf(fd)) return korvi::fakedrive::DriveIoctl(*drive, request, argument);
  static const auto real = Real<int (*)(int, unsigned long, ...)>("ioctl");
  return real(fd, request, argument);
}

}  // extern "C"
#pragma GCC visibility pop
