// korvi-cli rips a disc image whose record (with its MusicBrainz ids) is in the library folder, to
// MP3 and APE: mutagen reads every field back, the MP3's ID3v1 tag is the one the writer made, and
// with TagsV2 off the files are what they were before full tags: the tagged files are those bytes
// plus the tag alone.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>

#include "fixtures/disc_image_writer.h"
#include "fixtures/image_toc.h"
#include "library/disc_info.h"
#include "rip/mp3_lame_output.h"
#include "tags/tags_support.h"

namespace korvi {
namespace {

using fixtures::RunCommand;
using fixtures::ShellQuote;
using tagtest::ReadFile;
using tagtest::ReadTags;

const std::string kRelease = "5b4f3c2a-1d0e-4f9a-8b7c-6d5e4f3a2b1c";
const std::string kDiscId = "lwHl8fGzJyLXQR33ug60E8jhf4k-";
const std::string kRecordings[] = {"0a1b2c3d-4e5f-4061-8273-94a5b6c7d8e9",
                                   "1b2c3d4e-5f60-4172-8384-a5b6c7d8e9fa",
                                   "2c3d4e5f-6071-4283-9495-b6c7d8e9fa0b"};

class TagsRip : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 120, 0, {}}, {false, 95, 0, {}}, {false, 80, 0, {}}};
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", layout, &m_image, nullptr));
    const auto read = fixtures::ReadImageToc(m_image.cue);
    ASSERT_TRUE(read);
    m_record.discId = read->cddbId;
    m_record.albumTitle = "Songs of the Sea";
    m_record.albumArtist = "Ana & the Gulls";
    for (const char* title : {"Tide", "Море и 海の歌", "Gulls / Wind"}) {
      CTrackInfo& track = m_record.tracks.emplace_back(0, 0, title);
      track.artist = "Ana";
      track.album = "Songs of the Sea";
      track.year = 1999;
      track.comment = "Recorded at dawn";
    }
    m_record.extras.source = "MusicBrainz";
    m_record.extras.musicBrainzDiscId = kDiscId;
    m_record.extras.musicBrainzReleaseId = kRelease;
    // The release's own date, whose year the tracks hold, and its first release's.
    m_record.extras.releaseDate = "1999-05-21";
    m_record.extras.originalDate = "1985-03-01";
    m_record.extras.discNumber = 2;
    m_record.extras.discCount = 3;
    m_record.extras.recordingIds.assign(std::begin(kRecordings), std::end(kRecordings));
    m_env = "HOME=" + ShellQuote(m_dir.path().string()) +
            " XDG_CONFIG_HOME=" + ShellQuote((m_dir / "config").string()) +
            " XDG_DATA_HOME=" + ShellQuote((m_dir / "data").string()) + " KORVI_CDDB_SERVER=127.0.0.1:1 ";
  }
  // Rips every track with the record in the library; the files in track order.
  std::vector<std::filesystem::path> Rip(const std::string& format, bool tagsV2, const std::string& folder) {
    const auto library = m_dir / "lib";
    std::filesystem::create_directories(library);
    EXPECT_GT(m_record.SaveDiscInfo(library.string()), 0);
    std::filesystem::create_directories(m_dir / "config" / "korvi-cd-ripper");
    std::ofstream(m_dir / "config" / "korvi-cd-ripper" / "registry.reg")
        << "Windows Registry Editor Version 5.00\n\n"
        << "[HKEY_CURRENT_USER\\Software\\Tessaline Technology\\Korvi CD Ripper\\Options]\n"
        << "\"DefaultFolder\"=\"" << (m_dir / "out").string() << "\"\n"
        << "\"DefaultLibFolder\"=\"" << library.string() << "\"\n"
        << (tagsV2 ? "" : "\"TagsV2\"=dword:00000000\n") << "\"LookupOrder\"=\"\"\n";
    const auto out = m_dir / folder;
    std::filesystem::create_directories(out);
    const auto result = RunCommand(
        m_env + ShellQuote(KORVI_CLI_PATH) + " rip " + ShellQuote(m_image.cue.string()) + " --format " +
        format + " --lookup --library " + ShellQuote(library.string()) +
        " --no-verify --no-log --no-cue --on-exists overwrite --out " + ShellQuote(out.string()) + " 2>&1");
    EXPECT_EQ(result.status, 0) << result.out;
    std::vector<std::filesystem::path> files;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) files.emplace_back(line);
    EXPECT_EQ(files.size(), 3u) << result.out;
    return files;
  }
  // The size of the ID3v2 tag at the start of an MP3, 0 when there is none.
  static size_t Id3v2Size(const std::string& mp3) {
    if (mp3.compare(0, 3, "ID3") != 0 || mp3.size() < 10) return 0;
    const auto b = [&](size_t i) { return size_t(uint8_t(mp3[i]) & 0x7F); };
    return (b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9)) + 10;
  }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  CDiscInfo m_record;
  std::string m_env;
};

