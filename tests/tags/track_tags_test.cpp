// WriteTrackTags on files made by other programs (flac, opusenc, lame, and the APE writer), read back
// by mutagen: every field under the names each format uses, non-Latin and very long texts, no empty
// field, the audio untouched, an ID3v1 tag left byte for byte, and files it cannot tag refused.

#include "tags/track_tags.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "rip/output_format.h"
#include "rip/output_media.h"
#include "tags/tags_support.h"

namespace korvi {
namespace {

using fixtures::RunCommand;
using fixtures::ShellQuote;
using tagtest::Decoded;
using tagtest::ReadFile;
using tagtest::ReadTags;

const std::string kSea = "Море и 海の歌";

TrackTags Full(const std::string& title) {
  TrackTags t;
  t.title = title;
  t.artist = "Ана Łęcka";
  t.album = "Songs of the Sea";
  t.albumArtist = "Various Ånglers";
  t.year = 1999;
  t.trackNumber = 4;
  t.trackTotal = 12;
  t.discNumber = 2;
  t.discTotal = 3;
  t.genre = "Folk";
  t.comment = "Recorded at dawn";
  t.musicBrainzReleaseId = "1e1a4d6c-7c35-4b5d-9b7a-5d2a7d1b0a01";
  t.musicBrainzRecordingId = "2f2b5e7d-8d46-4c6e-8c8b-6e3b8e2c1b02";
  t.musicBrainzDiscId = "Wn8eRBtfLDfM0qjYPdxrz.Zjs_U-";
  return t;
}

// What each format's fields should read, by the names mutagen gives them.
std::map<std::string, std::string> Expected(const std::string& extension, const TrackTags& t) {
  if (extension == ".mp3")
    return {{"TIT2", t.title},
            {"TPE1", t.artist},
            {"TALB", t.album},
            {"TPE2", t.albumArtist},
            {"TDRC", "1999"},
            {"TRCK", "4/12"},
            {"TPOS", "2/3"},
            {"TCON", t.genre},
            {"COMM::eng", t.comment},
            {"TXXX:MusicBrainz Album Id", t.musicBrainzReleaseId},
            {"UFID:http://musicbrainz.org", t.musicBrainzRecordingId},
            {"TXXX:MusicBrainz Disc Id", t.musicBrainzDiscId}};
  if (extension == ".ape")
    return {{"Title", t.title},
            {"Artist", t.artist},
            {"Album", t.album},
            {"Album Artist", t.albumArtist},
            {"Year", "1999"},
            {"Track", "4/12"},
            {"Disc", "2/3"},
            {"Genre", t.genre},
            {"Comment", t.comment},
            {"MUSICBRAINZ_ALBUMID", t.musicBrainzReleaseId},
            {"MUSICBRAINZ_TRACKID", t.musicBrainzRecordingId},
            {"MUSICBRAINZ_DISCID", t.musicBrainzDiscId}};
  return {{"TITLE", t.title},
          {"ARTIST", t.artist},
          {"ALBUM", t.album},
          {"ALBUMARTIST", t.albumArtist},
          {"DATE", "1999"},
          {"TRACKNUMBER", "4"},
          {"TRACKTOTAL", "12"},
          {"DISCNUMBER", "2"},
          {"DISCTOTAL", "3"},
          {"GENRE", t.genre},
          {"COMMENT", t.comment},
          {"MUSICBRAINZ_ALBUMID", t.musicBrainzReleaseId},
          {"MUSICBRAINZ_TRACKID", t.musicBrainzRecordingId},
          {"MUSICBRAINZ_DISCID", t.musicBrainzDiscId}};
}

class ToolFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string wav = ShellQuote((m_dir / "in.wav").string());
    ASSERT_EQ(RunCommand("sox -n -r 44100 -c 2 -b 16 " + wav + " synth 1.3 sine 440 sine 660").status, 0);
    ASSERT_EQ(RunCommand("flac --silent -o " + ShellQuote(Path(".flac")) + " " + wav).status, 0);
    ASSERT_EQ(RunCommand("opusenc --quiet " + wav + " " + ShellQuote(Path(".opus"))).status, 0);
    // An ID3v1 tag of lame's own at the end.
    ASSERT_EQ(
        RunCommand("lame --silent --id3v1-only --tt Lame --ta Tool " + wav + " " + ShellQuote(Path(".mp3")))
            .status,
        0);
    // The APE writer, through the format table, as the rip job makes it.
    std::string pcm(75 * 2352, '\0');
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = char(i * 7 % 251);
    auto writer = MakeWriter(kFormatApe, Path(".ape"), WriterOptions{}, nullptr);
    ASSERT_TRUE(writer);
    writer->Open();
    ASSERT_EQ(writer->Write(reinterpret_cast<const uint8_t*>(pcm.data()), int(pcm.size())) >= 0, true);
    writer->Close();
    ASSERT_FALSE(writer->Failed()) << writer->FailureText();
  }
  std::string Path(const std::string& extension) const { return (m_dir / ("a" + extension)).string(); }

