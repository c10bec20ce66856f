#include "verify/wave_audio_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/fs_util.h"
#include "common/little_endian.h"
#include "common/riff_chunks.h"

namespace korvi {
namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagExtensible = 0xFFFE;
constexpr uint32_t kFormatBytes = 16;
constexpr uint32_t kExtensibleBytes = 40;  // the sub-format's GUID begins 24 bytes in

// A chunk id for a message; a hostile file's bytes are not printed as they are.
std::string IdText(const uint8_t* id) {
  std::string text;
  for (int i = 0; i < 4; ++i) text += id[i] >= 0x20 && id[i] < 0x7F ? static_cast<char>(id[i]) : '?';
  return "'" + text + "'";
}

bool Refuse(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
}

}  // namespace

std::string WaveFormat::Text() const {
  return std::string(tag == kTagPcm ? "PCM" : "format " + std::to_string(tag)) + ", " +
         std::to_string(sampleRate) + " Hz, " + std::to_string(bitsPerSample) + "-bit, " +
         std::to_string(channels) + " channel(s)";
}

bool ReadWaveLayout(const ByteSource& source, uint64_t fileBytes, WaveLayout* layout, std::string* error) {
  *layout = {};
  bool hasFormat = false;
  std::string refusal;
  bool found = false;
  // Strict: a chunk that says it reaches past the end of the file makes the file suspect.
  const RiffWalk walk = WalkRiffChunks(source, fileBytes, RiffRule::kStrict, [&](const RiffChunk& chunk) {
    if (IsChunk(chunk, "data")) {
      if (!hasFormat) {
        refusal = "the data chunk comes before the format chunk";
      } else if (chunk.size > fileBytes - chunk.body) {
        refusal = "truncated: the data chunk says " + std::to_string(chunk.size) + " bytes, the file holds " +
                  std::to_string(fileBytes - chunk.body);
      } else {
        layout->dataStart = chunk.body;
        layout->dataBytes = chunk.size;
        found = true;
      }
      return false;
    }
    if (IsChunk(chunk, "fmt ") && !hasFormat) {
      if (chunk.size < kFormatBytes) {
        refusal = "the format chunk is too short";
        return false;
      }
      uint8_t body[kExtensibleBytes] = {};
      const size_t wanted = std::min<size_t>(chunk.size, sizeof body);
      if (source(chunk.body, body, wanted) != int64_t(wanted)) {
        refusal = "the file ends inside its format chunk";
        return false;
      }
      WaveFormat& format = layout->format;
      format.tag = GetLe16(body);
      format.channels = GetLe16(body + 2);
      format.sampleRate = GetLe32(body + 4);
      format.bitsPerSample = GetLe16(body + 14);
      if (format.tag == kTagExtensible && wanted >= kExtensibleBytes) format.tag = GetLe16(body + 24);
      hasFormat = true;
    }
    return true;
  });
  switch (walk.status) {
    case RiffWalk::Status::kStopped:
      return found || Refuse(error, refusal);
    case RiffWalk::Status::kShortHeader:
    case RiffWalk::Status::kNotRiffWave:
      return Refuse(error, "not a WAV file (no RIFF WAVE header)");
    case RiffWalk::Status::kChunkPastEnd:
      return Refuse(error, "the " + IdText(walk.chunk.id) + " chunk reaches past the end of the file");
    case RiffWalk::Status::kEnded:
    case RiffWalk::Status::kReadFailed:
      break;
  }
  return Refuse(error, "no data chunk");
}

WaveAudioReader::~WaveAudioReader() {
  if (m_file) std::fclose(m_file);
}

bool WaveAudioReader::Fail(const std::string& error) {
  m_error = m_path + ": " + error;
  m_dataLeft = 0;
  return false;
}

bool WaveAudioReader::Open(const std::string& path) {
  if (m_file) std::fclose(m_file);
  m_format = {};
  m_dataBytes = m_dataLeft = 0;
  m_error.clear();
  m_file = nullptr;
  m_path = path;
  uint64_t fileBytes = 0;
  // Not fopen(): a pipe put where the file was would keep it waiting for a writer.
  UniqueFd fd = OpenRegularFile(path, &m_error, &fileBytes);
  if (!fd.Valid()) return false;
  WaveLayout layout;
  std::string error;
  if (!ReadWaveLayout(FileSource(fd.Get()), fileBytes, &layout, &error)) return Fail(error);
  m_file = fdopen(fd.Get(), "rb");
  if (!m_file) return Fail(std::strerror(errno));
  fd.Release();  // the stream owns it now
  if (fseeko(m_file, static_cast<off_t>(layout.dataStart), SEEK_SET) != 0) return Fail(std::strerror(errno));
  m_format = layout.format;
  m_dataBytes = m_dataLeft = layout.dataBytes;
  return true;
}

size_t WaveAudioReader::Read(uint8_t* buffer, size_t size) {
  if (!m_file || m_dataLeft == 0) return 0;
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(size, m_dataLeft));
  const size_t got = std::fread(buffer, 1, wanted, m_file);
  m_dataLeft -= got;
  // Checked against the file's size on opening: a short read now means the file shrank or failed.
  if (got < wanted) Fail(std::ferror(m_file) ? std::strerror(errno) : "the file ends inside its data chunk");
  return got;
}

}  // namespace korvi
