// Cue sheets as people have them, read by our own reader: the same disc written as one bin (which
// cd-info and libdiscid confirm in the disc tests), as one bin per track with the gaps appended to
// the track before, as WAVE and FLAC files, big-endian, and with its silence declared instead of
// stored, must give the same rows, disc id and bytes. Broken sheets are refused with their cause.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "cddb/disc_id.h"
#include "disc/cd_device.h"
#include "disc/read_toc.h"
#include "disc/track_rows.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"

namespace korvi {
namespace {

using fixtures::ImageLayout;
using fixtures::RunCommand;
using fixtures::ShellQuote;
using fixtures::WrittenImage;

std::string Msf(int32_t frames) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", frames / 4500, (frames / 75) % 60, frames % 75);
  return text;
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

struct Disc {
  std::vector<std::string> rows;
  uint32_t discId = 0;
  std::vector<uint8_t> sectors;
  std::string error;
};

Disc ReadDisc(const std::filesystem::path& cue) {
  Disc disc;
  std::unique_ptr<CdDevice> device = CdDevice::Open(cue.string(), &disc.error);
  if (!device) return disc;
  DiscToc toc;
  TrackRowTable rows;
  if (ReadTocIntoRows(device.get(), toc, rows) != 0) {
    disc.error = device->lastError();
    return disc;
  }
  for (const auto& row : rows.rows())
    disc.rows.push_back(row.texts[0] + "|" + row.texts[1] + "|" + row.texts[2] + "|" + row.texts[3]);
  disc.discId = DiscIdOf(toc.toc);
  const int32_t leadOut = SectorFromMsf(toc.toc.TrackData[TocTrackCount(toc.toc)].Address);
  disc.sectors.resize(size_t(leadOut) * kRawSectorBytes);
  // In uneven pieces, so that reads start and end inside files and across their borders.
  for (int32_t at = 0, piece = 7; at < leadOut; at += piece, piece = piece % 97 + 13) {
    const int32_t count = std::min(piece, leadOut - at);
    if (!device->ReadRawSectors(at, disc.sectors.data() + size_t(at) * kRawSectorBytes, count)) {
      disc.error = device->lastError();
      return disc;
    }
  }
  return disc;
}

class CueImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Pregaps before tracks 2 and 4, a track that starts off a whole second.
    m_layout.tracks = {{false, 700, 0, {}}, {false, 512, 150, {}}, {false, 433, 0, {}}, {false, 601, 75, {}}};
    m_layout.seed = 11;
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "one.cue", m_layout, &m_image, nullptr));
    m_reference = ReadDisc(m_image.cue);
    ASSERT_EQ(m_reference.error, "");
    ASSERT_EQ(m_reference.rows.size(), 4u);
  }

  // The bytes of the one bin from first to last (sectors, inclusive).
  std::vector<uint8_t> Bytes(int32_t first, int32_t last) const {
    return fixtures::ReadBinSectors(m_image.bin, first, last);
  }
  // Where each track's stored pregap (INDEX 00) begins.
  int32_t PregapBegin(size_t t) const { return m_image.starts[t] - m_layout.tracks[t].pregap; }

  // One file per track from its INDEX 01 up to the next one, the next track's INDEX 00 in the
  // file before: the layout most archival rips have. convert turns a bin file into the format.
  std::filesystem::path WritePerTrack(const std::string& type, const std::string& extension,
                                      const std::function<void(const std::filesystem::path&)>& convert) {
    std::string sheet;
    for (size_t t = 0; t < m_image.starts.size(); ++t) {
      const int32_t first = t == 0 ? 0 : m_image.starts[t];
      const int32_t end = t + 1 < m_image.starts.size() ? m_image.starts[t + 1] : m_image.leadOut;
      const std::string name = "Track " + std::to_string(t + 1) + extension;
      WriteFile(m_dir / name, Bytes(first, end - 1));
      convert(m_dir / name);
      if (t == 0) sheet += "FILE \"" + name + "\" " + type + "\n";
      sheet += "  TRACK 0" + std::to_string(t + 1) + " AUDIO\n";
      if (t > 0 && m_layout.tracks[t].pregap > 0)
        sheet += "    INDEX 00 " + Msf(PregapBegin(t) - (t == 1 ? 0 : m_image.starts[t - 1])) + "\n";
      if (t > 0) sheet += "FILE \"" + name + "\" " + type + "\n";
      sheet += "    INDEX 01 " + Msf(t == 0 ? m_image.starts[0] : 0) + "\n";
    }
    std::ofstream(m_dir / ("per-track" + extension + ".cue")) << sheet;
    return m_dir / ("per-track" + extension + ".cue");
  }

  void ExpectSameDisc(const std::filesystem::path& cue) {
    const Disc disc = ReadDisc(cue);
    ASSERT_EQ(disc.error, "");
    EXPECT_EQ(disc.rows, m_reference.rows);
    EXPECT_EQ(disc.discId, m_reference.discId);
    ASSERT_EQ(disc.sectors.size(), m_reference.sectors.size());
    EXPECT_TRUE(disc.sectors == m_reference.sectors) << "the bytes differ";
  }

  std::string OpenError(const std::string& sheet, const std::string& name = "bad.cue") {
    std::ofstream(m_dir / name) << sheet;
    std::string error;
    EXPECT_FALSE(CdDevice::Open((m_dir / name).string(), &error));
    return error;
  }

  fixtures::TempDir m_dir;
  ImageLayout m_layout;
  WrittenImage m_image;
  Disc m_reference;
};

