#include "tags/checked_file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "common/fs_util.h"

namespace korvi {
namespace {

constexpr long kShiftChunk = 256 * 1024;

}  // namespace

CheckedFileStream::CheckedFileStream(std::string path) : m_path(std::move(path)) {
  m_fd = ::open(m_path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  if (m_fd < 0) Fail("cannot open the file");
}

CheckedFileStream::~CheckedFileStream() {
  if (m_fd >= 0) ::close(m_fd);
}

void CheckedFileStream::Fail(const char* what) {
  if (m_error.empty()) m_error = std::string(what) + ": " + std::strerror(errno);
}

bool CheckedFileStream::ReadAt(long offset, char* data, size_t size) {
  const int64_t got = ReadFull(m_fd, data, size, offset);
  if (got < 0) {
    Fail("cannot read the file");
    return false;
  }
  if (size_t(got) < size) {
    errno = EIO;
    Fail("the file ended early");
    return false;
  }
  return true;
}

bool CheckedFileStream::WriteAt(long offset, const char* data, size_t size) {
  if (WriteAll(m_fd, data, size, offset)) return true;
  Fail("cannot write the file");
  return false;
}

TagLib::ByteVector CheckedFileStream::readBlock(unsigned long length) {
  if (m_fd < 0 || length == 0) return {};
  const long end = this->length();
  const long size = std::max(0L, std::min(long(length), end - m_position));
  TagLib::ByteVector block(static_cast<unsigned>(size), '\0');
  if (size > 0 && !ReadAt(m_position, block.data(), size_t(size))) return {};
  m_position += size;
  return block;
}

void CheckedFileStream::writeBlock(const TagLib::ByteVector& data) {
  if (m_fd < 0 || !m_error.empty()) return;
  if (WriteAt(m_position, data.data(), data.size())) m_position += long(data.size());
}

bool CheckedFileStream::Shift(long from, long end, long by) {
  if (by == 0 || from >= end) return true;
  std::vector<char> buffer(size_t(std::min(kShiftChunk, end - from)));
  if (by > 0) {
    // From the end backwards, so that nothing is overwritten before it is moved.
    for (long chunkEnd = end; chunkEnd > from;) {
      const long chunkStart = std::max(from, chunkEnd - kShiftChunk);
      const size_t size = size_t(chunkEnd - chunkStart);
      if (!ReadAt(chunkStart, buffer.data(), size) || !WriteAt(chunkStart + by, buffer.data(), size))
        return false;
      chunkEnd = chunkStart;
    }
  } else {
    for (long chunkStart = from; chunkStart < end;) {
      const size_t size = size_t(std::min(kShiftChunk, end - chunkStart));
      if (!ReadAt(chunkStart, buffer.data(), size) || !WriteAt(chunkStart + by, buffer.data(), size))
        return false;
      chunkStart += long(size);
    }
  }
  return true;
}

void CheckedFileStream::insert(const TagLib::ByteVector& data, unsigned long start, unsigned long replace) {
  if (m_fd < 0 || !m_error.empty()) return;
  const long growth = long(data.size()) - long(replace);
  const long end = length();
  const long tail = long(start + replace);
  if (growth > 0) {
    // Room first, at the end: a disk that is full or a size limit shows here, before any byte moved.
    const std::vector<char> room(size_t(growth), '\0');
    if (!WriteAt(end, room.data(), room.size())) {
      const int cause = errno;
      if (::ftruncate(m_fd, end) != 0) Fail("cannot restore the file's length");
      errno = cause;
      return;
    }
  }
  if (!Shift(tail, end, growth)) return;
  if (growth < 0 && ::ftruncate(m_fd, end + growth) != 0) {
    Fail("cannot shorten the file");
    return;
  }
  if (WriteAt(long(start), data.data(), data.size())) m_position = long(start) + long(data.size());
}

void CheckedFileStream::removeBlock(unsigned long start, unsigned long length) {
  if (m_fd < 0 || !m_error.empty() || length == 0) return;
  const long end = this->length();
  if (!Shift(long(start + length), end, -long(length))) return;
  if (::ftruncate(m_fd, std::max(long(start), end - long(length))) != 0) Fail("cannot shorten the file");
}

void CheckedFileStream::seek(long offset, Position p) {
  long base = 0;
  if (p == Current) base = m_position;
  if (p == End) base = length();
  m_position = std::max(0L, base + offset);
}

long CheckedFileStream::length() {
  struct stat info {};
  if (m_fd < 0 || ::fstat(m_fd, &info) != 0) return 0;
  return long(info.st_size);
}

void CheckedFileStream::truncate(long length) {
  if (m_fd < 0 || !m_error.empty()) return;
  if (::ftruncate(m_fd, std::max(0L, length)) != 0) Fail("cannot truncate the file");
}

}  // namespace korvi
