// MP3 files as the writer and korvi-cli leave them: decoded by ffmpeg and lame, probed by ffprobe,
// compared frame for frame with the lame encoder, their ID3v1 tags byte by byte; and the writer with
// missing or misbehaving encoder modules (small modules built by the test).

#include "rip/mp3_lame_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "disc/track_info.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"

namespace korvi {
namespace {

using fixtures::RunCommand;
using fixtures::ShellQuote;

const std::filesystem::path kModule = std::filesystem::path(KORVI_CLI_PATH).parent_path() / "lame_enc.so";

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Music(int sectors, int track = 1) {
  std::string pcm(size_t(sectors) * 2352, '\0');
  for (int s = 0; s < sectors; ++s)
    fixtures::FillAudioSector(11, track, s, reinterpret_cast<uint8_t*>(pcm.data()) + size_t(s) * 2352);
  return pcm;
}

// MPEG audio frames from the start of the audio (after an ID3v2 tag): each header's fields, and
// whatever follows the last.
struct FrameWalk {
  int frames = 0;
  bool allMpeg1Layer3JointStereo = true;
  std::set<int> kbps;
  std::string rest;
};

FrameWalk WalkFrames(const std::string& mp3) {
  static const int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  FrameWalk walk;
  size_t at = 0;
  if (mp3.size() >= 10 && mp3.compare(0, 3, "ID3") == 0) {
    const auto b = [&](size_t i) { return size_t(uint8_t(mp3[i]) & 0x7F); };
    at = (b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9)) + 10;
  }
  while (at + 4 <= mp3.size()) {
    const auto* h = reinterpret_cast<const uint8_t*>(mp3.data() + at);
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || kKbps[h[2] >> 4] == 0 || ((h[2] >> 2) & 3) != 0) break;
    walk.allMpeg1Layer3JointStereo &= (h[1] & 0xFE) == 0xFA && (h[3] >> 6) == 1;
    walk.kbps.insert(kKbps[h[2] >> 4]);
    at += size_t(144 * kKbps[h[2] >> 4] * 1000 / 44100 + ((h[2] >> 1) & 1));
    ++walk.frames;
  }
  walk.rest = mp3.substr(std::min(at, mp3.size()));
  return walk;
}

// The bytes after the first frame, the one that LAME keeps for its tag.
std::string AfterFirstFrame(const std::string& mp3) {
  static const int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  if (mp3.size() < 4) return {};
  const auto* h = reinterpret_cast<const uint8_t*>(mp3.data());
  return mp3.substr(std::min(mp3.size(), size_t(144 * kKbps[h[2] >> 4] * 1000 / 44100 + ((h[2] >> 1) & 1))));
}

