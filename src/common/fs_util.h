// Small POSIX file helpers for the settings store and the library: RAII descriptors, whole-file
// reads, crash-safe replacement of a file, and a lock file.
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
  // ReadSmallFile's Error: why, to follow the file's name ("is not a regular file", "is larger than
  // N bytes", "cannot be read: " and the system's words).
  std::string cause;
};

FileContents ReadWholeFile(const std::string& path);

// ReadWholeFile for a regular file of at most maxBytes. Anything else there (a folder, a pipe, a
// larger file) is an Error, found without blocking and without reading it whole.
FileContents ReadSmallFile(const std::string& path, size_t maxBytes);

// A file's next content, written and synced under a hidden temporary name beside it,
// ".<name>.korvi-XXXXXX" (made new, never through a link), until Commit() renames it over the
// file; SyncFolder then makes the rename durable (once for several). Dropped uncommitted, it
// removes its temporary file. Causes name the file, not its folder.
class StagedFile {
 public:
  StagedFile() = default;
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  bool Write(const std::string& path, std::string_view bytes, std::string* error = nullptr);
  bool Commit(std::string* error = nullptr);

 private:
  std::string m_path;
  std::string m_temp;  // empty when there is none
};

// Writes to a temporary file next to `path` (see StagedFile), syncs it and renames it over `path`.
// On failure `path` is untouched, no temporary file is left behind, and *error says why.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// fsync of a folder, for the renames in it; a failure cannot undo them and is not reported.
void SyncFolder(const std::string& folder);

// Whether a file name is one of StagedFile's temporary names.
bool IsTemporaryName(std::string_view name);

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