const auto kAsIs = [](const std::filesystem::path&) {};

TEST_F(CueImageTest, OneBinPerTrackWithTheGapsAppendedAndNamesInAnotherCase) {
  const std::filesystem::path cue = WritePerTrack("BINARY", ".bin", kAsIs);
  // The sheet says "Track 3.bin"; the file on disk is "TRACK 3.BIN".
  std::filesystem::rename(m_dir / "Track 3.bin", m_dir / "TRACK 3.BIN");
  ExpectSameDisc(cue);
  // Opened by a bare name from its own folder, as a user in a terminal does.
  const auto bare =
      RunCommand("cd " + ShellQuote(m_dir.path().string()) + " && " + ShellQuote(KORVI_CLI_PATH) + " toc " +
                 ShellQuote(cue.filename().string()) + " 2>&1");
  const auto one = RunCommand(ShellQuote(KORVI_CLI_PATH) + " toc " + ShellQuote(m_image.cue.string()));
  EXPECT_EQ(bare.status, 0);
  EXPECT_EQ(bare.out, one.out);
}

TEST_F(CueImageTest, WaveFilesPerTrack) {
  ExpectSameDisc(WritePerTrack("WAVE", ".wav", [](const std::filesystem::path& path) {
    const std::string raw = path.string() + ".raw";
    std::filesystem::rename(path, raw);
    ASSERT_EQ(RunCommand("sox -t raw -r 44100 -e signed -b 16 -c 2 -L " + ShellQuote(raw) + " " +
                         ShellQuote(path.string()) + " 2>&1")
                  .status,
              0);
  }));
}

TEST_F(CueImageTest, AFlacImageOfTheWholeDisc) {
  const std::string raw = (m_dir / "disc.raw").string();
  WriteFile(raw, Bytes(0, m_image.leadOut - 1));
  const auto flac = RunCommand(
      "flac -s --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 "
      "--sample-rate=44100 -o " +
      ShellQuote((m_dir / "CDImage.flac").string()) + " " + ShellQuote(raw) + " 2>&1");
  ASSERT_EQ(flac.status, 0) << flac.out;
  std::ifstream one(m_image.cue);
  std::string sheet((std::istreambuf_iterator<char>(one)), std::istreambuf_iterator<char>());
  sheet.replace(0, sheet.find('\n'), "FILE \"CDImage.flac\" WAVE");  // as many rippers write it
  std::ofstream(m_dir / "CDImage.cue") << sheet;
  ExpectSameDisc(m_dir / "CDImage.cue");

  // And a rip from it writes the very file a rip from the bin writes.
  for (const char* name : {"one", "CDImage"}) {
    std::filesystem::create_directory(m_dir / (std::string(name) + "-out"));
    const auto rip = RunCommand("HOME=" + ShellQuote(m_dir.path().string()) + " XDG_CONFIG_HOME=" +
                                ShellQuote((m_dir / "config").string()) + " " + ShellQuote(KORVI_CLI_PATH) +
                                " rip " + ShellQuote((m_dir / (std::string(name) + ".cue")).string()) +
                                " --format wav --tracks 2,4 --out " +
                                ShellQuote((m_dir / (std::string(name) + "-out")).string()) + " 2>&1");
    ASSERT_EQ(rip.status, 0) << rip.out;
  }
  for (const char* file : {"Track 2.wav", "Track 4.wav"}) {
    std::ifstream a(m_dir / "one-out" / file, std::ios::binary),
        b(m_dir / "CDImage-out" / file, std::ios::binary);
    const std::string bytesA((std::istreambuf_iterator<char>(a)), std::istreambuf_iterator<char>());
    const std::string bytesB((std::istreambuf_iterator<char>(b)), std::istreambuf_iterator<char>());
    EXPECT_GT(bytesA.size(), 44u + 2352u * 500u);
    EXPECT_TRUE(bytesA == bytesB) << file;
  }
}