std::vector<int16_t> Samples(const std::string& bytes) {
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

// Signal-to-noise ratio in dB of the decoded audio against the original, over original frames
// [from, to), with the decoded audio shifted by the delay that fits best.
double AlignedSnr(const std::vector<int16_t>& original, const std::vector<int16_t>& decoded, size_t from,
                  size_t to) {
  size_t bestLag = 0;
  double best = -1e300;
  const size_t probe = std::min<size_t>(original.size() / 2, 8192);
  for (size_t lag = 0; lag < 4000 && (lag + probe) * 2 <= decoded.size(); ++lag) {
    double dot = 0;
    for (size_t i = 0; i < probe; ++i) dot += double(original[i * 2]) * decoded[(lag + i) * 2];
    if (dot > best) best = dot, bestLag = lag;
  }
  if ((bestLag + to) * 2 > decoded.size()) return -1000;  // the decoded audio ends too early
  double signal = 0, noise = 0;
  for (size_t i = from * 2; i < to * 2; ++i) {
    const double d = decoded[bestLag * 2 + i] - double(original[i]);
    signal += double(original[i]) * original[i];
    noise += d * d;
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

class Mp3Writer : public ::testing::Test {
 protected:
  // Writes the PCM as the rip worker does, one sector at a time; the sum of what Write returned.
  int64_t WriteTrack(CMP3LameOutput& writer, const std::string& pcm) {
    int64_t produced = 0;
    for (size_t at = 0; at < pcm.size(); at += 2352) {
      const int got = writer.Write(reinterpret_cast<const uint8_t*>(pcm.data() + at),
                                   int(std::min<size_t>(2352, pcm.size() - at)));
      EXPECT_GE(got, 0);
      produced += got;
    }
    return produced;
  }
  std::filesystem::path Rip(const std::string& name, const std::string& pcm, const CTrackInfo* tag,
                            int bitRate = 192) {
    const auto path = m_dir / name;
    CMP3LameOutput writer(44100, bitRate, path.string(), {}, kModule.string());
    EXPECT_TRUE(writer.IsReady());
    writer.SetTagTrack(tag);
    writer.Open();
    const int64_t produced = WriteTrack(writer, pcm);
    writer.Close();
    EXPECT_FALSE(writer.Failed()) << writer.FailureText();
    EXPECT_LE(produced, int64_t(std::filesystem::file_size(path)));
    return path;
  }
  std::string Lame(const std::string& pcm, const std::string& options) {
    const auto raw = m_dir / "in.raw";
    std::ofstream(raw, std::ios::binary).write(pcm.data(), std::streamsize(pcm.size()));
    const auto out = m_dir / "lame.mp3";
    EXPECT_EQ(RunCommand("lame -r -s 44.1 --bitwidth 16 --signed --little-endian --silent " + options + " " +
                         ShellQuote(raw.string()) + " " + ShellQuote(out.string()) + " 2>/dev/null")
                  .status,
              0);
    return ReadFile(out);
  }

  fixtures::TempDir m_dir;
};

TEST_F(Mp3Writer, FilesHoldTheWholeTrackAsLameWouldEncodeIt) {
  const std::string pcm = Music(203);  // 119364 samples per channel: the last chunk is a partial one
  CTrackInfo track(0, 202, "Whole");
  const auto path = Rip("whole.mp3", pcm, &track);
  const std::string file = ReadFile(path);
  const FrameWalk walk = WalkFrames(file);
  EXPECT_TRUE(walk.allMpeg1Layer3JointStereo);
  EXPECT_EQ(walk.kbps, std::set<int>{192});
  EXPECT_EQ(walk.rest.substr(0, 3), "TAG");
  // Apart from the first frame (LAME's tag frame, left empty), the very frames of lame on the
  // same samples, so the audio short of a whole chunk at the end was encoded too.
  const std::string lame = Lame(pcm, "-m j -b 192 -q 2 --nores");
  ASSERT_GT(WalkFrames(lame).frames, 100);
  EXPECT_TRUE(AfterFirstFrame(file.substr(0, file.size() - 128)) == AfterFirstFrame(lame));

  EXPECT_EQ(
      RunCommand(
          "ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,bit_rate -of csv=p=0 " +
          ShellQuote(path.string()))
          .out,
      "mp3,44100,2,192000\n");
  const std::vector<int16_t> original = Samples(pcm);
  const size_t frames = original.size() / 2;
  for (const std::string& decoder :
       {"ffmpeg -v error -i " + ShellQuote(path.string()) + " -f s16le -acodec pcm_s16le -",
        "lame --decode --silent -t " + ShellQuote(path.string()) + " -"}) {
    const std::vector<int16_t> decoded = Samples(RunCommand(decoder).out);
    EXPECT_GT(AlignedSnr(original, decoded, 0, frames), 15.0) << decoder;
    EXPECT_GT(AlignedSnr(original, decoded, frames - 1152, frames), 15.0)
        << decoder << ": the end is missing";
  }
}

TEST_F(Mp3Writer, BitRatesOfTheSettingsPageStayMpeg1AtTheirRate) {
  const std::string pcm = Music(60, 3);
  for (int kbps : {32, 128, 320}) {
    const auto path = Rip(std::to_string(kbps) + ".mp3", pcm, nullptr, kbps);
    const FrameWalk walk = WalkFrames(ReadFile(path));
    EXPECT_TRUE(walk.allMpeg1Layer3JointStereo) << kbps;
    EXPECT_EQ(walk.kbps, std::set<int>{kbps});
    EXPECT_EQ(walk.rest, "") << kbps << ": no tag without a tag track";
    EXPECT_EQ(RunCommand("ffprobe -v error -show_entries stream=sample_rate,bit_rate -of csv=p=0 " +
                         ShellQuote(path.string()))
                  .out,
              "44100," + std::to_string(kbps * 1000) + "\n");
  }
}

TEST_F(Mp3Writer, OneSectorTrackHoldsTheFlushAndTheTag) {
  const std::string pcm = Music(1);
  CTrackInfo track(5, 5, "One");
  const std::string file = ReadFile(Rip("one.mp3", pcm, &track));
  const FrameWalk walk = WalkFrames(file);
  EXPECT_GE(walk.frames, 2);
  EXPECT_EQ(walk.rest.size(), 128u);
  EXPECT_EQ(AfterFirstFrame(file.substr(0, file.size() - 128)),
            AfterFirstFrame(Lame(pcm, "-m j -b 192 -q 2 --nores")));
}

TEST_F(Mp3Writer, TagBytes) {
  const std::string title = "A title of forty characters: 12345678901";
  ASSERT_EQ(title.size(), 40u);
  CTrackInfo track(0, 0, title.c_str());
  track.album = "Caf\u00e9 \u00fcber \u65e5\u672c";  // é and ü are Latin-1, the two kanji are not
  track.year = 0;
  const std::string pcm = Music(3);
  std::string tag = ReadFile(Rip("tagged.mp3", pcm, &track));
  tag = tag.substr(tag.size() - 128);
  std::string expected(128, '\0');
  expected.replace(0, 33, "TAG" + title.substr(0, 30));
  const std::string album =
      "Caf\xe9 \xfc"
      "ber ??";
  expected.replace(63, album.size(), album);
  // A track without a year leaves the year's four bytes blank.
  EXPECT_EQ(tag, expected);

  track.setTitle("Short");
  track.artist = "";
  track.year = 2003;
  track.comment = std::string(29, 'c') + "\u00e9\u00e9";  // cut after the first é: 30 Latin-1 bytes
  const auto path = Rip("2003.mp3", pcm, &track);
  tag = ReadFile(path);
  tag = tag.substr(tag.size() - 128);
  EXPECT_EQ(tag.substr(3, 30), "Short" + std::string(25, '\0'));
  EXPECT_EQ(tag.substr(33, 30), std::string(30, '\0'));
  EXPECT_EQ(tag.substr(93, 4), "2003");
  EXPECT_EQ(tag.substr(97, 30), std::string(29, 'c') + "\xe9");
  EXPECT_EQ(tag[127], '\0');
  EXPECT_EQ(RunCommand("ffprobe -v error -show_entries format_tags=title,date -of csv=p=0 " +
                       ShellQuote(path.string()))
                .out,
            "Short,2003\n");
}

TEST_F(Mp3Writer, WritersOneAfterAnotherAndSideBySide) {
  const std::string pcm = Music(20);
  Rip("first.mp3", pcm, nullptr);
  CMP3LameOutput a(44100, 128, (m_dir / "a.mp3").string(), {}, kModule.string());
  CMP3LameOutput b(44100, 256, (m_dir / "b.mp3").string(), {}, kModule.string());
  a.Open();
  b.Open();
  WriteTrack(a, pcm);
  WriteTrack(b, pcm);
  a.Close();
  b.Close();
  EXPECT_EQ(WalkFrames(ReadFile(m_dir / "a.mp3")).kbps, std::set<int>{128});
  EXPECT_EQ(WalkFrames(ReadFile(m_dir / "b.mp3")).kbps, std::set<int>{256});
  EXPECT_EQ(ReadFile(m_dir / "first.mp3"), ReadFile(Rip("second.mp3", pcm, nullptr)));
}

TEST_F(Mp3Writer, MissingModuleIsShownOnceAndLeavesAnEmptyFile) {
  std::vector<std::string> shown;
  const auto path = m_dir / "missing.mp3";
  CMP3LameOutput writer(
      44100, 192, path.string(), [&](const std::string& text) { shown.push_back(text); },
      (m_dir / "nowhere" / "lame_enc.so").string());
  EXPECT_EQ(shown, std::vector<std::string>{"Library lame_enc.so can not be found!"});
  EXPECT_FALSE(writer.IsReady());
  CTrackInfo track(0, 1, "Tagged");
  writer.SetTagTrack(&track);  // not ready: no tag either
  writer.Open();
  const std::string pcm = Music(2);
  EXPECT_EQ(writer.Write(reinterpret_cast<const uint8_t*>(pcm.data()), 2352), -1);
  writer.Close();
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  EXPECT_TRUE(writer.Failed());
  EXPECT_NE(writer.FailureText().find("lame_enc.so could not be loaded"), std::string::npos)
      << writer.FailureText();
}

TEST(Latin1, Conversion) {
  EXPECT_EQ(Utf8ToLatin1("plain \u00ff\u0100"), "plain \xff?");
  EXPECT_EQ(Utf8ToLatin1("\xc3"), "?");                // cut short
  EXPECT_EQ(Utf8ToLatin1("\xc0\xaf x"), "?? x");       // overlong
  EXPECT_EQ(Utf8ToLatin1("\xed\xa0\x80"), "???");      // surrogate
  EXPECT_EQ(Utf8ToLatin1("\xf0\x9f\x8e\xb5!"), "?!");  // outside the BMP: one character, one '?'
}

// Encoder modules that misbehave on purpose, built with the system's C compiler. Each logs its calls.
class FakeModule : public ::testing::Test {
 protected:
  struct Behaviour {
    bool withVersion = true;
    unsigned chunk = 2304;
    unsigned initResult = 0;
    unsigned closeResult = 0;
    unsigned failFrom = 0, failTo = 0;  // beEncodeChunk calls [failFrom, failTo) fail
    int infoTagResult = -1;             // −1: no beWriteInfoTag
  };
  std::string Build(const Behaviour& b) {
    const auto folder = m_dir / ("m" + std::to_string(++m_built));
    std::filesystem::create_directory(folder);
    m_log = folder / "calls.log";
    std::ofstream(folder / "fake.c")
        << "#include <stdint.h>\n#include <stdio.h>\n#include <string.h>\n"
        << "static unsigned calls;\n"
        << "static void Log(const char* what, unsigned n) { FILE* f = fopen(\"" << m_log.string()
        << "\", \"a\"); if (f) { fprintf(f, \"%s %u\\n\", what, n); fclose(f); } }\n"
        << "uint32_t beInitStream(void* c, uint32_t* s, uint32_t* b, uintptr_t* h) { (void)c; Log(\"init\", "
           "0);"
        << " *s = " << b.chunk << "; *b = 8192; *h = 7; return " << b.initResult << "; }\n"
        << "uint32_t beEncodeChunk(uintptr_t h, uint32_t n, const int16_t* p, uint8_t* o, uint32_t* k) {"
        << " (void)h; (void)p; ++calls; *k = 0; if (calls >= " << b.failFrom << " && calls < " << b.failTo
        << ") { Log(\"fail\", n); return 1; } Log(\"encode\", n); *k = n / 8; memset(o, 'E', *k); return 0; "
           "}\n"
        << "uint32_t beDeinitStream(uintptr_t h, uint8_t* o, uint32_t* k) { (void)h; Log(\"deinit\", 0);"
        << " memcpy(o, \"FLUSH\", 5); *k = 5; return 0; }\n"
        << "uint32_t beCloseStream(uintptr_t h) { (void)h; Log(\"close\", 0); return " << b.closeResult
        << "; }\n"
        << (b.withVersion ? "void beVersion(void* v) { (void)v; Log(\"version\", 0); }\n" : "")
        << "uint32_t beWriteVBRHeader(const char* f) { (void)f; Log(\"header\", 0); return 0; }\n"
        << (b.infoTagResult < 0
                ? std::string()
                : "uint32_t beWriteInfoTag(uintptr_t h, const char* f) { (void)h; FILE* in = "
                  "fopen(f, \"rb\"); char head[5] = {0}; Log(in && fread(head, 1, 5, in) == 5 "
                  "&& !memcmp(head, \"EEEEE\", 5) ? \"infotag\" : \"unflushed\", 0); if (in) "
                  "fclose(in); return " +
                      std::to_string(b.infoTagResult) + "; }\n");
    const auto so = folder / "lame_enc.so";
    const auto result = RunCommand("cc -shared -fPIC -o " + ShellQuote(so.string()) + " " +
                                   ShellQuote((folder / "fake.c").string()) + " 2>&1");
    EXPECT_EQ(result.status, 0) << result.out;
    return so.string();
  }
  // The logged calls, and the samples that reached the encoder.
  std::vector<std::string> Calls(uint64_t* encodedSamples = nullptr) {
    std::vector<std::string> calls;
    std::ifstream in(m_log);
    std::string what;
    uint64_t n = 0, total = 0;
    while (in >> what >> n) {
      calls.push_back(what);
      if (what == "encode") total += n;
    }
    if (encodedSamples) *encodedSamples = total;
    return calls;
  }
  // A writer on the module, fed the given sectors; the sum of Write's results (−1 counted apart).
  std::unique_ptr<CMP3LameOutput> Feed(const std::string& module, int sectors, int64_t* produced,
                                       int* refused) {
    auto writer = std::make_unique<CMP3LameOutput>(
        44100, 192, (m_dir / "out.mp3").string(), [this](const std::string&) { ++m_shown; }, module);
    writer->SetTagTrack(&m_track);
    writer->Open();
    const std::string pcm(2352, '\1');
    *produced = 0;
    *refused = 0;
    for (int i = 0; i < sectors; ++i) {
      const int got = writer->Write(reinterpret_cast<const uint8_t*>(pcm.data()), 2352);
      got < 0 ? ++* refused : * produced += got;
    }
    return writer;
  }
  std::string Output() { return ReadFile(m_dir / "out.mp3"); }

  fixtures::TempDir m_dir;
  std::filesystem::path m_log;
  int m_built = 0;
  int m_shown = 0;
  CTrackInfo m_track{0, 0, "Fake"};
};

TEST_F(FakeModule, WithoutBeVersionTheWriterIsNotReadyAndCallsNothing) {
  Behaviour b;
  b.withVersion = false;
  int64_t produced;
  int refused;
  auto writer = Feed(Build(b), 4, &produced, &refused);
  EXPECT_FALSE(writer->IsReady());
  EXPECT_EQ(refused, 4);
  writer->Close();
  EXPECT_EQ(m_shown, 0);
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(Output(), "");
  EXPECT_NE(writer->FailureText().find("beVersion"), std::string::npos) << writer->FailureText();
}

TEST_F(FakeModule, AnyChunkThatFitsTheBufferTakesEverySample) {
  for (unsigned chunk : {300u, 2304u, 5120u}) {
    Behaviour b;
    b.chunk = chunk;
    int64_t produced;
    int refused;
    auto writer = Feed(Build(b), 9, &produced, &refused);
    ASSERT_TRUE(writer->IsReady()) << chunk;
    writer->Close();
    uint64_t samples = 0;
    const auto calls = Calls(&samples);
    EXPECT_EQ(samples, 9u * 1176) << chunk;
    EXPECT_EQ(calls.front(), "init");
    EXPECT_EQ(std::vector<std::string>(calls.end() - 2, calls.end()),
              (std::vector<std::string>{"deinit", "close"}));
    EXPECT_EQ(refused, 0);
    // Write returned what it wrote; the rest of the samples went at Close, then the flush and the tag.
    const uint64_t whole = samples / chunk * (chunk / 8), rest = samples % chunk / 8;
    EXPECT_EQ(uint64_t(produced), whole) << chunk;
    EXPECT_EQ(Output().substr(0, whole + rest + 8), std::string(whole + rest, 'E') + "FLUSHTAG") << chunk;
    EXPECT_EQ(Output().size(), whole + rest + 5 + 128) << chunk;
    EXPECT_FALSE(writer->Failed()) << writer->FailureText();
  }
}

TEST_F(FakeModule, RefusedSettingsAndOversizedChunksMakeNoEncoderCallAtClose) {
  Behaviour refused;
  refused.initResult = 2;
  Behaviour huge;
  huge.chunk = 5122;  // more than the 10240-byte buffer holds
  for (const auto& [behaviour, calls] : {std::pair{refused, std::vector<std::string>{"init"}},
                                         std::pair{huge, std::vector<std::string>{"init", "close"}}}) {
    int64_t produced;
    int rejected;
    auto writer = Feed(Build(behaviour), 3, &produced, &rejected);
    EXPECT_FALSE(writer->IsReady());
    writer->Close();
    EXPECT_EQ(Calls(), calls);
    EXPECT_EQ(Output(), "");
    EXPECT_TRUE(writer->Failed());
    EXPECT_EQ(m_shown, 0);
  }
}

TEST_F(FakeModule, AFailedChunkIsTriedAgainAndReported) {
  Behaviour b;
  b.failFrom = 2;
  b.failTo = 4;
  int64_t produced;
  int refused;
  auto writer = Feed(Build(b), 12, &produced, &refused);
  writer->Close();
  uint64_t samples = 0;
  Calls(&samples);
  EXPECT_EQ(samples, 12u * 1176);  // nothing lost: the failed chunk went again
  EXPECT_EQ(refused, 2);
  EXPECT_TRUE(writer->Failed());
  EXPECT_NE(writer->FailureText().find("failed on a chunk"), std::string::npos) << writer->FailureText();
}

TEST_F(FakeModule, AnEncoderThatKeepsFailingNeverOverrunsTheBuffer) {
  Behaviour b;
  b.failFrom = 1;
  b.failTo = 1000000;
  int64_t produced;
  int refused;
  auto writer = Feed(Build(b), 50, &produced, &refused);
  EXPECT_EQ(refused, 49);  // the first sector does not fill a chunk yet
  writer->Close();
  EXPECT_EQ(Output().substr(0, 8), "FLUSHTAG");
  EXPECT_EQ(Output().size(), 5u + 128);
  EXPECT_NE(writer->FailureText().find("failed on a chunk"), std::string::npos) << writer->FailureText();
}

TEST_F(FakeModule, CloseStreamFailingWritesNoTag) {
  Behaviour b;
  b.closeResult = 1;
  int64_t produced;
  int refused;
  auto writer = Feed(Build(b), 4, &produced, &refused);
  writer->Close();
  EXPECT_NE(writer->FailureText().find("could not close"), std::string::npos) << writer->FailureText();
  writer.reset();
  const std::string file = Output();
  EXPECT_EQ(file.substr(file.size() - 5), "FLUSH");
}

TEST_F(FakeModule, TheInfoFrameComesAfterEveryByteAndBeforeTheTagAndItsFailureIsTheWriters) {
  for (const int result : {0, 3}) {
    Behaviour b;
    b.infoTagResult = result;
    int64_t produced;
    int refused;
    auto writer = Feed(Build(b), 4, &produced, &refused);
    writer->Close();
    // In place of beCloseStream, on a file that already holds the audio.
    const std::vector<std::string> calls = Calls();
    EXPECT_EQ(calls.back(), "infotag");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), std::string("close")), 0);
    const std::string file = Output();
    EXPECT_EQ(file.substr(file.size() - 128, 7), "TAGFake");
    EXPECT_EQ(writer->Failed(), result != 0) << result;
    if (result) {
      EXPECT_NE(writer->FailureText().find("info frame (error 3)"), std::string::npos);
    }
  }
}

