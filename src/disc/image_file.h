#pragma once
// The data files a cue sheet names, read as CD audio bytes: 16-bit little-endian stereo at 44.1
// kHz, 2352 bytes a sector, whatever the file's own layout (a raw bin either way round, a WAVE
// file, a FLAC file).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "common/byte_source.h"

namespace korvi {

enum class ImageFileType {
  kBinary,    // raw sectors, little-endian samples
  kMotorola,  // raw sectors, big-endian samples (swapped on reading)
  kWave,      // RIFF WAVE, 44.1 kHz 16-bit stereo PCM
  kFlac,      // FLAC, 44.1 kHz 16-bit stereo
};

class ImageDataFile {
 public:
  virtual ~ImageDataFile() = default;

  // The bytes of CD audio the file holds (a bin's size; a WAVE file's PCM data; a FLAC file's
  // samples × 4).
  virtual int64_t Size() const = 0;
  // length bytes from offset into out, as little-endian CD audio; any byte offset will do. False,
  // with the cause in *error (naming the file), when the range is not all there or the file cannot
  // be read; what out then holds is unspecified.
  virtual bool Read(int64_t offset, uint8_t* out, size_t length, std::string* error) = 0;
};

// Opens path as the given type. Null, with the cause in *error (naming the file), when it cannot
// be opened or is not of a layout that holds CD audio (a WAVE or FLAC file of another rate, width
// or channel count, a FLAC file whose length is not known, a damaged header).
//
// A WAVE data chunk that claims more than the file holds, or 0 or 0xFFFFFFFF as writers that
// stream leave it, holds the whole samples the file has. The last byte of a big-endian bin of odd
// size is half a sample and not counted.
std::unique_ptr<ImageDataFile> OpenImageDataFile(const std::filesystem::path& path, ImageFileType type,
                                                 std::string* error);

// Where the CD audio of a WAVE image file lies: its data chunk, in whole samples.
struct WaveImageData {
  int64_t start = 0;  // the first byte of audio in the file
  int64_t size = 0;   // bytes of audio, a multiple of 4
};

// Walks the RIFF chunks of the WAVE file of fileSize bytes that source reads up to its data chunk,
// which must come after a format of 44.1 kHz 16-bit stereo PCM. False, with the cause in *error
// (naming the file as name), as OpenImageDataFile refuses the file. Reads only the headers.
bool FindWaveImageData(const ByteSource& source, int64_t fileSize, const std::string& name,
                       WaveImageData* data, std::string* error);

}  // namespace korvi
