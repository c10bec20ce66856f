#pragma once
// A file for TagLib that keeps the first failed read or write. TagLib's own file stream ignores
// what write() returns, so a tag written onto a full disk or past a file-size limit would cut the
// audio short and still count as saved. Growing the file makes room at its end first: when that
// fails, nothing has moved yet and the file stays as it was.

#include <taglib/tiostream.h>

#include <string>

namespace korvi {

class CheckedFileStream : public TagLib::IOStream {
 public:
  explicit CheckedFileStream(std::string path);
  ~CheckedFileStream() override;
  CheckedFileStream(const CheckedFileStream&) = delete;
  CheckedFileStream& operator=(const CheckedFileStream&) = delete;

  // The first thing that went wrong, with the system's reason; empty while all is well.
  const std::string& Error() const { return m_error; }

  TagLib::FileName name() const override { return m_path.c_str(); }
  TagLib::ByteVector readBlock(unsigned long length) override;
  void writeBlock(const TagLib::ByteVector& data) override;
  void insert(const TagLib::ByteVector& data, unsigned long start = 0, unsigned long replace = 0) override;
  void removeBlock(unsigned long start = 0, unsigned long length = 0) override;
  bool readOnly() const override { return false; }
  bool isOpen() const override { return m_fd >= 0; }
  void seek(long offset, Position p = Beginning) override;
  long tell() const override { return m_position; }
  long length() override;
  void truncate(long length) override;

 private:
  void Fail(const char* what);
  bool ReadAt(long offset, char* data, size_t size);
  bool WriteAt(long offset, const char* data, size_t size);
  // Moves the bytes from `from` to `end` by `by` bytes, towards the end (by > 0) or the start.
  bool Shift(long from, long end, long by);

  std::string m_path;
  int m_fd = -1;
  long m_position = 0;
  std::string m_error;
};

}  // namespace korvi