TEST_F(TagsRip, Mp3AndApeCarryTheRecordAndAreTodaysFilesPlusTheTag) {
  const auto mp3 = Rip("mp3", true, "mp3"), plainMp3 = Rip("mp3", false, "mp3-plain");
  const auto ape = Rip("ape", true, "ape"), plainApe = Rip("ape", false, "ape-plain");
  ASSERT_EQ(mp3.size(), 3u);
  ASSERT_EQ(plainMp3.size(), 3u);
  ASSERT_EQ(ape.size(), 3u);
  ASSERT_EQ(plainApe.size(), 3u);
  EXPECT_EQ(mp3[1].filename(), "Море и 海の歌.mp3");
  for (size_t n = 0; n < 3; ++n) {
    SCOPED_TRACE("track " + std::to_string(n + 1));
    const CTrackInfo& track = m_record.tracks[n];
    const std::string number = std::to_string(n + 1) + "/3";
    const std::map<std::string, std::string> mp3Fields = {{"TIT2", track.title()},
                                                          {"TPE1", "Ana"},
                                                          {"TALB", "Songs of the Sea"},
                                                          {"TPE2", "Ana & the Gulls"},
                                                          {"TDRC", "1999-05-21"},
                                                          {"TDOR", "1985-03-01"},
                                                          {"TRCK", number},
                                                          {"TPOS", "2/3"},
                                                          {"COMM::eng", "Recorded at dawn"},
                                                          {"TXXX:MusicBrainz Album Id", kRelease},
                                                          {"TXXX:MusicBrainz Disc Id", kDiscId},
                                                          {"UFID:http://musicbrainz.org", kRecordings[n]}};
    const nlohmann::json mp3Tags = ReadTags(mp3[n]);
    ASSERT_TRUE(mp3Tags.is_object());
    EXPECT_EQ(mp3Tags["fields"], nlohmann::json(mp3Fields));
    EXPECT_EQ(mp3Tags["version"], "2.4");
    EXPECT_EQ(mp3Tags["encodings"], nlohmann::json::array({3}));  // UTF-8 throughout

    const std::map<std::string, std::string> apeFields = {{"Title", track.title()},
                                                          {"Artist", "Ana"},
                                                          {"Album", "Songs of the Sea"},
                                                          {"Album Artist", "Ana & the Gulls"},
                                                          {"Year", "1999-05-21"},
                                                          {"ORIGINALDATE", "1985-03-01"},
                                                          {"Track", number},
                                                          {"Disc", "2/3"},
                                                          {"Comment", "Recorded at dawn"},
                                                          {"MUSICBRAINZ_ALBUMID", kRelease},
                                                          {"MUSICBRAINZ_DISCID", kDiscId},
                                                          {"MUSICBRAINZ_TRACKID", kRecordings[n]}};
    const nlohmann::json apeTags = ReadTags(ape[n]);
    ASSERT_TRUE(apeTags.is_object());
    EXPECT_EQ(apeTags["fields"], nlohmann::json(apeFields));

    // The MP3 without full tags has none, and its ID3v1 tag is the writer's; with them it is the
    // same file behind an ID3v2 tag.
    const std::string tagged = ReadFile(mp3[n]), plain = ReadFile(plainMp3[n]);
    ASSERT_EQ(Id3v2Size(plain), 0u);
    const std::array<uint8_t, 128> id3v1 = MakeId3v1Tag(track);
    EXPECT_EQ(plain.substr(plain.size() - 128), std::string(id3v1.begin(), id3v1.end()));
    const size_t head = Id3v2Size(tagged);
    ASSERT_GT(head, 10u);
    EXPECT_TRUE(tagged.substr(head) == plain);
    // The APE file without full tags has no tag; with them, the tag follows the same bytes.
    const std::string taggedApe = ReadFile(ape[n]), plainApeFile = ReadFile(plainApe[n]);
    EXPECT_EQ(plainApeFile.find("APETAGEX"), std::string::npos);
    ASSERT_GT(taggedApe.size(), plainApeFile.size());
    EXPECT_TRUE(taggedApe.compare(0, plainApeFile.size(), plainApeFile) == 0);
  }
}

