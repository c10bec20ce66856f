#include "tags/track_tags.h"

#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/uniquefileidentifierframe.h>
#include <taglib/xiphcomment.h>

#include <cstring>
#include <fstream>
#include <new>
#include <utility>
#include <vector>

#include "tags/checked_file_stream.h"

namespace korvi {
namespace {

using TagLib::String;

String Utf8(const std::string& text) { return String(text, String::UTF8); }

std::string NumberText(int n) { return n > 0 ? std::to_string(n) : std::string(); }

bool Digits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "1997", "1997-05" or "1997-05-21", as MusicBrainz gives dates; anything else is no date.
bool IsDate(std::string_view text) {
  switch (text.size()) {
    case 10:
      if (text[7] != '-' || !Digits(text.substr(8, 2))) return false;
      [[fallthrough]];
    case 7:
      if (text[4] != '-' || !Digits(text.substr(5, 2))) return false;
      [[fallthrough]];
    case 4:
      return Digits(text.substr(0, 4));
    default:
      return false;
  }
}

std::string OriginalDate(const TrackTags& t) {
  return IsDate(t.originalDate) ? t.originalDate : std::string();
}

// "3/12", "3" or "" as ID3v2 and APE spell a position in a set.
std::string PositionText(int n, int total) {
  if (n <= 0) return {};
  return total > 0 ? std::to_string(n) + "/" + std::to_string(total) : std::to_string(n);
}

// The plain text fields under the names of one format, the empty ones left out.
using Fields = std::vector<std::pair<const char*, std::string>>;

Fields NonEmpty(Fields fields) {
  Fields kept;
  for (auto& field : fields)
    if (!field.second.empty()) kept.push_back(std::move(field));
  return kept;
}

// The names that MusicBrainz's own tagger and most players read.
Fields VorbisFields(const TrackTags& t) {
  return NonEmpty({{"TITLE", t.title},
                   {"ARTIST", t.artist},
                   {"ALBUM", t.album},
                   {"ALBUMARTIST", t.albumArtist},
                   {"DATE", TagDate(t.year, t.releaseDate)},
                   {"ORIGINALDATE", OriginalDate(t)},
                   {"TRACKNUMBER", NumberText(t.trackNumber)},
                   {"TRACKTOTAL", NumberText(t.trackTotal)},
                   {"DISCNUMBER", NumberText(t.discNumber)},
                   {"DISCTOTAL", NumberText(t.discTotal)},
                   {"GENRE", t.genre},
                   {"COMMENT", t.comment},
                   {"MUSICBRAINZ_ALBUMID", t.musicBrainzReleaseId},
                   {"MUSICBRAINZ_TRACKID", t.musicBrainzRecordingId},
                   {"MUSICBRAINZ_DISCID", t.musicBrainzDiscId}});
}

Fields ApeFields(const TrackTags& t) {
  return NonEmpty({{"Title", t.title},
                   {"Artist", t.artist},
                   {"Album", t.album},
                   {"Album Artist", t.albumArtist},
                   {"Year", TagDate(t.year, t.releaseDate)},
                   {"ORIGINALDATE", OriginalDate(t)},
                   {"Track", PositionText(t.trackNumber, t.trackTotal)},
                   {"Disc", PositionText(t.discNumber, t.discTotal)},
                   {"Genre", t.genre},
                   {"Comment", t.comment},
                   {"MUSICBRAINZ_ALBUMID", t.musicBrainzReleaseId},
                   {"MUSICBRAINZ_TRACKID", t.musicBrainzRecordingId},
                   {"MUSICBRAINZ_DISCID", t.musicBrainzDiscId}});
}

void FillXiph(TagLib::Ogg::XiphComment& comment, const TrackTags& tags) {
  for (const auto& [name, value] : VorbisFields(tags)) comment.addField(name, Utf8(value), true);
}

void FillApe(TagLib::APE::Tag& tag, const TrackTags& tags) {
  for (const auto& [name, value] : ApeFields(tags)) tag.addValue(name, Utf8(value), true);
}

void SetText(TagLib::ID3v2::Tag& tag, const char* id, const std::string& value) {
  tag.removeFrames(id);
  if (value.empty()) return;
  auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, String::UTF8);
  frame->setText(Utf8(value));
  tag.addFrame(frame);
}

void SetUserText(TagLib::ID3v2::Tag& tag, const char* description, const std::string& value) {
  if (TagLib::ID3v2::UserTextIdentificationFrame* old =
          TagLib::ID3v2::UserTextIdentificationFrame::find(&tag, description))
    tag.removeFrame(old);
  if (value.empty()) return;
  auto* frame = new TagLib::ID3v2::UserTextIdentificationFrame(String::UTF8);
  frame->setDescription(description);
  frame->setText(Utf8(value));
  tag.addFrame(frame);
}

void FillId3v2(TagLib::ID3v2::Tag& tag, const TrackTags& t) {
  SetText(tag, "TIT2", t.title);
  SetText(tag, "TPE1", t.artist);
  SetText(tag, "TALB", t.album);
  SetText(tag, "TPE2", t.albumArtist);
  SetText(tag, "TDRC", TagDate(t.year, t.releaseDate));
  SetText(tag, "TDOR", OriginalDate(t));
  SetText(tag, "TRCK", PositionText(t.trackNumber, t.trackTotal));
  SetText(tag, "TPOS", PositionText(t.discNumber, t.discTotal));
  SetText(tag, "TCON", t.genre);
  tag.removeFrames("COMM");
  if (!t.comment.empty()) {
    auto* frame = new TagLib::ID3v2::CommentsFrame(String::UTF8);
    frame->setLanguage("eng");
    frame->setText(Utf8(t.comment));
    tag.addFrame(frame);
  }
  SetUserText(tag, "MusicBrainz Album Id", t.musicBrainzReleaseId);
  SetUserText(tag, "MusicBrainz Disc Id", t.musicBrainzDiscId);
  // The recording's id, where MusicBrainz's tagger puts it: a unique file identifier of its own.
  tag.removeFrames("UFID");
  if (!t.musicBrainzRecordingId.empty())
    tag.addFrame(new TagLib::ID3v2::UniqueFileIdentifierFrame(
        "http://musicbrainz.org",
        TagLib::ByteVector(t.musicBrainzRecordingId.data(),
                           static_cast<unsigned>(t.musicBrainzRecordingId.size()))));
}

// What went wrong with the file itself comes first: TagLib's own verdict often follows from it.
std::string Outcome(const CheckedFileStream& stream, bool saved, const char* failure) {
  if (!stream.Error().empty()) return stream.Error();
  return saved ? std::string() : std::string(failure);
}

std::string WriteMp3(const std::string& path, const TrackTags& tags) {
  CheckedFileStream stream(path);
  TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
  if (!file.isValid() || file.firstFrameOffset() < 0)
    return Outcome(stream, false, "TagLib cannot read the file as MP3");
  FillId3v2(*file.ID3v2Tag(true), tags);
  // The ID3v2 tag alone: the ID3v1 tag that the writer appended keeps its bytes, and nothing is
  // copied between the two.
  const bool saved = file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                               TagLib::File::DoNotDuplicate);
  return Outcome(stream, saved, "TagLib could not save the ID3v2 tag");
}

