#include "rip/output_media.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/fs_util.h"

namespace korvi {

OutputFile::~OutputFile() { Close(); }

void OutputFile::Fail(const std::string& error) {
  if (m_error.empty()) m_error = error;
}

void OutputFile::FailWithErrno(const char* what) { Fail(std::string(what) + ": " + std::strerror(errno)); }

void OutputFile::Open(const std::string& path) {
  if (m_fd >= 0) return;
  m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (m_fd < 0) FailWithErrno("cannot create the file");
}

void OutputFile::Write(const void* data, size_t size) {
  if (m_fd < 0) return;
  const char* bytes = static_cast<const char*>(data);
  if (m_block.size() + size > kBlockBytes) Flush();
  if (size >= kBlockBytes) {
    WriteNow(bytes, size);
    return;
  }
  if (m_block.capacity() < kBlockBytes) m_block.reserve(kBlockBytes);
  m_block.insert(m_block.end(), bytes, bytes + size);
}

void OutputFile::Flush() {
  if (m_fd < 0 || m_block.empty()) return;
  WriteNow(m_block.data(), m_block.size());
  m_block.clear();
}

void OutputFile::WriteNow(const char* bytes, size_t size) {
  if (!WriteAll(m_fd, bytes, size)) FailWithErrno("cannot write the file");
}

void OutputFile::WriteAt(int64_t offset, const void* data, size_t size) {
  if (m_fd < 0) return;
  Flush();
  if (::lseek(m_fd, offset, SEEK_SET) < 0) {
    FailWithErrno("cannot seek in the file");
    return;
  }
  WriteNow(static_cast<const char*>(data), size);
}

void OutputFile::Close() {
  if (m_fd < 0) return;
  Flush();
  const int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0) FailWithErrno("cannot close the file");
}

}  // namespace korvi