// FLAC and Opus carry the record in Vorbis comments; without full tags they carry none.
TEST_F(TagsRip, FlacAndOpusCarryTheRecordInVorbisComments) {
  for (const std::string format : {"flac", "opus"}) {
    SCOPED_TRACE(format);
    const auto files = Rip(format, true, format), plain = Rip(format, false, format + "-plain");
    ASSERT_EQ(files.size(), 3u);
    ASSERT_EQ(plain.size(), 3u);
    for (size_t n = 0; n < 3; ++n) {
      SCOPED_TRACE("track " + std::to_string(n + 1));
      const std::map<std::string, std::string> fields = {{"TITLE", m_record.tracks[n].title()},
                                                         {"ARTIST", "Ana"},
                                                         {"ALBUM", "Songs of the Sea"},
                                                         {"ALBUMARTIST", "Ana & the Gulls"},
                                                         {"DATE", "1999-05-21"},
                                                         {"ORIGINALDATE", "1985-03-01"},
                                                         {"TRACKNUMBER", std::to_string(n + 1)},
                                                         {"TRACKTOTAL", "3"},
                                                         {"DISCNUMBER", "2"},
                                                         {"DISCTOTAL", "3"},
                                                         {"COMMENT", "Recorded at dawn"},
                                                         {"MUSICBRAINZ_ALBUMID", kRelease},
                                                         {"MUSICBRAINZ_DISCID", kDiscId},
                                                         {"MUSICBRAINZ_TRACKID", kRecordings[n]}};
      EXPECT_EQ(ReadTags(files[n])["fields"], nlohmann::json(fields));
      EXPECT_EQ(ReadTags(plain[n])["fields"], nlohmann::json::object());
    }
  }
}

TEST_F(TagsRip, AnEmptyRecordGivesTheTrackNumberAlone) {
  for (CTrackInfo& track : m_record.tracks) {
    track.setTitle("");
    track.artist.clear();
    track.album.clear();
    track.comment.clear();
    track.year = 0;
  }
  m_record.albumTitle.clear();
  m_record.albumArtist.clear();
  m_record.extras = DiscExtras();
  const auto mp3 = Rip("mp3", true, "mp3"), plainMp3 = Rip("mp3", false, "mp3-plain");
  const auto ape = Rip("ape", true, "ape");
  ASSERT_EQ(mp3.size(), 3u);
  ASSERT_EQ(plainMp3.size(), 3u);
  ASSERT_EQ(ape.size(), 3u);
  for (size_t n = 0; n < 3; ++n) {
    const std::string number = std::to_string(n + 1) + "/3";
    EXPECT_EQ(ReadTags(mp3[n])["fields"], nlohmann::json({{"TRCK", number}}));
    EXPECT_EQ(ReadTags(ape[n])["fields"], nlohmann::json({{"Track", number}}));
    const std::string tagged = ReadFile(mp3[n]), plain = ReadFile(plainMp3[n]);
    EXPECT_TRUE(tagged.substr(Id3v2Size(tagged)) == plain);
  }
}

}  // namespace
}  // namespace korvi
