// Small POSIX file helpers for the settings store and the library: RAII descriptors, whole-file
// reads and crash-safe replacement of a file.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace korvi {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : m_fd(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return m_fd; }
  bool Valid() const { return m_fd >= 0; }
  int Release();
  // Closes now and reports whether close() succeeded (it can report a late write error).
  bool Close();
  void Reset();

 private:
  int m_fd = -1;
};

enum class ReadStatus { Ok, Missing, Error };

struct FileContents {
  ReadStatus status = ReadStatus::Missing;
  std::string bytes;
};

FileContents ReadWholeFile(const std::string& path);

// ReadWholeFile for a regular file of at most maxBytes. Anything else there (a folder, a pipe, a
// larger file) is an Error, found without blocking and without reading it whole.
FileContents ReadSmallFile(const std::string& path, size_t maxBytes);

// Writes to a temporary file next to `path`, syncs it and renames it over `path`.
// On failure `path` is untouched and no temporary file is left behind.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes);

// Like `mkdir -p`; true when `path` is a directory afterwards.
bool MakeDirectories(const std::string& path, mode_t mode);

bool IsDirectory(const std::string& path);

std::string ParentFolder(const std::string& path);

}  // namespace korvi