// korvi-cli, the rip job and the format table together.
class Mp3Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 150, 0, {}}, {false, 100, 20, {}}, {false, 80, 10, {}}};
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", layout, &m_image, nullptr));
    m_out = m_dir / "out";
    std::filesystem::create_directory(m_out);
    m_env = "HOME=" + ShellQuote(m_dir.path().string()) +
            " XDG_CONFIG_HOME=" + ShellQuote((m_dir / "config").string()) +
            " XDG_DATA_HOME=" + ShellQuote((m_dir / "data").string()) + " ";
  }
  fixtures::CommandResult Rip(const std::string& cli, const std::string& args) {
    return RunCommand(m_env + ShellQuote(cli) + " rip " + ShellQuote(m_image.cue.string()) +
                      " --format mp3 --on-exists overwrite --no-verify --no-log --no-cue --out " +
                      ShellQuote(m_out.string()) + " " + args);
  }
  static size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  std::filesystem::path m_out;
  std::string m_env;
};

TEST_F(Mp3Cli, RipsWithTheBitRateAndTagAsked) {
  const auto result = Rip(KORVI_CLI_PATH, "--tracks 1,3 --bitrate 128");
  ASSERT_EQ(result.status, 0);
  EXPECT_EQ(result.out, (m_out / "Track 1.mp3").string() + "\n" + (m_out / "Track 3.mp3").string() + "\n");
  const auto track3 = (m_out / "Track 3.mp3").string();
  EXPECT_EQ(RunCommand("ffprobe -v error -show_entries stream=bit_rate:format_tags=title,date -of csv=p=0 " +
                       ShellQuote(track3))
                .out,
            "128000\nTrack 3\n");  // nothing named a year: none in either tag
  EXPECT_EQ(WalkFrames(ReadFile(track3)).rest.size(), 128u);

  ASSERT_EQ(Rip(KORVI_CLI_PATH, "--tracks 2 --no-id3").status, 0);
  const FrameWalk walk = WalkFrames(ReadFile(m_out / "Track 2.mp3"));
  EXPECT_EQ(walk.kbps, std::set<int>{192});  // the settings' default
  EXPECT_EQ(walk.rest, "");
}

