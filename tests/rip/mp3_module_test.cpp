// lame_enc.so through its BladeEnc entry points, with the lame command-line encoder, ffmpeg and
// ffprobe as oracles: each setting of the record gives the frames that lame gives for its option.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "encoders/lame_enc/blade_enc.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"

namespace korvi {
namespace {

using namespace blade;
using fixtures::RunCommand;
using fixtures::ShellQuote;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// Music-like stereo PCM, little-endian, as on a disc.
std::string Music(int sectors, int track = 1) {
  std::string pcm(size_t(sectors) * 2352, '\0');
  for (int s = 0; s < sectors; ++s)
    fixtures::FillAudioSector(7, track, s, reinterpret_cast<uint8_t*>(pcm.data()) + size_t(s) * 2352);
  return pcm;
}

// The bytes after the first frame, the one that LAME keeps for its tag.
std::string AfterFirstFrame(const std::string& mp3) {
  static const int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static const int kHz[] = {44100, 48000, 32000};
  if (mp3.size() < 4) return {};
  const auto* h = reinterpret_cast<const uint8_t*>(mp3.data());
  const size_t length = size_t(144 * kKbps[h[2] >> 4] * 1000 / kHz[(h[2] >> 2) & 3] + ((h[2] >> 1) & 1));
  return mp3.substr(std::min(length, mp3.size()));
}

BE_CONFIG WriterConfig() {
  BE_CONFIG c{};
  c.dwConfig = BE_CONFIG_LAME;
  c.dwStructVersion = 1;
  c.dwStructSize = sizeof c;
  c.dwSampleRate = 44100;
  c.nMode = BE_MP3_MODE_JSTEREO;
  c.dwBitrate = 192;
  c.nPreset = LQP_R3MIX;
  c.dwMpegVersion = MPEG1;
  c.bOriginal = 1;
  c.bWriteVBRHeader = 1;
  c.bNoRes = 1;
  return c;
}

class Mp3Module : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto path = std::filesystem::path(KORVI_CLI_PATH).parent_path() / "lame_enc.so";
    m_module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(m_module, nullptr) << ::dlerror();
    init = reinterpret_cast<BeInitStreamFn>(::dlsym(m_module, kBeInitStream));
    encode = reinterpret_cast<BeEncodeChunkFn>(::dlsym(m_module, kBeEncodeChunk));
    deinit = reinterpret_cast<BeDeinitStreamFn>(::dlsym(m_module, kBeDeinitStream));
    close = reinterpret_cast<BeCloseStreamFn>(::dlsym(m_module, kBeCloseStream));
    version = reinterpret_cast<BeVersionFn>(::dlsym(m_module, kBeVersion));
    vbrHeader = reinterpret_cast<BeWriteVBRHeaderFn>(::dlsym(m_module, kBeWriteVBRHeader));
    infoTag = reinterpret_cast<BeWriteInfoTagFn>(::dlsym(m_module, kBeWriteInfoTag));
    ASSERT_TRUE(init && encode && deinit && close && version && vbrHeader && infoTag);
  }
  void TearDown() override {
    if (m_module) ::dlclose(m_module);
  }

