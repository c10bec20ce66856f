// A disc with pre-gaps that hold music and a hidden track before track 1 is ripped as the program
// rips it (each track's file from its INDEX 01 to the next track's), and the cue sheet written
// over the files is read back by libcue: the same track starts, INDEX 00 places and texts. Our
// own image reader then plays the sheet as a disc, which must be the original sector for sector.

#include "report/cue_sheet_writer.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <libcue.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "disc/cd_device.h"
#include "disc/cue_image.h"
#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/image_toc.h"
#include "fixtures/temp_dir.h"
#include "fixtures/time_scale.h"
#include "library/disc_info.h"

namespace korvi {
namespace {

void PutLe(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// 44.1 kHz 16-bit stereo PCM behind a plain 44-byte header.
bool WriteWave(const std::filesystem::path& path, const std::vector<uint8_t>& pcm) {
  std::string header = "RIFF";
  PutLe(header, uint32_t(36 + pcm.size()), 4);
  header += "WAVEfmt ";
  PutLe(header, 16, 4);
  PutLe(header, 1, 2);
  PutLe(header, 2, 2);
  PutLe(header, 44100, 4);
  PutLe(header, 44100 * 4, 4);
  PutLe(header, 4, 2);
  PutLe(header, 16, 2);
  header += "data";
  PutLe(header, uint32_t(pcm.size()), 4);
  std::ofstream out(path, std::ios::binary);
  out << header;
  out.write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(pcm.size()));
  return bool(out);
}

struct CdDeleter {
  void operator()(Cd* cd) const { cd_delete(cd); }
};

// libcdio exports a cdtext_get of its own: take libcue's by name from libcue itself.
std::string CueText(enum Pti field, const Cdtext* text) {
  using Getter = const char* (*)(enum Pti, const Cdtext*);
  static void* library = dlopen("libcue.so.2", RTLD_NOW | RTLD_NOLOAD);
  static const auto get = library ? reinterpret_cast<Getter>(dlsym(library, "cdtext_get")) : Getter{};
  const char* value = get && text ? get(field, text) : nullptr;
  return value ? value : "";
}

struct Ripped {
  fixtures::ImageLayout layout;
  fixtures::WrittenImage image;
  RipReport report;
  std::map<std::string, int32_t> fileSectors;  // by file name
};

class CueSheetWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Track 1 after 200 sectors of hidden music; track 2 with a 150-sector pre-gap of music, track
    // 3 with none, track 4 with one of 33 sectors (not a whole second).
    m_disc.layout.tracks = {
        {false, 600, 200, {}}, {false, 500, 150, {}}, {false, 450, 0, {}}, {false, 520, 33, {}}};
    m_disc.layout.seed = 23;
    m_disc.layout.audiblePregaps = true;
    std::filesystem::create_directory(m_dir / "image");
    std::filesystem::create_directory(m_dir / "rip");
    std::string error;
    ASSERT_TRUE(
        fixtures::WriteCueBinImage(m_dir / "image" / "disc.cue", m_disc.layout, &m_disc.image, &error))
        << error;
    RipAsTheProgramDoes();
  }

  // Each track from its own TrackSpanOf into a WAVE file, and the audio before track 1 into one
  // of its own.
  void RipAsTheProgramDoes() {
    std::string error;
    std::unique_ptr<CdDevice> device = CdDevice::Open(m_disc.image.cue.string(), &error);
    ASSERT_TRUE(device) << error;
    DiscToc disc;
    ASSERT_TRUE(device->ReadToc(disc)) << device->lastError();
    ASSERT_EQ(TocTrackCount(disc.toc), 4);

    RipReport& report = m_disc.report;
    report.program = "Korvi CD Ripper 2.2";
    report.albumArtist = "Sigur Rós";
    report.albumTitle = "Ágætis \"byrjun\"";
    report.genre = "Post-rock";
    report.year = "1999";
    report.discId = "3a0a9c04";
    report.catalog = "5016025611955";
    const std::vector<std::string> titles = {"Intro", "Say \"Hi\" twice", "Svefn-g-englar — 東京",
                                             "Rock 'n' \"Roll\""};
    auto rip = [&](const std::string& name, int32_t first, int32_t last) {
      std::vector<uint8_t> pcm(size_t(last - first + 1) * kRawSectorBytes);
      ASSERT_TRUE(device->ReadRawSectors(first, pcm.data(), last - first + 1)) << device->lastError();
      ASSERT_TRUE(WriteWave(m_dir / "rip" / name, pcm));
      m_disc.fileSectors[name] = last - first + 1;
    };
    const int32_t hidden = TrackSpanOf(disc, 1).begin;
    ASSERT_EQ(hidden, 200);
    report.hiddenTrackFile = "00 Hidden track.wav";
    rip(report.hiddenTrackFile, 0, hidden - 1);
    for (int n = 1; n <= 4; ++n) {
      const TrackSpan span = TrackSpanOf(disc, n);
      report.toc.push_back({n, span.begin, span.end - span.begin + 1, true});
      ReportTrack track;
      track.number = n;
      track.title = titles[size_t(n - 1)];
      track.artist = n == 3 ? "Jónsi" : "";
      track.fileName = n == 4 ? "04 Rock 'n' Roll.wav" : "0" + std::to_string(n) + " Track.wav";
      track.isrc = n == 2 ? "ISXYZ9900002" : "";
      track.pregap = m_disc.layout.tracks[size_t(n - 1)].pregap;
      report.tracks.push_back(track);
      rip(track.fileName, span.begin, span.end);
    }
  }

