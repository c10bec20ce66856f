#pragma once
// FLAC files: libFLAC's stream encoder, with the audio's MD5 sum and a seek table (a point every ten
// seconds) in the header. A FlacFrameVerifier decodes every frame on a thread of its own and fails
// the file when it does not give back the audio it was given. The header is written first and filled in
// on Close, so a track cut short by a stop still becomes a valid, shorter file.

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <memory>
#include <string>
#include <vector>

#include "formats/output_format.h"
#include "rip/flac_frame_verifier.h"
#include "rip/output_media.h"

namespace korvi {

class CFlacOutputMedia : public COutputMediaFile {
 public:
  // level: 0 (fastest) to 8 (smallest); others are taken as the nearest. expectedSectors: the
  // track's length, for the seek table; 0 when unknown (no seek points then).
  CFlacOutputMedia(int level, int64_t expectedSectors, std::string fileName);
  ~CFlacOutputMedia() override;

  // Creates the file and starts the encoder, which writes the header.
  void Open() override;
  // The byte count when the encoder took the bytes, else 0.
  int Write(const uint8_t* data, int count) override;
  // Encodes what is left, fills in the header, waits for the check of the last frames and closes
  // the file.
  void Close() override;

  bool Failed() const override { return !m_failure.empty() || m_stream.Failed(); }
  std::string FailureText() const override { return m_failure.empty() ? m_stream.Error() : m_failure; }

 private:
  struct EncoderDeleter {
    void operator()(FLAC__StreamEncoder* encoder) const { FLAC__stream_encoder_delete(encoder); }
  };
  struct MetadataDeleter {
    void operator()(FLAC__StreamMetadata* block) const { FLAC__metadata_object_delete(block); }
  };

  static FLAC__StreamEncoderWriteStatus WriteCallback(const FLAC__StreamEncoder*, const FLAC__byte buffer[],
                                                      size_t bytes, uint32_t samples, uint32_t frame,
                                                      void* self);
  static FLAC__StreamEncoderSeekStatus SeekCallback(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                                    void* self);
  static FLAC__StreamEncoderTellStatus TellCallback(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                                    void* self);

  void Fail(const std::string& what);
  // The encoder's own account of why it stopped, unless the file already gave one.
  void FailFromEncoder(const char* what);
  // The check's reason, unless something else failed first.
  void FailFromVerifier();
  // Seek points past the audio written so far become placeholders, which a reader skips.
  void DropPointsBeyondEnd();

  int m_level;
  int64_t m_expectedSectors;
  // Before the encoder, which writes to it until it is deleted.
  std::unique_ptr<FlacFrameVerifier> m_verifier;
  std::unique_ptr<FLAC__StreamEncoder, EncoderDeleter> m_encoder;
  // The encoder refers to the seek table until it is finished, and fills its points in.
  std::unique_ptr<FLAC__StreamMetadata, MetadataDeleter> m_seekTable;
  std::unique_ptr<FLAC__StreamMetadata, MetadataDeleter> m_padding;
  std::vector<FLAC__int32> m_samples;
  uint64_t m_framesWritten = 0;  // stereo sample frames given to the encoder
  uint64_t m_position = 0;       // where the encoder writes next
  uint64_t m_streamEnd = 0;      // the end of what the encoder wrote
  std::string m_failure;         // the first thing that went wrong
};

}  // namespace korvi
