#include "common/fs_util.h"

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

namespace {

// Up to the end of the file, or until more than `limit` bytes are read.
bool ReadAll(int fd, std::string& out, size_t limit = SIZE_MAX) {
  char buffer[16384];
  while (out.size() <= limit) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

mode_t ModeForReplacement(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
  return 0600;
}

std::string FileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// what + ": " + the system's words for cause (an errno value, taken before anything else runs).
bool Fail(std::string* error, int cause, const std::string& what) {
  if (error) *error = what + ": " + std::strerror(cause);
  return false;
}

constexpr std::string_view kTemporaryMark = ".korvi-";
constexpr size_t kRandomChars = 6;  // mkostemp's XXXXXX
constexpr size_t kMaxNameBytes = 255;

// path's folder + "/." + its name + ".korvi-XXXXXX". A long name is cut (not inside a UTF-8
// character) so that the temporary name still fits the file system's limit.
std::string TemporaryPattern(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = FileName(path);
  size_t keep = std::min(name.size(), kMaxNameBytes - 1 - kTemporaryMark.size() - kRandomChars);
  while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  name.resize(keep);
  return folder + "." + name + std::string(kTemporaryMark) + std::string(kRandomChars, 'X');
}

bool IsRandomChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

}  // namespace

FileContents ReadWholeFile(const std::string& path) {
  FileContents result;
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) {
    result.status = errno == ENOENT ? ReadStatus::Missing : ReadStatus::Error;
    return result;
  }
  result.status = ReadAll(fd.Get(), result.bytes) ? ReadStatus::Ok : ReadStatus::Error;
  if (result.status == ReadStatus::Error) result.bytes.clear();
  return result;
}

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
  // Non-blocking, so that opening a pipe left at the path does not wait for a writer.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.Valid()) return errno == ENOENT ? result : unreadable(errno);
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) return unreadable(errno);
  if (!S_ISREG(st.st_mode)) return error("is not a regular file");
  if (uint64_t(st.st_size) > maxBytes) return tooLarge();
  // The size is checked again while reading: the file may have grown since.
  if (!ReadAll(fd.Get(), result.bytes, maxBytes)) return unreadable(errno);
  if (result.bytes.size() > maxBytes) return tooLarge();
  result.status = ReadStatus::Ok;
  return result;
}

void SyncFolder(const std::string& folder) {
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Valid()) ::fsync(dir.Get());
}

StagedFile::~StagedFile() {
  if (!m_temp.empty()) ::unlink(m_temp.c_str());
}

bool StagedFile::Write(const std::string& path, std::string_view bytes, std::string* error) {
  if (!m_temp.empty()) ::unlink(m_temp.c_str());
  m_temp.clear();
  m_path = path;
  const std::string name = FileName(path);
  std::string pattern = TemporaryPattern(path);
  // O_EXCL: the name is made new, so nothing already there (a link included) is written through.
  UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
  if (!fd.Valid()) {
    const int cause = errno;
    return Fail(error, cause, "cannot make a temporary file for " + name);
  }
  m_temp = pattern;
  if (::fchmod(fd.Get(), ModeForReplacement(path)) != 0 || !WriteAll(fd.Get(), bytes) ||
      ::fsync(fd.Get()) != 0 || !fd.Close()) {
    const int cause = errno;
    ::unlink(m_temp.c_str());
    m_temp.clear();
    return Fail(error, cause, "cannot write " + name);
  }
  return true;
}

bool StagedFile::Commit(std::string* error) {
  if (m_temp.empty()) {
    if (error) *error = "nothing was written for " + FileName(m_path);
    return false;
  }
  if (::rename(m_temp.c_str(), m_path.c_str()) != 0) {
    const int cause = errno;
    ::unlink(m_temp.c_str());
    m_temp.clear();
    return Fail(error, cause, "cannot put the new " + FileName(m_path) + " in place");
  }
  m_temp.clear();
  return true;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  StagedFile staged;
  if (!staged.Write(path, bytes, error) || !staged.Commit(error)) return false;
  SyncFolder(ParentFolder(path));
  return true;
}

bool IsTemporaryName(std::string_view name) {
  const size_t markAt = name.size() - std::min(name.size(), kTemporaryMark.size() + kRandomChars);
  // A dot, at least one character of the name, the mark, the random part.
  return markAt >= 2 && name[0] == '.' && name.substr(markAt, kTemporaryMark.size()) == kTemporaryMark &&
         std::all_of(name.end() - kRandomChars, name.end(), IsRandomChar);
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