  fixtures::TempDir m_dir;
  Ripped m_disc;
};

TEST_F(CueSheetWriterTest, LibcueReadsTheDiscBackOverTheRippedFiles) {
  std::string error;
  const std::optional<std::string> path = WriteCueSheet(m_disc.report, (m_dir / "rip").string(), &error);
  ASSERT_TRUE(path) << error;
  EXPECT_EQ(*path, (m_dir / "rip" / "Sigur Rós - Ágætis _byrjun_.cue").string());
  std::ifstream in(*path);
  const std::string sheet((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  const std::unique_ptr<Cd, CdDeleter> cd(cue_parse_string(sheet.c_str()));
  ASSERT_TRUE(cd) << sheet;
  ASSERT_EQ(cd_get_ntrack(cd.get()), 4) << sheet;
  EXPECT_EQ(CueText(PTI_TITLE, cd_get_cdtext(cd.get())), "Ágætis ''byrjun''");
  EXPECT_EQ(CueText(PTI_PERFORMER, cd_get_cdtext(cd.get())), "Sigur Rós");
  EXPECT_EQ(CueText(PTI_GENRE, cd_get_cdtext(cd.get())), "Post-rock");
  EXPECT_STREQ(rem_get(REM_DATE, cd_get_rem(cd.get())), "1999");
  // This libcue keeps neither the catalog nor REM DISCID.
  EXPECT_NE(sheet.find("\nCATALOG 5016025611955\n"), std::string::npos) << sheet;
  EXPECT_NE(sheet.find("\nREM DISCID 3a0a9c04\n"), std::string::npos) << sheet;

  // Where each file lies on the disc: they follow one another from sector 0.
  std::map<std::string, int32_t> fileStart;
  std::vector<std::string> fileOrder = {m_disc.report.hiddenTrackFile};
  for (const ReportTrack& track : m_disc.report.tracks) fileOrder.push_back(track.fileName);
  for (int32_t at = 0; const std::string& name : fileOrder) {
    fileStart[name] = at;
    at += m_disc.fileSectors[name];
  }

  // libcue gives a track its INDEX 01's file; an INDEX 00 not before INDEX 01 in that file lies in
  // the file before it.
  const std::vector<std::string> titles = {"Intro", "Say ''Hi'' twice", "Svefn-g-englar — 東京",
                                           "Rock 'n' ''Roll''"};
  for (int n = 1; n <= 4; ++n) {
    SCOPED_TRACE("track " + std::to_string(n));
    const Track* track = cd_get_track(cd.get(), n);
    ASSERT_TRUE(track);
    const std::string file = track_get_filename(track);
    ASSERT_TRUE(fileStart.count(file)) << file;
    const int32_t start = fileStart[file] + int32_t(track_get_start(track));
    EXPECT_EQ(start, m_disc.image.starts[size_t(n - 1)]);
    const long index0 = track_get_index(track, 0);
    const int32_t pregap = m_disc.layout.tracks[size_t(n - 1)].pregap;
    if (pregap == 0) {
      EXPECT_EQ(index0, -1);
    } else {
      ASSERT_GE(index0, track_get_start(track));
      const size_t at = size_t(std::find(fileOrder.begin(), fileOrder.end(), file) - fileOrder.begin());
      ASSERT_GT(at, 0u);
      EXPECT_EQ(fileStart[fileOrder[at - 1]] + int32_t(index0), start - pregap);
    }
    EXPECT_EQ(CueText(PTI_TITLE, track_get_cdtext(track)), titles[size_t(n - 1)]);
    EXPECT_EQ(CueText(PTI_PERFORMER, track_get_cdtext(track)), n == 3 ? "Jónsi" : "");
    EXPECT_STREQ(track_get_isrc(track), n == 2 ? "ISXYZ9900002" : nullptr);
  }

  // Our own reader lays the files out as the disc they came from, byte for byte.
  const std::unique_ptr<CueImage> image = CueImage::Open(*path, &error);
  ASSERT_TRUE(image) << error;
  ASSERT_EQ(image->Tracks().size(), 4u);
  for (size_t t = 0; t < 4; ++t) {
    EXPECT_EQ(image->Tracks()[t].start, m_disc.image.starts[t]);
    const int32_t pregap = m_disc.layout.tracks[t].pregap;
    EXPECT_EQ(image->Tracks()[t].pregapBegin,
              pregap ? std::optional<int32_t>(m_disc.image.starts[t] - pregap) : std::nullopt);
  }
  ASSERT_EQ(image->LeadOut(), m_disc.image.leadOut);
  std::vector<uint8_t> sectors(size_t(image->LeadOut()) * kRawSectorBytes);
  ASSERT_TRUE(image->ReadRawSectors(0, sectors.data(), image->LeadOut())) << image->LastError();
  EXPECT_TRUE(sectors == fixtures::ReadBinSectors(m_disc.image.bin, 0, m_disc.image.leadOut - 1));
}

// A track whose file was not written is left out, and a pre-gap whose music would lie in such a
// file is silence; a title with a line break stays on its line.
TEST_F(CueSheetWriterTest, TracksWithoutTheirFilesAreLeftOutAndTextsStayOnTheirLines) {
  RipReport report = m_disc.report;
  report.tracks[0].hasFile = false;  // with it the hidden track, which comes in track 1's lines
  report.tracks[2].hasFile = false;
  report.tracks[1].title = "Line one\nTITLE \"injected\"\r";
  report.albumArtist = "Ends in a backslash\\";
  const std::string sheet = CueSheetText(report);
  for (const char* name : {"00 Hidden track.wav", "01 Track.wav", "03 Track.wav"})
    EXPECT_EQ(sheet.find(name), std::string::npos) << sheet;
  const std::unique_ptr<Cd, CdDeleter> cd(cue_parse_string(sheet.c_str()));
  ASSERT_TRUE(cd) << sheet;
  ASSERT_EQ(cd_get_ntrack(cd.get()), 2) << sheet;
  EXPECT_EQ(CueText(PTI_PERFORMER, cd_get_cdtext(cd.get())), "Ends in a backslash\\ ");
  const Track* second = cd_get_track(cd.get(), 1);
  EXPECT_EQ(CueText(PTI_TITLE, track_get_cdtext(second)), "Line one TITLE ''injected'' ");
  EXPECT_STREQ(track_get_filename(second), "02 Track.wav");
  const Track* fourth = cd_get_track(cd.get(), 2);
  EXPECT_STREQ(track_get_filename(fourth), "04 Rock 'n' Roll.wav");
  for (const auto& [track, pregap] : {std::pair{second, 150}, std::pair{fourth, 33}}) {
    EXPECT_EQ(track_get_zero_pre(track), pregap);
    EXPECT_EQ(track_get_index(track, 0), -1);
  }
}

// The lines of text that begin with prefix; with cut, each up to its second quote mark.
std::string Lines(const std::string& text, const std::string& prefix, bool cut = false) {
  std::istringstream in(text);
  std::string lines;
  for (std::string line; std::getline(in, line);)
    if (line.rfind(prefix, 0) == 0)
      lines += (cut ? line.substr(0, line.find('"', prefix.size()) + 1) : line) + "\n";
  return lines;
}

// Titles that quoting trips on, ripped by korvi-cli as WAV and as MP3 files: libcue, cueprint and
// our reader take each sheet back with the titles as written (a " as '', a blank after a last
// backslash) and the files' real names; an MP3 rip's sheet says MP3.
TEST(CueSheetReadBack, EveryReaderTakesTheTitlesAndFileNamesOfARip) {
  fixtures::TempDir dir;
  struct Title {
    std::string given, read, file;  // in the library, as the readers give it back, its file's name
  };
  const std::vector<Title> titles = {{"Quote \"only\" here", "Quote ''only'' here", "Quote _only_ here"},
                                     {"Rock 'n' \"Roll\"", "Rock 'n' ''Roll''", "Rock 'n' _Roll_"},
                                     {"back\\slash", "back\\slash", "back\\slash"},
                                     {"ends in \\", "ends in \\ ", "ends in \\"},
                                     {"It's", "It's", "It's"},
                                     {"Sigur Rós — 東京", "Sigur Rós — 東京", "Sigur Rós — 東京"},
                                     {"\"\"\"", "''''''", "___"}};
  // No pre-gaps: cueprint's parser takes one file per track, and warns of an INDEX 00 in the file
  // before (the test above has those).
  fixtures::WrittenImage image;
  ASSERT_TRUE(fixtures::WriteCueBinImage(dir / "disc.cue", fixtures::AllAudioLayout(7, 90), &image, nullptr));
  const std::optional<fixtures::ImageToc> toc = fixtures::ReadImageToc(image.cue);
  ASSERT_TRUE(toc);
  CDiscInfo record;  // the titles, from the library
  record.discId = toc->cddbId;
  record.albumTitle = "Say \"Hi\"";
  record.albumArtist = "Ends in \\";
  for (const Title& title : titles) record.tracks.emplace_back(0, 0, title.given.c_str());
  std::filesystem::create_directory(dir / "lib");
  ASSERT_GT(record.SaveDiscInfo((dir / "lib").string()), 0);
  fixtures::ChildOptions rip;
  rip.env = {"HOME=" + dir.path().string(), "XDG_CONFIG_HOME=" + (dir / "config").string(),
             "XDG_DATA_HOME=" + (dir / "data").string()};

  for (const std::string format : {"wav", "mp3"}) {
    SCOPED_TRACE(format);
    const std::filesystem::path out = dir / format, cue = out / "Ends in \\ - Say _Hi_.cue";
    std::filesystem::create_directory(out);
    rip.args = {KORVI_CLI_PATH, "rip",        image.cue.string(), "--format",  format,
                "--out",        out.string(), "--lookup",         "--library", (dir / "lib").string(),
                "--no-verify"};
    const fixtures::ChildResult ripped =
        fixtures::RunChild(rip, std::chrono::milliseconds(fixtures::ScaledMs(120000)));
    ASSERT_EQ(ripped.status, 0) << ripped.err;
    std::ifstream in(cue);
    const std::string sheet((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string texts = "Ends in \\ |Say ''Hi''\n", files, fileLines;
    for (const Title& title : titles) {
      EXPECT_TRUE(std::filesystem::is_regular_file(out / (title.file + "." + format))) << title.file;
      texts += title.read + "\n";
      files += "FILE \"" + title.file + "." + format + "\"\n";
      fileLines += "FILE \"" + title.file + "." + format + (format == "mp3" ? "\" MP3\n" : "\" WAVE\n");
    }
    EXPECT_EQ(Lines(sheet, "FILE "), fileLines);

    const std::unique_ptr<Cd, CdDeleter> cd(cue_parse_string(sheet.c_str()));
    ASSERT_TRUE(cd) << sheet;
    std::string libcueTexts = CueText(PTI_PERFORMER, cd_get_cdtext(cd.get())) + "|" +
                              CueText(PTI_TITLE, cd_get_cdtext(cd.get())) + "\n",
                libcueFiles;
    for (int n = 1; n <= cd_get_ntrack(cd.get()); ++n) {
      libcueTexts += CueText(PTI_TITLE, track_get_cdtext(cd_get_track(cd.get(), n))) + "\n";
      libcueFiles += "FILE \"" + std::string(track_get_filename(cd_get_track(cd.get(), n))) + "\"\n";
    }
    EXPECT_EQ(libcueTexts, texts);
    EXPECT_EQ(libcueFiles, files);

    // cueprint gives the texts, cueconvert (its parser, writing a toc) the tracks' files.
    const auto cuetools = [&cue](const std::string& command) {
      return fixtures::RunCommand(command + " " + fixtures::ShellQuote(cue.string()) + " 2>&1");
    };
    const fixtures::CommandResult printed = cuetools("cueprint -i cue -d '%P|%T\\n' -t '%t\\n'");
    EXPECT_EQ(printed.status, 0);
    EXPECT_EQ(printed.out, texts);
    const fixtures::CommandResult converted = cuetools("cueconvert -i cue -o toc");
    EXPECT_EQ(converted.out.find("error"), std::string::npos) << converted.out;
    EXPECT_EQ(Lines(converted.out, "FILE \"", true), files);

    // Our reader lays the WAV files out as the disc (its texts are libcue's); it decodes no MP3 and
    // says so.
    std::string error;
    const std::unique_ptr<CueImage> ours = CueImage::Open(cue, &error);
    if (format == "mp3") {
      EXPECT_NE(error.find("FILE type MP3 holds no CD audio that can be read"), std::string::npos) << error;
      continue;
    }
    ASSERT_TRUE(ours) << error << "\n" << sheet;
    ASSERT_EQ(ours->Tracks().size(), titles.size());
    for (size_t i = 0; i < titles.size(); ++i) EXPECT_EQ(ours->Tracks()[i].start, image.starts[i]);
    EXPECT_EQ(ours->LeadOut(), image.leadOut);
  }
}

}  // namespace
}  // namespace korvi