TEST_F(CueImageTest, ABigEndianBinAndSilenceDeclaredInsteadOfStored) {
  // MOTOROLA: every sample's bytes swapped.
  std::vector<uint8_t> swapped = Bytes(0, m_image.leadOut - 1);
  for (size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
  WriteFile(m_dir / "Swapped Disc.img", swapped);
  std::ifstream one(m_image.cue);
  std::string sheet((std::istreambuf_iterator<char>(one)), std::istreambuf_iterator<char>());
  sheet.replace(0, sheet.find('\n'), "FILE \"Swapped Disc.img\" MOTOROLA");
  std::ofstream(m_dir / "swapped.cue") << sheet;
  ExpectSameDisc(m_dir / "swapped.cue");

  // The pregaps' silence not in the file: track 2's as a PREGAP, track 4's as track 3's POSTGAP.
  std::vector<uint8_t> kept = Bytes(0, PregapBegin(1) - 1);
  const auto append = [&](int32_t first, int32_t last) {
    const std::vector<uint8_t> more = Bytes(first, last);
    kept.insert(kept.end(), more.begin(), more.end());
  };
  append(m_image.starts[1], PregapBegin(3) - 1);
  append(m_image.starts[3], m_image.leadOut - 1);
  WriteFile(m_dir / "gapless.bin", kept);
  const int32_t shift2 = m_layout.tracks[1].pregap;
  const int32_t shift4 = shift2 + m_layout.tracks[3].pregap;
  std::ofstream(m_dir / "gaps.cue")
      << "FILE \"gapless.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
      << "  TRACK 02 AUDIO\n    PREGAP " << Msf(shift2) << "\n    INDEX 01 "
      << Msf(m_image.starts[1] - shift2) << "\n  TRACK 03 AUDIO\n    INDEX 01 "
      << Msf(m_image.starts[2] - shift2) << "\n    POSTGAP " << Msf(shift4 - shift2)
      << "\n  TRACK 04 AUDIO\n    INDEX 01 " << Msf(m_image.starts[3] - shift4) << "\n";
  ExpectSameDisc(m_dir / "gaps.cue");
}

TEST_F(CueImageTest, BrokenSheetsAreRefusedWithTheirCause) {
  const std::string bin = m_image.bin.filename().string();
  EXPECT_NE(OpenError("FILE \"Elsewhere.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n")
                .find("the data file \"Elsewhere.bin\" is missing"),
            std::string::npos);
  EXPECT_NE(OpenError("REM just a comment\nTITLE \"Nothing\"\n").find("the cue sheet has no track"),
            std::string::npos);
  EXPECT_NE(OpenError("FILE \"" + bin +
                      "\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:05:00\n  TRACK 02 AUDIO\n"
                      "    INDEX 01 00:02:00\n")
                .find("track 02: INDEX 01 at 00:02:00 does not come after the index before it"),
            std::string::npos);
  EXPECT_NE(OpenError("FILE \"" + bin + "\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n")
                .find("line 1: FILE type MP3 holds no CD audio that can be read"),
            std::string::npos);
  EXPECT_NE(OpenError("FILE \"" + bin + "\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n")
                .find("line 2: track mode MODE1/2048 cannot be read"),
            std::string::npos);
  EXPECT_NE(
      OpenError("FILE \"" + bin + "\" BINARY\n  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n").find("no INDEX 01"),
      std::string::npos);
  // A mode of unknown sectors is a data track only where no audio follows it; a data track named
  // by its INDEX 00 alone is only one at the end.
  const std::string audio = "FILE \"" + bin + "\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  EXPECT_NE(OpenError(audio + "  TRACK 02 MODEx/2xxx\n    INDEX 01 00:04:00\n  TRACK 03 AUDIO\n"
                              "    INDEX 01 00:06:00\n")
                .find("line 4: track mode MODEx/2xxx cannot be read: only AUDIO, MODE1/2352 and MODE2/2352 "
                      "before an audio track"),
            std::string::npos);
  EXPECT_NE(OpenError(audio + "  TRACK 02 MODE1/2352\n    INDEX 00 00:04:00\n  TRACK 03 MODE1/2352\n"
                              "    INDEX 01 00:06:00\n")
                .find("track 2 has no INDEX 01"),
            std::string::npos);
  // Megabytes of garbage, text or binary: refused at once, never read into memory whole.
  EXPECT_NE(OpenError(std::string(3 << 20, 'x')).find("too large to be a cue sheet"), std::string::npos);
  std::string noise(4096, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = char((i * 7919) >> 3);
  EXPECT_NE(OpenError(noise).find("binary data"), std::string::npos);
  // The error names the sheet, as the other open errors do.
  EXPECT_EQ(OpenError("junk\n", "named.cue").rfind("cannot open " + (m_dir / "named.cue").string() + ": ", 0),
            0u);
}