  // Encodes the PCM in whole chunks and a last partial one, then flushes; the stream stays open.
  std::string Encode(BE_CONFIG config, const std::string& pcm, HBE_STREAM* stream) {
    uint32_t chunk = 0, outputBytes = 0;
    EXPECT_EQ(init(&config, &chunk, &outputBytes, stream), BE_ERR_SUCCESSFUL);
    std::vector<uint8_t> out(outputBytes);
    std::string mp3;
    const auto* samples = reinterpret_cast<const int16_t*>(pcm.data());
    const size_t total = pcm.size() / 2;
    for (size_t at = 0; at < total; at += chunk) {
      uint32_t got = 0;
      EXPECT_EQ(
          encode(*stream, uint32_t(std::min<size_t>(chunk, total - at)), samples + at, out.data(), &got),
          BE_ERR_SUCCESSFUL);
      mp3.append(reinterpret_cast<char*>(out.data()), got);
    }
    uint32_t got = 0;
    EXPECT_EQ(deinit(*stream, out.data(), &got), BE_ERR_SUCCESSFUL);
    return mp3.append(reinterpret_cast<char*>(out.data()), got);
  }
  std::string EncodeAndClose(const BE_CONFIG& config, const std::string& pcm) {
    HBE_STREAM stream = 0;
    std::string mp3 = Encode(config, pcm, &stream);
    EXPECT_EQ(close(stream), BE_ERR_SUCCESSFUL);
    return mp3;
  }
  std::string Lame(const std::string& pcm, const std::string& options) {
    WriteFile(m_dir / "in.raw", pcm);
    const auto result = RunCommand("lame -r -s 44.1 --bitwidth 16 --signed --little-endian --silent " +
                                   options + " " + ShellQuote((m_dir / "in.raw").string()) + " " +
                                   ShellQuote((m_dir / "lame.mp3").string()) + " 2>/dev/null");
    EXPECT_EQ(result.status, 0);
    return ReadFile(m_dir / "lame.mp3");
  }
  std::string Probe(const std::filesystem::path& file, const std::string& entries) {
    return RunCommand("ffprobe -v error -show_entries " + entries + " -of csv=p=0 " +
                      ShellQuote(file.string()))
        .out;
  }

  fixtures::TempDir m_dir;
  void* m_module = nullptr;
  BeInitStreamFn init = nullptr;
  BeEncodeChunkFn encode = nullptr;
  BeDeinitStreamFn deinit = nullptr;
  BeCloseStreamFn close = nullptr;
  BeVersionFn version = nullptr;
  BeWriteVBRHeaderFn vbrHeader = nullptr;
  BeWriteInfoTagFn infoTag = nullptr;
};

TEST_F(Mp3Module, TheWritersSettingsGiveMpeg1JointStereoFramesOfTheChosenRate) {
  BE_CONFIG config = WriterConfig();
  uint32_t chunk = 0, outputBytes = 0;
  HBE_STREAM stream = 0;
  ASSERT_EQ(init(&config, &chunk, &outputBytes, &stream), BE_ERR_SUCCESSFUL);
  EXPECT_EQ(chunk, 2304u);  // one MPEG-1 frame of 1152 samples per channel
  EXPECT_GE(outputBytes, 1152u * 5 / 4 + 7200);
  EXPECT_EQ(close(stream), BE_ERR_SUCCESSFUL);

  const std::string pcm = Music(300);
  const std::string mp3 = EncodeAndClose(config, pcm);
  // Every audio frame as lame makes it: joint stereo, 192 kbit/s, LAME's -q 2, no reservoir.
  EXPECT_EQ(AfterFirstFrame(mp3), AfterFirstFrame(Lame(pcm, "-m j -b 192 -q 2 --nores")));
  const auto* h = reinterpret_cast<const uint8_t*>(mp3.data()) + (mp3.size() - AfterFirstFrame(mp3).size());
  EXPECT_EQ(h[0], 0xFF);
  EXPECT_EQ(h[1], 0xFB);          // MPEG-1, layer III, no CRC
  EXPECT_EQ(h[2] >> 4, 11);       // 192 kbit/s
  EXPECT_EQ(h[3] >> 6, 1);        // joint stereo
  EXPECT_EQ((h[3] >> 2) & 3, 1);  // not copyrighted, original
  WriteFile(m_dir / "ours.mp3", mp3);
  EXPECT_EQ(Probe(m_dir / "ours.mp3", "stream=codec_name,sample_rate,channels,bit_rate"),
            "mp3,44100,2,192000\n");
}

