#include "common/fs_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
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
  struct stat info {};
  int failure = 0;
  const UniqueFd fd = OpenRegular(path, &info, &failure);
  if (!fd.Valid()) {
    result.status = failure == ENOENT ? ReadStatus::Missing : ReadStatus::Error;
    return result;
  }
  result.status = ReadStatus::Error;
  if (uint64_t(info.st_size) > maxBytes) return result;
  // The size is checked again while reading: the file may have grown since.
  if (ReadUpTo(fd.Get(), maxBytes, result.bytes))
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
