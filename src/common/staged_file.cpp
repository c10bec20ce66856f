#include "common/staged_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "text/utf8_text.h"

namespace korvi {
namespace {

constexpr std::string_view kTempMark = ".korvi-";
constexpr size_t kRandomChars = 6;
constexpr size_t kNameMaxBytes = 255;
constexpr int kCreateAttempts = 100;

std::string SystemError(const std::string& what, int error) { return what + ": " + std::strerror(error); }

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string RandomChars() {
  unsigned char bytes[kRandomChars] = {};
  if (getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes)) {
    // Only the uniqueness matters, and O_EXCL checks that; any varying bytes will do.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t seed = uint64_t(now.tv_nsec) ^ uint64_t(getpid()) << 20;
    for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(seed >> (8 * i));
  }
  std::string out;
  for (unsigned char b : bytes) out += kAlphabet[b % (sizeof kAlphabet - 1)];
  return out;
}

std::string TempNameFor(std::string_view finalName) {
  const size_t room = kNameMaxBytes - 1 - kTempMark.size() - kRandomChars;
  return "." + std::string(CutUtf8(finalName, room)) + std::string(kTempMark) + RandomChars();
}

// The folder part of a path ("." for a bare name) and the name in it.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

FinalName LookAtFinalName(const std::string& path) {
  FinalName name;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) name.refusal = SystemError("cannot look at the name", errno);
    return name;
  }
  if (S_ISREG(st.st_mode))
    name.taken = true;
  else if (S_ISLNK(st.st_mode))
    name.refusal = "is a symbolic link; nothing is written through it";
  else if (S_ISDIR(st.st_mode))
    name.refusal = "is a folder, not a regular file";
  else if (S_ISFIFO(st.st_mode))
    name.refusal = "is a named pipe (FIFO), not a regular file";
  else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
    name.refusal = "is a device, not a regular file";
  else
    name.refusal = "is not a regular file";
  return name;
}

bool IsStagedFileName(std::string_view name) {
  // A dot, at least one character of the name, the mark, the random part.
  if (name.size() < 2 + kTempMark.size() + kRandomChars || name.front() != '.') return false;
  const std::string_view random = name.substr(name.size() - kRandomChars);
  return name.substr(name.size() - kRandomChars - kTempMark.size(), kTempMark.size()) == kTempMark &&
         random.find_first_not_of(kAlphabet) == std::string_view::npos;
}

std::optional<StagedFile> StagedFile::Create(const std::string& finalPath, mode_t mode, std::string* error) {
  StagedFile file;
  auto [folder, name] = SplitPath(finalPath);
  file.m_folder = UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!file.m_folder.Valid()) {
    if (error) *error = SystemError("cannot create the file", errno);
    return std::nullopt;
  }
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    std::string tempName = TempNameFor(name);
    file.m_fd = UniqueFd(::openat(file.m_folder.Get(), tempName.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!file.m_fd.Valid() && errno == EEXIST) continue;
    if (!file.m_fd.Valid()) break;
    file.m_folderPath = folder;
    if (finalPath.find('/') == std::string::npos)
      file.m_tempPath = tempName;
    else
      file.m_tempPath = (folder == "/" ? std::string() : folder) + "/" + tempName;
    file.m_tempName = std::move(tempName);
    file.m_finalPath = finalPath;
    file.m_finalName = std::move(name);
    return file;
  }
  if (error) *error = SystemError("cannot create the file", errno);
  return std::nullopt;
}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
  if (this != &other) {
    Discard();
    m_folder = std::move(other.m_folder);
    m_fd = std::move(other.m_fd);
    m_folderPath = std::move(other.m_folderPath);
    m_tempName = std::move(other.m_tempName);
    m_tempPath = std::move(other.m_tempPath);
    m_finalPath = std::move(other.m_finalPath);
    m_finalName = std::move(other.m_finalName);
    other.m_tempName.clear();
  }
  return *this;
}

StagedFile::~StagedFile() { Discard(); }

void StagedFile::Discard() {
  m_fd.Reset();
  if (m_folder.Valid() && !m_tempName.empty()) ::unlinkat(m_folder.Get(), m_tempName.c_str(), 0);
  m_tempName.clear();
}

bool StagedFile::Write(std::string_view bytes, std::string* error) {
  if (WriteAll(m_fd.Get(), bytes.data(), bytes.size())) return true;
  if (error) *error = SystemError("cannot write the file", errno);
  return false;
}

bool StagedFile::Sync(std::string* error) {
  // The contents reach the disk before the name does: after a crash the final name holds the old
  // file or the whole new one.
  if (::fsync(m_fd.Get()) != 0 || !m_fd.Close()) {
    if (error) *error = SystemError("cannot write the file", errno);
    Discard();
    return false;
  }
  return true;
}

bool StagedFile::Commit(std::string* error) {
  if (m_tempName.empty()) {
    if (error) *error = "the file was already moved or removed";
    return false;
  }
  if (m_fd.Valid() && !Sync(error)) return false;
  if (::renameat(m_folder.Get(), m_tempName.c_str(), m_folder.Get(), m_finalName.c_str()) != 0) {
    if (error) *error = SystemError("cannot move the finished file to its name", errno);
    Discard();
    return false;
  }
  m_tempName.clear();
  return true;
}

bool StagedFile::CommitAsNew(bool* taken, std::string* error) {
  *taken = false;
  if (m_tempName.empty()) {
    if (error) *error = "the file was already moved or removed";
    return false;
  }
  if (m_fd.Valid() && !Sync(error)) return false;
  const int dir = m_folder.Get();
  int result = ::renameat2(dir, m_tempName.c_str(), dir, m_finalName.c_str(), RENAME_NOREPLACE);
  if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
    // A file system without that rename: a hard link claims the name just as atomically.
    result = ::linkat(dir, m_tempName.c_str(), dir, m_finalName.c_str(), 0);
    if (result == 0) ::unlinkat(dir, m_tempName.c_str(), 0);
  }
  if (result != 0 && (errno == EPERM || errno == EOPNOTSUPP)) {
    // Nor hard links (FAT): a look first, then the rename; only a writer racing us can lose.
    struct stat st {};
    if (::fstatat(dir, m_finalName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
      errno = EEXIST;
    else if (errno == ENOENT)
      result = ::renameat(dir, m_tempName.c_str(), dir, m_finalName.c_str());
  }
  if (result != 0) {
    *taken = errno == EEXIST;
    if (!*taken) {
      if (error) *error = SystemError("cannot move the finished file to its name", errno);
      Discard();
    }
    return false;
  }
  m_tempName.clear();
  return true;
}

void StagedFile::Retarget(const std::string& finalPath) {
  m_finalPath = finalPath;
  m_finalName = SplitPath(finalPath).second;
}

bool StagedFile::FolderStillThere() const {
  struct stat now {};
  struct stat made {};
  return ::stat(m_folderPath.c_str(), &now) == 0 && ::fstat(m_folder.Get(), &made) == 0 &&
         now.st_dev == made.st_dev && now.st_ino == made.st_ino;
}

}  // namespace korvi