TEST_F(Mp3Module, EachSettingMatchesLamesOption) {
  const std::string pcm = Music(120, 2);
  struct Case {
    const char* name;
    void (*change)(BE_CONFIG&);
    const char* options;
  };
  const Case cases[] = {
      {"stereo", [](BE_CONFIG& c) { c.nMode = BE_MP3_MODE_STEREO; }, "-m s -b 192 -q 2 --nores"},
      {"320 kbit/s", [](BE_CONFIG& c) { c.dwBitrate = 320; }, "-m j -b 320 -q 2 --nores"},
      {"32 kbit/s", [](BE_CONFIG& c) { c.dwBitrate = 32; }, "-m j -b 32 -q 2 --nores --resample 44.1"},
      {"CRC", [](BE_CONFIG& c) { c.bCRC = 1; }, "-m j -b 192 -q 2 --nores -p"},
      {"copyright, not original",
       [](BE_CONFIG& c) {
         c.bCopyright = 1;
         c.bOriginal = 0;
       },
       "-m j -b 192 -q 2 --nores -c -o"},
      {"reservoir", [](BE_CONFIG& c) { c.bNoRes = 0; }, "-m j -b 192 -q 2"},
      {"low quality", [](BE_CONFIG& c) { c.nPreset = LQP_LOW_QUALITY; }, "-m j -b 192 -q 9 --nores"},
      {"explicit quality 5", [](BE_CONFIG& c) { c.nQuality = 5 | (0xFA << 8); }, "-m j -b 192 -q 5 --nores"},
      {"VBR",
       [](BE_CONFIG& c) {
         c.bEnableVBR = 1;
         c.nVbrMethod = VBR_METHOD_NEW;
         c.nVBRQuality = 2;
         c.dwBitrate = 0;
         c.nPreset = LQP_NORMAL_QUALITY;
       },
       "-m j -V 2 --nores"},
  };
  for (const Case& test : cases) {
    BE_CONFIG config = WriterConfig();
    test.change(config);
    EXPECT_EQ(AfterFirstFrame(EncodeAndClose(config, pcm)), AfterFirstFrame(Lame(pcm, test.options)))
        << test.name;
  }
}

TEST_F(Mp3Module, TheInfoTagMakesDecodersTrimTheEncodersDelayAndPadding) {
  const std::string pcm = Music(101);  // 59388 samples per channel: not a whole number of frames
  HBE_STREAM stream = 0;
  WriteFile(m_dir / "tagged.mp3", Encode(WriterConfig(), pcm, &stream));
  ASSERT_EQ(infoTag(stream, (m_dir / "tagged.mp3").c_str()), BE_ERR_SUCCESSFUL);
  EXPECT_EQ(close(stream), BE_ERR_INVALID_HANDLE);  // beWriteInfoTag closed it
  const auto decoded = RunCommand("ffmpeg -v error -i " + ShellQuote((m_dir / "tagged.mp3").string()) +
                                  " -f s16le -acodec pcm_s16le -");
  EXPECT_EQ(decoded.out.size(), 59388u * 4);

  // beWriteVBRHeader writes the tag of the last stream flushed, after it was closed.
  WriteFile(m_dir / "header.mp3", EncodeAndClose(WriterConfig(), pcm));
  EXPECT_EQ(vbrHeader((m_dir / "header.mp3").c_str()), BE_ERR_SUCCESSFUL);
  EXPECT_EQ(ReadFile(m_dir / "header.mp3"), ReadFile(m_dir / "tagged.mp3"));

  // A file that does not start with the placeholder frame is left alone.
  WriteFile(m_dir / "other.mp3", std::string(4000, 'x'));
  EXPECT_NE(vbrHeader((m_dir / "other.mp3").c_str()), BE_ERR_SUCCESSFUL);
  EXPECT_EQ(ReadFile(m_dir / "other.mp3"), std::string(4000, 'x'));
}

TEST_F(Mp3Module, Mpeg2HalvesTheRate) {
  BE_CONFIG config = WriterConfig();
  config.dwMpegVersion = MPEG2;
  config.dwBitrate = 64;
  uint32_t chunk = 0, outputBytes = 0;
  HBE_STREAM stream = 0;
  ASSERT_EQ(init(&config, &chunk, &outputBytes, &stream), BE_ERR_SUCCESSFUL);
  EXPECT_EQ(chunk, 1152u);
  EXPECT_EQ(close(stream), BE_ERR_SUCCESSFUL);
  WriteFile(m_dir / "mpeg2.mp3", EncodeAndClose(config, Music(40)));
  EXPECT_EQ(Probe(m_dir / "mpeg2.mp3", "stream=sample_rate,bit_rate"), "22050,64000\n");
}