// The info frame tells decoders the encoder's delay and padding: both give back exactly the track's
// samples, in place, whatever the length (151 sectors: no whole number of MP3 frames, nor of chunks).
TEST_F(Mp3Cli, DecodersGiveBackExactlyTheTracksSamples) {
  fixtures::ImageLayout layout;
  layout.tracks = {{false, 151, 0, {}}, {false, 98, 0, {}}};
  ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "odd.cue", layout, &m_image, nullptr));
  ASSERT_EQ(Rip(KORVI_CLI_PATH, "").status, 0);
  for (size_t n = 0; n < 2; ++n) {
    const int32_t end = n + 1 < m_image.starts.size() ? m_image.starts[n + 1] : m_image.leadOut;
    const std::vector<uint8_t> bin = fixtures::ReadBinSectors(m_image.bin, m_image.starts[n], end - 1);
    ASSERT_EQ(bin.size(), size_t(end - m_image.starts[n]) * 2352);
    const std::vector<int16_t> original = Samples(std::string(bin.begin(), bin.end()));
    const auto path = ShellQuote((m_out / ("Track " + std::to_string(n + 1) + ".mp3")).string());
    for (const std::string& decoder : {"ffmpeg -v error -i " + path + " -f s16le -acodec pcm_s16le -",
                                       "lame --decode --silent -t " + path + " -"}) {
      const std::vector<int16_t> decoded = Samples(RunCommand(decoder).out);
      EXPECT_EQ(decoded.size(), original.size()) << decoder;
      // In place: no shift, or the start would be noise against the original.
      double signal = 0, noise = 0;
      for (size_t i = 0; i < std::min(original.size(), decoded.size()); ++i) {
        signal += double(original[i]) * original[i];
        noise += (decoded[i] - double(original[i])) * (decoded[i] - double(original[i]));
      }
      EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), 15.0) << decoder;
    }
  }
}