TEST_F(CueImageTest, KorviCliListsTheSheetsCdText) {
  std::ofstream(m_dir / "text.cue")
      << "REM GENRE \"Folk Rock\"\nREM DATE 1999\nREM DISCID 2A03F104\n"
      << "CATALOG 0724384260521\nPERFORMER \"The Band\"\nTITLE \"An Album\"\n"
      << "SONGWRITER \"Somebody\"\nFILE \"" << m_image.bin.filename().string()
      << "\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"First\"\n    ISRC USABC9900001\n"
      << "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    TITLE \"Second, with \xC3\xA9\"\n"
      << "    PERFORMER \"Guest\"\n    INDEX 00 " << Msf(PregapBegin(1)) << "\n"
      << "    INDEX 01 " << Msf(m_image.starts[1]) << "\n";
  const auto result =
      RunCommand(ShellQuote(KORVI_CLI_PATH) + " toc --cdtext " + ShellQuote((m_dir / "text.cue").string()));
  ASSERT_EQ(result.status, 0) << result.out;
  const std::string text = result.out.substr(result.out.find("\ndisc\t") + 1);
  EXPECT_EQ(text,
            "disc\tTITLE\tAn Album\ndisc\tPERFORMER\tThe Band\ndisc\tSONGWRITER\tSomebody\n"
            "disc\tCATALOG\t0724384260521\ndisc\tGENRE\tFolk Rock\ndisc\tDATE\t1999\ndisc\tDISCID\t2A03F104\n"
            "1\tTITLE\tFirst\n1\tISRC\tUSABC9900001\n2\tTITLE\tSecond, with \xC3\xA9\n2\tPERFORMER\tGuest\n");

  // The CD-Text that libcdio reads (a drive's, here a cdrdao image's, whose FILE libcdio takes
  // relative to the working folder) comes out the same way.
  std::ofstream(m_dir / "text.toc")
      << "CD_DA\nCD_TEXT {\n  LANGUAGE_MAP { 0 : EN }\n  LANGUAGE 0 {\n"
      << "    TITLE \"Toc Album\"\n    PERFORMER \"Toc Band\"\n  }\n}\n"
      << "TRACK AUDIO\nCD_TEXT {\n  LANGUAGE 0 {\n    TITLE \"Toc First\"\n  }\n}\n"
      << "FILE \"" << m_image.bin.string() << "\" 0 00:08:00\n"
      << "TRACK AUDIO\nFILE \"" << m_image.bin.string() << "\" 00:08:00 00:08:00\n";
  const auto toc =
      RunCommand(ShellQuote(KORVI_CLI_PATH) + " toc --cdtext " + ShellQuote((m_dir / "text.toc").string()));
  ASSERT_EQ(toc.status, 0) << toc.out;
  EXPECT_EQ(toc.out.substr(toc.out.find("\ndisc\t") + 1),
            "disc\tTITLE\tToc Album\ndisc\tPERFORMER\tToc Band\n1\tTITLE\tToc First\n");
}

}  // namespace
}  // namespace korvi
