#pragma once
// APE files: the raw CD audio of one track goes to our Monkey's Audio compressor, which creates,
// fills and finalises the file itself. The base stream is never opened.

#include <memory>
#include <string>

#include "rip/output_media.h"

namespace korvi {

class IAPECompress;

class CAPEOutputMedia : public COutputMediaFile {
 public:
  // compressionLevel: 1000 "Fast" to 5000 "Insane", passed to the compressor unchanged.
  CAPEOutputMedia(int32_t compressionLevel, std::string fileName);
  ~CAPEOutputMedia() override;

  // Creates and starts the compressor; without one the writer writes nothing.
  void Open() override;
  // The byte count when the compressor took the bytes, else 0.
  int Write(const uint8_t* data, int count) override;
  // Finishes the file and destroys the compressor.
  void Close() override;

  bool Failed() const override { return !m_failure.empty(); }
  std::string FailureText() const override { return m_failure; }

 private:
  void Fail(const std::string& what);

  int32_t m_compressionLevel;
  std::unique_ptr<IAPECompress> m_compressor;
  std::string m_failure;  // the first thing that went wrong
};

}  // namespace korvi
