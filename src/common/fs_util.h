// Small POSIX file helpers for the settings store, the library and the files the user hands us:
// RAII descriptors, opening a file without waiting on a pipe or a device, whole-file reads,
// crash-safe replacement of a file, and a lock file.
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

// Writes all size bytes to fd: at offset when it is not negative (pwrite, the file's position left
// alone), else at the file's position; going on after a signal or a short write. False with errno
// set when a write fails, EIO when one writes nothing.
bool WriteAll(int fd, const void* data, size_t size, int64_t offset = -1);

// Reads up to size bytes of fd at offset (pread, the file's position left alone), going on after a
// signal or a short read: the count read, fewer only where the file ends, or -1 with errno set.
int64_t ReadFull(int fd, void* data, size_t size, int64_t offset);

enum class ReadStatus { Ok, Missing, Error };

struct FileContents {
  ReadStatus status = ReadStatus::Missing;
  std::string bytes;
  // ReadSmallFile's Error: why, to follow the file's name ("is not a regular file", "is larger than
  // N bytes", "cannot be read: " and the system's words).
  std::string cause;
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

// The mode of the regular file at path, for its replacement; 0600 when there is none.
mode_t ModeToKeep(const std::string& path);

// Writes to a temporary file next to `path` (a StagedFile), syncs it and renames it over `path`.
// On failure `path` is untouched, no temporary file is left behind, and *error says why.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// fsync of a folder, for the renames in it; a failure cannot undo them and is not reported.
void SyncFolder(const std::string& folder);

// Removes what killed writers left in folder: the regular files whose names isTemporary accepts,
// last changed more than maxAgeSeconds ago (younger ones may belong to a write in flight). Links
// are not followed and anything but a regular file stays; failures are ignored.
void RemoveStaleTemporaries(const std::string& folder, int64_t maxAgeSeconds,
                            bool (*isTemporary)(std::string_view name));

// An exclusive flock(2) on a lock file, held until the object goes.
class FileLock {
 public:
  // Opens path (made when missing, never through a link) and waits at most waitMs for whoever
  // holds it; false with *error when the lock is not had. Lock files are never removed: a writer
  // that removed one would let the next lock a new file while a third still held the old.
  bool Acquire(const std::string& path, int waitMs, std::string* error = nullptr);

 private:
  UniqueFd m_fd;
};

// Like `mkdir -p`; true when `path` is a directory afterwards.
bool MakeDirectories(const std::string& path, mode_t mode);

bool IsDirectory(const std::string& path);

std::string ParentFolder(const std::string& path);

}  // namespace korvi
