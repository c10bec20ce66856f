#pragma once
// The writer interface behind every output format: open, write raw CD audio, close. A writer never
// stops the job; it keeps the first failure and its cause for the job's report.

#include <cstdint>
#include <string>
#include <vector>

namespace korvi {

class CTrackInfo;

// An output file on a descriptor that remembers the first thing that went wrong. Writes are
// gathered into blocks of kBlockBytes, so the disk gets a few large writes instead of one per
// sector; WriteAt and Close write what is gathered first.
class OutputFile {
 public:
  static constexpr size_t kBlockBytes = 256 * 1024;

  OutputFile() = default;
  // Writes what is gathered, and closes.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or truncates the file; never through a symbolic link.
  void Open(const std::string& path);
  void Write(const void* data, size_t size);
  void WriteAt(int64_t offset, const void* data, size_t size);
  // Writes what is gathered, so that whoever opens the file by name sees every byte so far.
  void Flush();
  void Close();

  bool IsOpen() const { return m_fd >= 0; }
  bool Failed() const { return !m_error.empty(); }
  const std::string& Error() const { return m_error; }
  void Fail(const std::string& error);

 private:
  void FailWithErrno(const char* what);
  void WriteNow(const char* bytes, size_t size);
  int m_fd = -1;
  std::string m_error;
  std::vector<char> m_block;
};

class COutputMediaFile {
 public:
  explicit COutputMediaFile(std::string fileName) : m_fileName(std::move(fileName)) {}
  virtual ~COutputMediaFile() = default;
  COutputMediaFile(const COutputMediaFile&) = delete;
  COutputMediaFile& operator=(const COutputMediaFile&) = delete;

  virtual void Open() { m_stream.Open(m_fileName); }
  virtual void Close() { m_stream.Close(); }
  // data: raw CD audio, 16-bit little-endian stereo at 44100 Hz.
  virtual int Write(const uint8_t* data, int count) = 0;

  void SetTagTrack(const CTrackInfo* track) { m_tagTrack = track; }

  // Whether anything failed so far, and why.
  virtual bool Failed() const { return m_stream.Failed(); }
  virtual std::string FailureText() const { return m_stream.Error(); }

 protected:
  std::string m_fileName;
  OutputFile m_stream;
  const CTrackInfo* m_tagTrack = nullptr;
};

}  // namespace korvi