TEST_F(Mp3Cli, WithoutTheModuleEachTrackSaysSoAndTheJobGoesOn) {
  // A copy of the tool in a folder without the module.
  const auto alone = m_dir / "alone" / "korvi-cli";
  std::filesystem::create_directory(alone.parent_path());
  std::filesystem::copy_file(KORVI_CLI_PATH, alone);
  const auto result = Rip(alone.string(), "2>&1");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(Count(result.out, "korvi-cli: Library lame_enc.so can not be found!\n"), 3u) << result.out;
  for (int n = 1; n <= 3; ++n) {
    const auto file = m_out / ("Track " + std::to_string(n) + ".mp3");
    // A file that failed is removed, not left empty under its name.
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(Count(result.out,
                    "korvi-cli: " + file.string() + ": the MP3 encoder lame_enc.so could not be loaded"),
              1u)
        << result.out;
  }
}

TEST_F(Mp3Cli, LdLibraryPathComesBeforeTheModuleBesideTheTool) {
  const auto folder = m_dir / "fake";
  std::filesystem::create_directory(folder);
  std::ofstream(folder / "fake.c") << "void beInitStream(void) {}\n";  // and nothing else
  ASSERT_EQ(RunCommand("cc -shared -fPIC -o " + ShellQuote((folder / "lame_enc.so").string()) + " " +
                       ShellQuote((folder / "fake.c").string()))
                .status,
            0);
  const auto result = RunCommand("LD_LIBRARY_PATH=" + ShellQuote(folder.string()) + " " + m_env +
                                 ShellQuote(KORVI_CLI_PATH) + " rip " + ShellQuote(m_image.cue.string()) +
                                 " --format mp3 --tracks 2 --out " + ShellQuote(m_out.string()) + " 2>&1");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out.find("can not be found"), std::string::npos);
  EXPECT_NE(result.out.find("has no entry point beEncodeChunk"), std::string::npos) << result.out;
  EXPECT_FALSE(std::filesystem::exists(m_out / "Track 2.mp3"));
}

}  // namespace
}  // namespace korvi
