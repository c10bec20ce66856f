#include "rip/ape_output_media.h"

#include "encoders/ape/ape_compress.h"
#include "text/utf16_text.h"

namespace korvi {

CAPEOutputMedia::CAPEOutputMedia(int32_t compressionLevel, std::string fileName)
    : COutputMediaFile(std::move(fileName)), m_compressionLevel(compressionLevel) {}

// Without Close, the compressor goes without finishing: the file stays incomplete.
CAPEOutputMedia::~CAPEOutputMedia() = default;

void CAPEOutputMedia::Fail(const std::string& what) {
  if (m_failure.empty()) m_failure = what;
}

void CAPEOutputMedia::Open() {
  if (m_compressor) return;
  m_compressor = CreateIAPECompress();
  if (!m_compressor) {
    Fail("cannot create the APE compressor");
    return;
  }
  WaveFormatEx format;
  FillWaveFormatEx(&format, 44100, 16, 2);
  const std::optional<std::u16string> name = Utf8ToUtf16(m_fileName);
  if (!name) {
    Fail("the file name is not valid UTF-8");
    m_compressor.reset();
    return;
  }
  if (m_compressor->Start(name->c_str(), &format, kApeMaxAudioBytesUnknown, m_compressionLevel, nullptr,
                          kApeCreateWavHeaderOnDecompression) != kApeSuccess) {
    Fail("cannot start the APE compressor: " + m_compressor->ErrorText());
    m_compressor.reset();
  }
}

int CAPEOutputMedia::Write(const uint8_t* data, int count) {
  if (!m_compressor || count < 0) return 0;
  if (m_compressor->AddData(data, count) != kApeSuccess) {
    Fail("cannot compress the audio: " + m_compressor->ErrorText());
    return 0;
  }
  return count;
}

void CAPEOutputMedia::Close() {
  if (!m_compressor) return;
  if (m_compressor->Finish(nullptr, 0, 0) != kApeSuccess)
    Fail("cannot finish the APE file: " + m_compressor->ErrorText());
  m_compressor.reset();
}

}  // namespace korvi
