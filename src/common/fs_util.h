// Small POSIX file helpers for the settings store, the library and the files the user hands us:
// RAII descriptors, opening a file without waiting on a pipe or a device, whole-file reads and
// crash-safe replacement of a file.
#pragma once

#include <sys/types.h>

#include <cstdint>
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

// Opens path for reading when it is a regular file (a link to one will do). A pipe, a socket, a
// device or a folder there is refused at once: the open does not wait for a writer. Invalid, with
// why in *error naming the file ("PATH is not a regular file", "cannot open PATH: ..."), otherwise.
// The descriptor blocks as usual afterwards, so it can be handed to fdopen() and libraries.
UniqueFd OpenRegularFile(const std::string& path, std::string* error, uint64_t* size = nullptr);

// Appends what fd holds up to its end to out; false on a read error, or as soon as out holds more
// than maxBytes.
bool ReadUpTo(int fd, size_t maxBytes, std::string& out);

// The whole of a regular file; anything else there is an Error, found without blocking.
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