// TagLib takes any file as APE when it need not read the audio's properties.
bool StartsAsApe(const std::string& path) {
  char head[4] = {};
  std::ifstream in(path, std::ios::binary);
  return in.read(head, sizeof head) && std::memcmp(head, "MAC ", 4) == 0;
}

std::string WriteApe(const std::string& path, const TrackTags& tags) {
  if (!StartsAsApe(path)) return "the file is not an APE file";
  CheckedFileStream stream(path);
  TagLib::APE::File file(&stream, false);
  if (!file.isValid()) return Outcome(stream, false, "TagLib cannot read the file as APE");
  FillApe(*file.APETag(true), tags);
  const bool saved = file.save();
  return Outcome(stream, saved, "TagLib could not save the APE tag");
}

std::string WriteFlac(const std::string& path, const TrackTags& tags) {
  CheckedFileStream stream(path);
  TagLib::FLAC::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
  if (!file.isValid()) return Outcome(stream, false, "TagLib cannot read the file as FLAC");
  FillXiph(*file.xiphComment(true), tags);
  const bool saved = file.save();
  return Outcome(stream, saved, "TagLib could not save the Vorbis comments");
}

std::string WriteOpus(const std::string& path, const TrackTags& tags) {
  CheckedFileStream stream(path);
  TagLib::Ogg::Opus::File file(&stream, false);
  if (!file.isValid()) return Outcome(stream, false, "TagLib cannot read the file as Opus");
  FillXiph(*file.tag(), tags);
  const bool saved = file.save();
  return Outcome(stream, saved, "TagLib could not save the Vorbis comments");
}

}  // namespace

std::string TagDate(int year, const std::string& releaseDate) {
  // A year typed over the release's own is the user's.
  const std::string yearText = NumberText(year);
  return IsDate(releaseDate) && releaseDate.compare(0, 4, yearText) == 0 ? releaseDate : yearText;
}

bool TakesTrackTags(std::string_view extension) {
  return extension == ".mp3" || extension == ".ape" || extension == ".flac" || extension == ".opus";
}

std::string WriteTrackTags(const std::string& path, std::string_view extension, const TrackTags& tags) {
  try {
    if (extension == ".mp3") return WriteMp3(path, tags);
    if (extension == ".ape") return WriteApe(path, tags);
    if (extension == ".flac") return WriteFlac(path, tags);
    if (extension == ".opus") return WriteOpus(path, tags);
    return {};
  } catch (const std::bad_alloc&) {
    return "out of memory while writing the tags";
  } catch (...) {
    return "the tags could not be written";
  }
}

}  // namespace korvi
