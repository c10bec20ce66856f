#include "verify/wave_audio_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/fs_util.h"

namespace korvi {
namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagExtensible = 0xFFFE;
constexpr uint32_t kFormatBytes = 16;
constexpr uint32_t kExtensibleBytes = 40;  // the sub-format's GUID begins 24 bytes in

uint16_t Get16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

uint32_t Get32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

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
  uint8_t header[12];
  if (source(0, header, sizeof header) != int64_t(sizeof header) || std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "WAVE", 4) != 0)
    return Refuse(error, "not a WAV file (no RIFF WAVE header)");
  // The RIFF size is not trusted: a writer that streams leaves it wrong. The chunks are walked
  // against the file's real size instead.
  bool hasFormat = false;
  uint64_t at = sizeof header;
  while (true) {
    uint8_t chunk[8];
    if (at + sizeof chunk > fileBytes || source(at, chunk, sizeof chunk) != int64_t(sizeof chunk))
      return Refuse(error, "no data chunk");
    at += sizeof chunk;
    const uint32_t bytes = Get32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      if (!hasFormat) return Refuse(error, "the data chunk comes before the format chunk");
      if (bytes > fileBytes - at)
        return Refuse(error, "truncated: the data chunk says " + std::to_string(bytes) +
                                 " bytes, the file holds " + std::to_string(fileBytes - at));
      layout->dataStart = at;
      layout->dataBytes = bytes;
      return true;
    }
    // Chunks are padded to an even size.
    const uint64_t end = at + bytes + (bytes & 1);
    if (end > fileBytes)
      return Refuse(error, "the " + IdText(chunk) + " chunk reaches past the end of the file");
    if (std::memcmp(chunk, "fmt ", 4) == 0 && !hasFormat) {
      if (bytes < kFormatBytes) return Refuse(error, "the format chunk is too short");
      uint8_t body[kExtensibleBytes] = {};
      const size_t wanted = std::min<size_t>(bytes, sizeof body);
      if (source(at, body, wanted) != int64_t(wanted))
        return Refuse(error, "the file ends inside its format chunk");
      WaveFormat& format = layout->format;
      format.tag = Get16(body);
      format.channels = Get16(body + 2);
      format.sampleRate = Get32(body + 4);
      format.bitsPerSample = Get16(body + 14);
      if (format.tag == kTagExtensible && wanted >= kExtensibleBytes) format.tag = Get16(body + 24);
      hasFormat = true;
    }
    at = end;
  }
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
