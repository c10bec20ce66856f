#pragma once
// Opus files: libopusenc, which resamples the disc's 44.1 kHz to Opus's 48 kHz and writes the
// pre-skip and the last page's granule position that let a player trim the encoder's delay and
// padding, so that an album plays without gaps. Pages go out as they are made, so a track cut
// short by a stop still becomes a valid, shorter file.

#include <opus/opusenc.h>

#include <memory>
#include <string>
#include <vector>

#include "formats/output_format.h"
#include "rip/output_media.h"

namespace korvi {

class COpusOutputMedia : public COutputMediaFile {
 public:
  // bitrate: kbit/s; others are taken as the nearest in range.
  COpusOutputMedia(int bitrate, std::string fileName);
  ~COpusOutputMedia() override;

  void Open() override;
  // The byte count when the encoder took the bytes, else 0.
  int Write(const uint8_t* data, int count) override;
  // Encodes what is left, writes the last page and closes the file.
  void Close() override;

  bool Failed() const override { return !m_failure.empty() || m_stream.Failed(); }
  std::string FailureText() const override { return m_stream.Failed() ? m_stream.Error() : m_failure; }

 private:
  struct EncoderDeleter {
    void operator()(OggOpusEnc* encoder) const { ope_encoder_destroy(encoder); }
  };
  struct CommentsDeleter {
    void operator()(OggOpusComments* comments) const { ope_comments_destroy(comments); }
  };

  static int WritePage(void* self, const unsigned char* page, opus_int32 length);
  static int CloseStream(void* self);

  void Fail(const std::string& what, int error);

  int m_bitrate;
  std::unique_ptr<OggOpusEnc, EncoderDeleter> m_encoder;
  std::vector<opus_int16> m_samples;
  std::string m_failure;  // the first thing that went wrong
};

}  // namespace korvi
