#include "rip/mp3_lame_output.h"

#include <dlfcn.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "disc/track_info.h"
#include "text/utf8_text.h"

namespace korvi {

using namespace blade;

struct CMP3LameOutput::Module {
  BeInitStreamFn initStream = nullptr;
  BeEncodeChunkFn encodeChunk = nullptr;
  BeDeinitStreamFn deinitStream = nullptr;
  BeCloseStreamFn closeStream = nullptr;
  BeVersionFn version = nullptr;
  BeWriteVBRHeaderFn writeVbrHeader = nullptr;
  BeWriteInfoTagFn writeInfoTag = nullptr;
};

namespace {

constexpr uint32_t kMaxOutputBufferBytes = 16u << 20;  // far beyond any MP3 encoder's need

std::string ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : exe.parent_path().string();
}

std::string LastDlError() {
  const char* text = ::dlerror();
  return text ? text : "unknown error";
}

template <typename Fn>
Fn Symbol(void* module, const char* name) {
  return reinterpret_cast<Fn>(::dlsym(module, name));
}

// The text cut to a field of the tag: Latin-1, one byte per character, so no character is split.
void PutField(std::array<uint8_t, 128>& tag, size_t offset, size_t width, const std::string& text) {
  const std::string latin1 = Utf8ToLatin1(text);
  std::memcpy(tag.data() + offset, latin1.data(), std::min(width, latin1.size()));
}

}  // namespace

std::string Utf8ToLatin1(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    const std::optional<char32_t> cp = DecodeUtf8(utf8, pos);
    if (!cp) ++pos;  // a byte that starts no well-formed character: one '?' each
    out += cp && *cp <= 0xFF ? static_cast<char>(*cp) : '?';
  }
  return out;
}

std::array<uint8_t, 128> MakeId3v1Tag(const CTrackInfo& track) {
  std::array<uint8_t, 128> tag{};
  std::memcpy(tag.data(), "TAG", 3);
  PutField(tag, 3, 30, track.title());
  PutField(tag, 33, 30, track.artist);
  PutField(tag, 63, 30, track.album);
  // A track without a year leaves the field blank, as the other tags leave it out.
  if (track.year != kNoYear) {
    char year[16];
    const int length = std::snprintf(year, sizeof year, "%d", track.year);
    std::memcpy(tag.data() + 93, year, size_t(std::clamp(length, 0, 4)));
  }
  PutField(tag, 97, 30, track.comment);
  tag[127] = 0;  // genre
  return tag;
}

void CMP3LameOutput::ModuleCloser::operator()(void* handle) const { ::dlclose(handle); }

CMP3LameOutput::CMP3LameOutput(int32_t sampleRate, int32_t bitRate, std::string fileName,
                               ShowErrorFn showError, std::string moduleName)
    : COutputMediaFile(std::move(fileName)), m_moduleName(std::move(moduleName)) {
  if (LoadModule(m_moduleName, showError) && FindEntryPoints()) OpenEncoder(sampleRate, bitRate);
}

CMP3LameOutput::~CMP3LameOutput() {
  // A writer destroyed without Close still gives its stream back before the module goes.
  if (m_encoderOpen) m_entry->closeStream(m_encoder);
}

bool CMP3LameOutput::LoadModule(const std::string& moduleName, const ShowErrorFn& showError) {
  // Never unloaded: when the last writer of one track closed it as the next track's writer opened
  // it on another thread, the module was unloaded and loaded again under the first one's feet.
  constexpr int kFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
  void* module = ::dlopen(moduleName.c_str(), kFlags);
  std::string cause = module ? std::string() : LastDlError();
  // Like the executable's own folder in the search order of other systems, but after
  // LD_LIBRARY_PATH, so that a module given there wins.
  if (!module && moduleName.find('/') == std::string::npos) {
    const std::string folder = ExecutableFolder();
    if (!folder.empty()) module = ::dlopen((folder + "/" + moduleName).c_str(), kFlags);
  }
  if (!module) {
    const std::string name = std::filesystem::path(moduleName).filename().string();
    if (showError) showError("Library " + name + " can not be found!");
    m_stream.Fail("the MP3 encoder " + name + " could not be loaded: " + cause);
    return false;
  }
  m_module.reset(module);
  return true;
}

