#include "common/fs_util.h"

#include "common/staged_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>

namespace korvi {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Reset();
    m_fd = other.Release();
  }
  return *this;
}

int UniqueFd::Release() {
  int fd = m_fd;
  m_fd = -1;
  return fd;
}

bool UniqueFd::Close() {
  if (m_fd < 0) return true;
  // On Linux the descriptor is gone even when close() fails, so never retry.
  bool ok = ::close(Release()) == 0;
  return ok;
}

void UniqueFd::Reset() { Close(); }

bool WriteAll(int fd, const void* data, size_t size, int64_t offset) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = offset < 0 ? ::write(fd, bytes, size) : ::pwrite(fd, bytes, size, off_t(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    bytes += written;
    size -= size_t(written);
    if (offset >= 0) offset += written;
  }
  return true;
}

int64_t ReadFull(int fd, void* data, size_t size, int64_t offset) {
  char* bytes = static_cast<char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, bytes + done, size - done, off_t(offset + int64_t(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += size_t(n);
  }
  return int64_t(done);
}

namespace {

std::string FileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// what + ": " + the system's words for cause (an errno value, taken before anything else runs).
bool Fail(std::string* error, int cause, const std::string& what) {
  if (error) *error = what + ": " + std::strerror(cause);
  return false;
}

// What OpenRegular reports when something other than a regular file is at the path.
constexpr int kNotRegular = -1;

// The file at path opened for reading, when it is a regular file; else invalid, with errno or
// kNotRegular in *failure. Opened non-blocking, so that a pipe left at the path does not wait for
// a writer (nor a device for its medium); a regular file then blocks again as usual.
UniqueFd OpenRegular(const std::string& path, struct stat* info, int* failure) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.Valid() || ::fstat(fd.Get(), info) != 0) {
    *failure = errno;
    return {};
  }
  if (!S_ISREG(info->st_mode)) {
    *failure = kNotRegular;
    return {};
  }
  const int flags = ::fcntl(fd.Get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
    *failure = errno;
    return {};
  }
  *failure = 0;
  return fd;
}

}  // namespace

mode_t ModeToKeep(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
  return 0600;
}

UniqueFd OpenRegularFile(const std::string& path, std::string* error, uint64_t* size) {
  struct stat info {};
  int failure = 0;
  UniqueFd fd = OpenRegular(path, &info, &failure);
  if (!fd.Valid()) {
    if (error) {
      if (failure == kNotRegular)
        *error =
            path + (S_ISDIR(info.st_mode) ? " is a folder, not a regular file" : " is not a regular file");
      else
        *error = "cannot open " + path + ": " + std::strerror(failure);
    }
    return fd;
  }
  if (size) *size = uint64_t(info.st_size);
  return fd;
}

bool ReadUpTo(int fd, size_t maxBytes, std::string& out) {
  char buffer[16384];
  while (out.size() <= maxBytes) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out.append(buffer, static_cast<size_t>(n));
  }
  return false;
}

FileContents ReadWholeFile(const std::string& path) { return ReadSmallFile(path, SIZE_MAX); }

FileContents ReadSmallFile(const std::string& path, size_t maxBytes) {
  FileContents result;
  const auto error = [&result](std::string cause) {
    result.status = ReadStatus::Error;
    result.bytes.clear();
    result.cause = std::move(cause);
    return result;
  };
  const auto unreadable = [&error](int cause) {
    return error(std::string("cannot be read: ") + std::strerror(cause));
  };
  const auto tooLarge = [&error, maxBytes] {
    return error("is larger than " + std::to_string(maxBytes) + " bytes");
  };
  struct stat info {};
  int failure = 0;
  const UniqueFd fd = OpenRegular(path, &info, &failure);
  if (!fd.Valid() && failure == ENOENT) return result;
  if (!fd.Valid() && failure == kNotRegular)
    return error(S_ISDIR(info.st_mode) ? "is a folder, not a regular file" : "is not a regular file");
  if (!fd.Valid()) return unreadable(failure);
  if (uint64_t(info.st_size) > maxBytes) return tooLarge();
  // The size is checked again while reading: the file may have grown since.
  if (!ReadUpTo(fd.Get(), maxBytes, result.bytes)) return result.bytes.size() > maxBytes ? tooLarge() : unreadable(errno);
  result.status = ReadStatus::Ok;
  return result;
}

void SyncFolder(const std::string& folder) {
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Valid()) ::fsync(dir.Get());
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  std::optional<StagedFile> staged = StagedFile::Create(path, ModeToKeep(path), error);
  if (!staged || !staged->Write(bytes, error) || !staged->Commit(error)) {
    if (error) *error = FileName(path) + ": " + *error;
    return false;
  }
  SyncFolder(ParentFolder(path));
  return true;
}

void RemoveStaleTemporaries(const std::string& folder, int64_t maxAgeSeconds,
                            bool (*isTemporary)(std::string_view name)) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), ::closedir);
  if (!dir) {
    ::close(fd);
    return;
  }
  const int64_t before = int64_t(std::time(nullptr)) - maxAgeSeconds;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (!isTemporary(entry->d_name)) continue;
    struct stat st {};
    if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        int64_t(st.st_mtime) < before)
      ::unlinkat(fd, entry->d_name, 0);
  }
}

bool FileLock::Acquire(const std::string& path, int waitMs, std::string* error) {
  m_fd.Reset();
  const std::string name = FileName(path);
  // Non-blocking open: a pipe put at the name must not hold the save up.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
  if (!fd.Valid()) {
    const int cause = errno;
    if (cause == ENOENT && !IsDirectory(ParentFolder(path))) {
      if (error) *error = "the folder does not exist";
      return false;
    }
    return Fail(error, cause, "cannot open the lock file " + name);
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) {
    const int cause = errno;
    return Fail(error, cause, "cannot open the lock file " + name);
  }
  if (!S_ISREG(st.st_mode)) {
    if (error) *error = "the lock file " + name + " is not a regular file";
    return false;
  }
  // Polled rather than waited for in flock(), so that a holder that hangs cannot hang us.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  auto pause = std::chrono::milliseconds(1);
  while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    const int cause = errno;
    if (cause == EINTR) continue;
    if (cause != EWOULDBLOCK) return Fail(error, cause, "cannot lock " + name);
    if (std::chrono::steady_clock::now() >= deadline) {
      if (error) *error = "another save held the lock file " + name + " too long";
      return false;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
  m_fd = std::move(fd);
  return true;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectories(const std::string& path, mode_t mode) {
  if (path.empty()) return false;
  if (IsDirectory(path)) return true;
  std::string parent = ParentFolder(path);
  if (parent != path && !MakeDirectories(parent, mode)) return false;
  if (::mkdir(path.c_str(), mode) == 0) return true;
  return errno == EEXIST && IsDirectory(path);
}

std::string ParentFolder(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return path.empty() ? "." : "/";
  size_t slash = path.rfind('/', end);
  if (slash == std::string::npos) return ".";
  size_t parentEnd = path.find_last_not_of('/', slash);
  return parentEnd == std::string::npos ? "/" : path.substr(0, parentEnd + 1);
}

}  // namespace korvi