  fixtures::TempDir m_dir;
};

const char* const kExtensions[] = {".flac", ".opus", ".mp3", ".ape"};

TEST_F(ToolFiles, EveryFieldReadsBackAndTheAudioStaysAsItWas) {
  for (const std::string& title : {kSea, std::string(1000, 'x') + "ё"}) {
    for (const std::string extension : kExtensions) {
      SCOPED_TRACE(extension + " " + title.substr(0, 20));
      const std::string before = Decoded(Path(extension));
      ASSERT_GT(before.size(), 100000u);
      const std::string file = ReadFile(Path(extension));
      ASSERT_EQ(WriteTrackTags(Path(extension), extension, Full(title)), "");
      const nlohmann::json tags = ReadTags(Path(extension));
      ASSERT_TRUE(tags.is_object());
      const auto expected = Expected(extension, Full(title));
      for (const auto& [name, text] : expected)
        EXPECT_EQ(tags["fields"].value(name, std::string("(missing)")), text) << name;
      for (const auto& [name, text] : tags["fields"].items())
        EXPECT_TRUE(expected.count(name) || name == "ENCODER") << name << " = " << text;
      EXPECT_EQ(Decoded(Path(extension)), before);
      if (extension == ".mp3") {
        EXPECT_EQ(tags["version"], "2.4");
        EXPECT_EQ(tags["encodings"], nlohmann::json::array({3}));  // UTF-8
        // lame's ID3v1 tag: the very bytes it wrote, still last.
        const std::string now = ReadFile(Path(extension));
        EXPECT_EQ(now.substr(now.size() - 128), file.substr(file.size() - 128));
        EXPECT_EQ(file.substr(file.size() - 128, 7), "TAGLame");
      }
    }
  }
}

TEST_F(ToolFiles, AnEmptyRecordWritesNoField) {
  for (const std::string extension : kExtensions) {
    const std::string file = ReadFile(Path(extension));
    ASSERT_EQ(WriteTrackTags(Path(extension), extension, TrackTags()), "") << extension;
    const nlohmann::json tags = ReadTags(Path(extension));
    ASSERT_TRUE(tags.is_object()) << extension;
    for (const auto& [name, text] : tags["fields"].items())
      EXPECT_EQ(name, "ENCODER") << extension << ": " << text;  // opusenc's own
    if (extension == ".mp3") {
      EXPECT_TRUE(ReadFile(Path(extension)) == file);  // no ID3v2 tag at all
    }
  }
}

TEST_F(ToolFiles, FilesItCannotTagAreReportedAndWavGetsNone) {
  for (const std::string extension : {".flac", ".opus", ".ape"}) {
    // Another format's file under this extension.
    const std::string other = extension == ".flac" ? ".opus" : ".flac";
    const std::string file = ReadFile(Path(other));
    const std::string error = WriteTrackTags(Path(other), extension, Full("x"));
    EXPECT_FALSE(error.empty()) << extension;
    EXPECT_EQ(ReadFile(Path(other)), file) << extension;
  }
  EXPECT_FALSE(WriteTrackTags((m_dir / "gone.mp3").string(), ".mp3", Full("x")).empty());
  EXPECT_FALSE(TakesTrackTags(".wav"));
  const std::string wav = ReadFile(m_dir / "in.wav");
  EXPECT_EQ(WriteTrackTags((m_dir / "in.wav").string(), ".wav", Full("x")), "");
  EXPECT_EQ(ReadFile(m_dir / "in.wav"), wav);
}

}  // namespace
}  // namespace korvi