bool CMP3LameOutput::FindEntryPoints() {
  m_entry = std::make_unique<Module>();
  void* module = m_module.get();
  m_entry->initStream = Symbol<BeInitStreamFn>(module, kBeInitStream);
  m_entry->encodeChunk = Symbol<BeEncodeChunkFn>(module, kBeEncodeChunk);
  m_entry->deinitStream = Symbol<BeDeinitStreamFn>(module, kBeDeinitStream);
  m_entry->closeStream = Symbol<BeCloseStreamFn>(module, kBeCloseStream);
  m_entry->version = Symbol<BeVersionFn>(module, kBeVersion);
  m_entry->writeVbrHeader = Symbol<BeWriteVBRHeaderFn>(module, kBeWriteVBRHeader);
  // Optional: a module without it closes its streams with beCloseStream, and its files keep the
  // empty info frame (no gapless playback).
  m_entry->writeInfoTag = Symbol<BeWriteInfoTagFn>(module, kBeWriteInfoTag);
  const std::pair<const char*, bool> required[] = {
      {kBeInitStream, m_entry->initStream != nullptr},
      {kBeEncodeChunk, m_entry->encodeChunk != nullptr},
      {kBeDeinitStream, m_entry->deinitStream != nullptr},
      {kBeCloseStream, m_entry->closeStream != nullptr},
      {kBeVersion, m_entry->version != nullptr},
      {kBeWriteVBRHeader, m_entry->writeVbrHeader != nullptr},
  };
  for (const auto& [name, found] : required) {
    if (!found) {
      m_stream.Fail("the MP3 encoder " + std::filesystem::path(m_moduleName).filename().string() +
                    " has no entry point " + name);
      return false;
    }
  }
  return true;
}

bool CMP3LameOutput::OpenEncoder(int32_t sampleRate, int32_t bitRate) {
  BE_CONFIG& c = m_config;
  std::memset(&c, 0, sizeof c);
  c.dwConfig = BE_CONFIG_LAME;
  c.dwStructVersion = CURRENT_STRUCT_VERSION;
  c.dwStructSize = sizeof(BE_CONFIG);
  c.dwSampleRate = uint32_t(sampleRate);
  c.nMode = BE_MP3_MODE_JSTEREO;
  c.dwBitrate = uint32_t(bitRate);
  c.nPreset = LQP_R3MIX;
  c.dwMpegVersion = MPEG1;
  c.bOriginal = 1;
  c.bWriteVBRHeader = 1;
  c.bNoRes = 1;
  const BE_ERR error = m_entry->initStream(&c, &m_samplesPerChunk, &m_outputBufferBytes, &m_encoder);
  if (error != BE_ERR_SUCCESSFUL) {
    m_stream.Fail("the MP3 encoder refused " + std::to_string(bitRate) + " kbit/s at " +
                  std::to_string(sampleRate) + " Hz (error " + std::to_string(error) + ")");
    return false;
  }
  m_encoderOpen = true;
  // Whole stereo frames that fit the PCM buffer, and an output buffer of a believable size.
  const bool chunkFits = m_samplesPerChunk > 0 && m_samplesPerChunk % 2 == 0 &&
                         m_samplesPerChunk <= uint32_t(kPcmBufferBytes / 2);
  if (!chunkFits || m_outputBufferBytes == 0 || m_outputBufferBytes > kMaxOutputBufferBytes) {
    m_entry->closeStream(m_encoder);
    m_encoderOpen = false;
    m_stream.Fail("the MP3 encoder asked for chunks of " + std::to_string(m_samplesPerChunk) +
                  " samples and " + std::to_string(m_outputBufferBytes) +
                  " output bytes, which the writer cannot give it");
    return false;
  }
  m_output.resize(m_outputBufferBytes);
  m_ready = true;
  return true;
}

int CMP3LameOutput::Write(const uint8_t* data, int count) {
  if (!m_ready) return -1;
  if (!data || count <= 0) return 0;
  int produced = 0;
  bool failed = false;
  for (;;) {
    // A chunk that failed before is tried again first.
    while (!failed && m_buffered >= ChunkBytes()) {
      const int bytes = EncodeBuffered(ChunkBytes());
      if (bytes < 0)
        failed = true;  // the chunk stays for the next call
      else
        produced += bytes;
    }
    const int take = std::min(count, kPcmBufferBytes - m_buffered);
    if (take == 0) break;  // all taken, or the buffer is full of audio that failed to encode
    std::memcpy(PcmBytes() + m_buffered, data, size_t(take));
    m_buffered += take;
    data += take;
    count -= take;
  }
  if (count > 0)
    m_stream.Fail("the MP3 encoder kept failing; " + std::to_string(count) + " bytes of audio were lost");
  return failed ? -1 : produced;
}