TEST_F(Mp3Module, RefusesBadRecordsAndHandles) {
  uint32_t chunk = 0, outputBytes = 0;
  HBE_STREAM stream = 0;
  const std::pair<const char*, void (*)(BE_CONFIG&)> bad[] = {
      {"dual channel", [](BE_CONFIG& c) { c.nMode = BE_MP3_MODE_DUALCHANNEL; }},
      {"no sample rate", [](BE_CONFIG& c) { c.dwSampleRate = 0; }},
      {"MPEG-1 at 22050 Hz", [](BE_CONFIG& c) { c.dwSampleRate = 22050; }},
      {"MPEG version 7", [](BE_CONFIG& c) { c.dwMpegVersion = 7; }},
      {"short record", [](BE_CONFIG& c) { c.dwStructSize = 40; }},
      {"unknown preset", [](BE_CONFIG& c) { c.nPreset = 6; }},
  };
  for (const auto& [name, change] : bad) {
    BE_CONFIG config = WriterConfig();
    change(config);
    EXPECT_EQ(init(&config, &chunk, &outputBytes, &stream), BE_ERR_INVALID_FORMAT_PARAMETERS) << name;
  }
  BE_CONFIG blade = WriterConfig();
  blade.dwConfig = BE_CONFIG_MP3;
  EXPECT_EQ(init(&blade, &chunk, &outputBytes, &stream), BE_ERR_INVALID_FORMAT);
  EXPECT_EQ(init(nullptr, &chunk, &outputBytes, &stream), BE_ERR_INVALID_FORMAT_PARAMETERS);

  BE_CONFIG config = WriterConfig();
  ASSERT_EQ(init(&config, &chunk, &outputBytes, &stream), BE_ERR_SUCCESSFUL);
  std::vector<uint8_t> out(outputBytes);
  std::vector<int16_t> pcm(chunk + 2);
  uint32_t got = 99;
  EXPECT_EQ(encode(stream, chunk + 2, pcm.data(), out.data(), &got), BE_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(encode(stream, 3, pcm.data(), out.data(), &got),
            BE_ERR_INVALID_FORMAT_PARAMETERS);  // half a frame
  EXPECT_EQ(encode(stream + 8, chunk, pcm.data(), out.data(), &got), BE_ERR_INVALID_HANDLE);
  EXPECT_EQ(deinit(stream, out.data(), &got), BE_ERR_SUCCESSFUL);
  EXPECT_EQ(encode(stream, chunk, pcm.data(), out.data(), &got), BE_ERR_INVALID_FORMAT_PARAMETERS);
  EXPECT_EQ(close(stream), BE_ERR_SUCCESSFUL);
  EXPECT_EQ(close(stream), BE_ERR_INVALID_HANDLE);
  EXPECT_EQ(deinit(stream, out.data(), &got), BE_ERR_INVALID_HANDLE);
}

TEST_F(Mp3Module, VersionNamesTheEngineThatLameReports) {
  BE_VERSION v;
  std::memset(&v, 0xAA, sizeof v);
  version(&v);
  const std::string lame = RunCommand("lame --version").out;  // "LAME 64bits version 3.100 (...)"
  const std::string expected =
      std::to_string(v.byMajorVersion) + "." + std::to_string(v.byMinorVersion) + " ";
  EXPECT_NE(lame.find("version " + expected), std::string::npos) << lame << " vs " << expected;
  EXPECT_EQ(v.byDLLMajorVersion, 1);
  EXPECT_GT(std::strlen(v.zHomepage), 0u);
  EXPECT_LE(std::strlen(v.zHomepage), BE_MAX_HOMEPAGE);
  EXPECT_TRUE(v.byDay >= 1 && v.byDay <= 31 && v.byMonth >= 1 && v.byMonth <= 12 && v.wYear >= 2026);
}

}  // namespace
}  // namespace korvi
