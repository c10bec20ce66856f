#include "common/fs_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <vector>

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

// Removes the temporary file unless the rename consumed it.
class TempFile {
 public:
  explicit TempFile(std::string path) : m_path(std::move(path)) {}
  ~TempFile() {
    if (!m_path.empty()) ::unlink(m_path.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return m_path; }
  void Committed() { m_path.clear(); }

 private:
  std::string m_path;
};

mode_t ModeForReplacement(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
  return 0600;
}

void SyncFolder(const std::string& folder) {
  // Makes the rename itself durable; a failure here cannot undo it, so it is not reported.
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Valid()) ::fsync(dir.Get());
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
  // Non-blocking, so that opening a pipe left at the path does not wait for a writer.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.Valid()) {
    result.status = errno == ENOENT ? ReadStatus::Missing : ReadStatus::Error;
    return result;
  }
  struct stat st {};
  result.status = ReadStatus::Error;
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > maxBytes) return result;
  // The size is checked again while reading: the file may have grown since.
  if (ReadAll(fd.Get(), result.bytes, maxBytes) && result.bytes.size() <= maxBytes)
    result.status = ReadStatus::Ok;
  else
    result.bytes.clear();
  return result;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
  std::string pattern = path + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
  if (!fd.Valid()) return false;
  TempFile temp(name.data());

  if (::fchmod(fd.Get(), ModeForReplacement(path)) != 0) return false;
  if (!WriteAll(fd.Get(), bytes) || ::fsync(fd.Get()) != 0 || !fd.Close()) return false;
  if (::rename(temp.Path().c_str(), path.c_str()) != 0) return false;
  temp.Committed();
  SyncFolder(ParentFolder(path));
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