int CMP3LameOutput::EncodeBuffered(int count) {
  const int16_t* samples = m_pcm;
  std::vector<int16_t> native;
  if constexpr (std::endian::native == std::endian::big) {
    native.assign(m_pcm, m_pcm + count / 2);
    for (int16_t& s : native) s = int16_t(uint16_t(s) << 8 | uint16_t(s) >> 8);
    samples = native.data();
  }
  uint32_t bytes = 0;
  const BE_ERR error = m_entry->encodeChunk(m_encoder, uint32_t(count / 2), samples, m_output.data(), &bytes);
  if (error != BE_ERR_SUCCESSFUL) {
    m_stream.Fail("the MP3 encoder failed on a chunk (error " + std::to_string(error) + ")");
    return -1;
  }
  std::memmove(PcmBytes(), PcmBytes() + count, size_t(m_buffered - count));
  m_buffered -= count;
  if (bytes > m_output.size()) {
    m_stream.Fail("the MP3 encoder reported more output than its buffer holds");
    return -1;
  }
  WriteEncoded(bytes);
  return int(bytes);
}

void CMP3LameOutput::WriteEncoded(uint32_t bytes) {
  if (bytes > 0) m_stream.Write(m_output.data(), bytes);
}

void CMP3LameOutput::FlushEncoder() {
  // The audio short of a whole chunk is encoded too: the file keeps every sample of the track.
  while (m_buffered >= 4) {
    const int count = std::min(ChunkBytes(), m_buffered & ~3);
    if (EncodeBuffered(count) < 0) break;
  }
  uint32_t bytes = 0;
  const BE_ERR error = m_entry->deinitStream(m_encoder, m_output.data(), &bytes);
  if (error != BE_ERR_SUCCESSFUL)
    m_stream.Fail("the MP3 encoder could not finish the stream (error " + std::to_string(error) + ")");
  else if (bytes > m_output.size())
    m_stream.Fail("the MP3 encoder reported more output than its buffer holds");
  else
    WriteEncoded(bytes);
}

void CMP3LameOutput::Close() {
  if (!m_ready) {
    // Never ready, or closed already: no encoder call.
    m_module.reset();
    COutputMediaFile::Close();
    return;
  }
  m_ready = false;
  FlushEncoder();
  if (!CloseEncoder()) return;
  m_module.reset();
  // The info frame is written before the ID3v1 tag is appended: the module looks for what follows
  // the frame, and the tag's bytes then stay exactly what MakeId3v1Tag gave.
  if (m_tagTrack) {
    const std::array<uint8_t, 128> tag = MakeId3v1Tag(*m_tagTrack);
    m_stream.Write(tag.data(), tag.size());
  }
  COutputMediaFile::Close();
}

bool CMP3LameOutput::CloseEncoder() {
  if (!m_entry->writeInfoTag) {
    const BE_ERR closed = m_entry->closeStream(m_encoder);
    if (closed != BE_ERR_SUCCESSFUL) {
      // The module keeps the stream it could not close, so it stays loaded, and the file goes
      // without a tag when the writer is destroyed.
      m_stream.Fail("the MP3 encoder could not close its stream (error " + std::to_string(closed) + ")");
      return false;
    }
    m_encoderOpen = false;
    return true;
  }
  // The info frame (encoder delay and padding, so that players and decoders give back exactly the
  // track's samples) goes into the first frame of the file by name: every byte must be there first.
  // beWriteInfoTag closes the stream whatever it returns.
  m_stream.Flush();
  const BE_ERR written = m_entry->writeInfoTag(m_encoder, m_fileName.c_str());
  m_encoderOpen = false;
  if (written != BE_ERR_SUCCESSFUL)
    m_stream.Fail("the MP3 encoder could not write its info frame (error " + std::to_string(written) + ")");
  return true;
}

}  // namespace korvi
