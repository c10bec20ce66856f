#include "disc/cue_sheet.h"

#include <algorithm>
#include <cctype>

#include "text/ascii_case.h"
#include "text/utf8_text.h"

namespace korvi {
namespace {

constexpr int kFramesPerSecond = 75;
constexpr int kMaxTrackNumber = 99;
constexpr int kMaxIndexNumber = 99;
// 99 minutes and more of frames would not fit a disc: a larger time is a broken sheet.
constexpr int32_t kMaxFrames = 100 * 60 * kFramesPerSecond;


// The words of a line; a quoted word keeps its blanks and loses its quotes.
std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size()) break;
    if (line[pos] == '"') {
      const size_t end = line.find('"', pos + 1);
      const size_t stop = end == std::string_view::npos ? line.size() : end;
      words.emplace_back(line.substr(pos + 1, stop - pos - 1));
      pos = stop == line.size() ? stop : stop + 1;
    } else {
      size_t end = pos;
      while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
      words.emplace_back(line.substr(pos, end - pos));
      pos = end;
    }
  }
  return words;
}

std::optional<int> Number(std::string_view text, int max) {
  if (text.empty() || text.size() > 3) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value <= max ? std::optional<int>(value) : std::nullopt;
}

// "mm:ss:ff" in frames; minutes may have more than two digits.
std::optional<int32_t> Frames(std::string_view text) {
  const size_t first = text.find(':');
  const size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const auto minutes = Number(text.substr(0, first), 999);
  const auto seconds = Number(text.substr(first + 1, second - first - 1), 59);
  const auto frames = Number(text.substr(second + 1), kFramesPerSecond - 1);
  if (!minutes || !seconds || !frames) return std::nullopt;
  const int32_t total = (*minutes * 60 + *seconds) * kFramesPerSecond + *frames;
  return total < kMaxFrames ? std::optional<int32_t>(total) : std::nullopt;
}

std::optional<ImageFileType> FileType(const std::string& name, const std::string& type) {
  const std::string upper = AsciiUppered(type);
  // Many sheets call any audio file WAVE, a FLAC image included.
  if (upper == "FLAC" || (upper == "WAVE" && EndsWithIgnoringCase(name, ".flac"))) return ImageFileType::kFlac;
  if (upper == "WAVE") return ImageFileType::kWave;
  if (upper == "BINARY") return ImageFileType::kBinary;
  if (upper == "MOTOROLA") return ImageFileType::kMotorola;
  return std::nullopt;
}

// The text of a line after its first `skip` words (keywords, never quoted): a quoted text without
// its quotes, else the rest of the line as it stands, blanks and all. Sheets know no escape for a
// quote inside a quoted text: it stays part of the text.
std::string_view TextAfter(std::string_view line, int skip) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t pos = 0;
  for (int i = 0; i < skip; ++i) {
    while (pos < line.size() && blank(line[pos])) ++pos;
    while (pos < line.size() && !blank(line[pos])) ++pos;
  }
  while (pos < line.size() && blank(line[pos])) ++pos;
  size_t end = line.size();
  while (end > pos && blank(line[end - 1])) --end;
  std::string_view text = line.substr(pos, end - pos);
  if (!text.empty() && text.front() == '"') {
    text.remove_prefix(1);
    if (!text.empty() && text.back() == '"') text.remove_suffix(1);
  }
  return text;
}

// Shown and written as it is: a control character in it becomes a blank, as in titles.
std::string CleanText(std::string_view text) { return ReplaceControls(ToUtf8(text), ' '); }

bool IsRawMode(const std::string& mode) {
  return mode == "AUDIO" || mode == "MODE1/2352" || mode == "MODE2/2352";
}

// Reads the sheet line by line into the structure, its text included.
class CueReader {
 public:
  std::optional<CueSheet> Read(std::string_view text, std::string* error) {
    size_t lineStart = 0;
    for (m_line = 1; lineStart < text.size() && m_error.empty(); ++m_line) {
      size_t lineEnd = text.find_first_of("\r\n", lineStart);
      if (lineEnd == std::string_view::npos) lineEnd = text.size();
      Line(text.substr(lineStart, lineEnd - lineStart));
      lineStart = lineEnd + 1;
      if (lineEnd < text.size() && text[lineEnd] == '\r' && lineStart < text.size() &&
          text[lineStart] == '\n')
        ++lineStart;
    }
    if (m_error.empty()) EndTrack();
    if (m_error.empty() && m_sheet.tracks.empty()) m_error = "the cue sheet has no track";
    if (!m_error.empty()) {
      if (error) *error = m_error;
      return std::nullopt;
    }
    m_sheet.text.tracks.resize(m_sheet.tracks.size());
    return std::move(m_sheet);
  }

 private:
  void Fail(const std::string& what, size_t line = 0) {
    if (m_error.empty()) m_error = "line " + std::to_string(line ? line : m_line) + ": " + what;
  }

  void Line(std::string_view line) {
    const std::vector<std::string> words = Words(line);
    if (words.empty()) return;
    const std::string command = AsciiUppered(words[0]);
    if (command == "FILE")
      File(words);
    else if (command == "TRACK")
      Track(words);
    else if (command == "INDEX")
      Index(words);
    else if (command == "PREGAP" || command == "POSTGAP")
      Gap(command, words);
    else if (command == "TITLE" || command == "PERFORMER" || command == "SONGWRITER")
      CdText(command, TextAfter(line, 1));
    else if (command == "ISRC" && m_inTrack && words.size() >= 2)
      m_sheet.text.tracks.back().isrc = CleanText(words[1]);
    else if (command == "FLAGS" && m_inTrack)
      m_sheet.tracks.back().preEmphasis = std::any_of(words.begin() + 1, words.end(), [](const std::string& flag) {
        return AsciiUppered(flag) == "PRE";
      });
    else if (command == "CATALOG" && words.size() >= 2)
      m_sheet.text.catalog = CleanText(words[1]);
    else if (command == "REM" && words.size() >= 3)
      Remark(AsciiUppered(words[1]), line);
  }

  void File(const std::vector<std::string>& words) {
    if (words.size() < 3) return Fail("FILE needs a name and a type");
    // An unquoted name may hold blanks: everything between FILE and the type.
    std::string name = words[1];
    for (size_t i = 2; i + 1 < words.size(); ++i) name += " " + words[i];
    const std::optional<ImageFileType> type = FileType(name, words.back());
    if (!type) return Fail("FILE type " + words.back() + " holds no CD audio that can be read");
    m_sheet.files.push_back({name, *type});
  }

  void Track(const std::vector<std::string>& words) {
    EndTrack();
    if (!m_error.empty()) return;
    if (words.size() < 3) return Fail("TRACK needs a number and a mode");
    if (m_sheet.files.empty()) return Fail("TRACK before any FILE");
    const std::optional<int> number = Number(words[1], kMaxTrackNumber);
    if (!number || *number < 1) return Fail("track number " + words[1] + " is not 1 to 99");
    if (!m_sheet.tracks.empty() && *number != m_sheet.tracks.back().number + 1)
      return Fail("track " + words[1] + " does not follow track " +
                  std::to_string(m_sheet.tracks.back().number));
    const std::string mode = AsciiUppered(words[2]);
    const bool audio = mode == "AUDIO";
    // A mode of another sector size, or one no standard names (MODEx/2xxx), is a data track that
    // is never read; after the audio it does no harm, before audio it would move the audio.
    const std::string onlyRaw =
        "track mode " + words[2] + " cannot be read: only AUDIO, MODE1/2352 and MODE2/2352";
    if (!IsRawMode(mode) && !m_sawAudio) return Fail(onlyRaw);
    if (!IsRawMode(mode) && !m_otherModeLine) {
      m_otherModeLine = m_line;
      m_otherMode = onlyRaw + " before an audio track";
    }
    if (audio && m_otherModeLine) return Fail(m_otherMode, m_otherModeLine);
    CueTrack track;
    track.number = *number;
    track.audio = audio;
    track.session = m_session;
    m_sheet.tracks.push_back(track);
    m_sheet.text.tracks.emplace_back();
    m_inTrack = true;
    m_sawAudio = m_sawAudio || audio;
  }

  void Index(const std::vector<std::string>& words) {
    if (!m_inTrack) return Fail("INDEX outside a track");
    if (words.size() < 3) return Fail("INDEX needs a number and a time");
    const std::optional<int> number = Number(words[1], kMaxIndexNumber);
    const std::optional<int32_t> frame = Frames(words[2]);
    if (!number) return Fail("index number " + words[1] + " is not 0 to 99");
    if (!frame) return Fail("index time " + words[2] + " is not mm:ss:ff");
    CueTrack& track = m_sheet.tracks.back();
    for (const CueIndex& index : track.indexes)
      if (index.number >= *number)
        return Fail("INDEX " + words[1] + " does not follow INDEX " + std::to_string(index.number) +
                    " of its track");
    track.indexes.push_back({*number, m_sheet.files.size() - 1, *frame});
  }

  void Gap(const std::string& command, const std::vector<std::string>& words) {
    if (!m_inTrack) return Fail(command + " outside a track");
    const std::optional<int32_t> frames = words.size() >= 2 ? Frames(words[1]) : std::nullopt;
    if (!frames) return Fail(command + " needs a time mm:ss:ff");
    CueTrack& track = m_sheet.tracks.back();
    (command == "PREGAP" ? track.pregap : track.postgap) = *frames;
  }

  // TITLE, PERFORMER and SONGWRITER: of the track they follow, else of the disc.
  void CdText(const std::string& command, std::string_view value) {
    CdTextFields& fields = m_inTrack ? m_sheet.text.tracks.back() : m_sheet.text.disc;
    (command == "TITLE"       ? fields.title
     : command == "PERFORMER" ? fields.performer
                              : fields.songwriter) = CleanText(value);
  }

  void Remark(const std::string& key, std::string_view line) {
    // A session begins with the next track, wherever the line stands.
    if (key == "SESSION") {
      if (const std::optional<int> session = Number(TextAfter(line, 2), kMaxTrackNumber); session && *session)
        m_session = *session;
      return;
    }
    // Else only the disc's own remarks; a track's REM lines say nothing this program keeps.
    if (m_inTrack) return;
    const std::string value = CleanText(TextAfter(line, 2));
    if (key == "GENRE") m_sheet.text.genre = value;
    if (key == "DATE") m_sheet.text.date = value;
    if (key == "DISCID") m_sheet.text.discId = value;
  }

  void EndTrack() {
    if (!m_inTrack) return;
    m_inTrack = false;
    CueTrack& track = m_sheet.tracks.back();
    const bool hasStart = std::any_of(track.indexes.begin(), track.indexes.end(),
                                      [](const CueIndex& index) { return index.number == 1; });
    // A data track named after the audio, its place given by an INDEX 00 alone; only such tracks
    // may follow it.
    if (!hasStart && !track.audio && m_sawAudio && !track.indexes.empty()) {
      track.placeholder = true;
      if (!m_placeholder) m_placeholder = track.number;
      return;
    }
    if (!hasStart) return Fail("track " + std::to_string(track.number) + " has no INDEX 01");
    if (m_placeholder) Fail("track " + std::to_string(*m_placeholder) + " has no INDEX 01");
  }

  CueSheet m_sheet;
  std::string m_error;
  size_t m_line = 0;
  bool m_inTrack = false;
  bool m_sawAudio = false;
  int m_session = 1;
  // The first track of a mode that is not raw: no audio track may follow it.
  size_t m_otherModeLine = 0;
  std::string m_otherMode;
  std::optional<int> m_placeholder;  // the first placeholder's number
};

}  // namespace

std::optional<CueSheet> ParseCueSheet(std::string_view text, std::string* error) {
  if (text.size() > kMaxCueSheetBytes) {
    if (error) *error = "the file is too large to be a cue sheet";
    return std::nullopt;
  }
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  // A NUL has no place in a cue sheet's text.
  if (text.find('\0') != std::string_view::npos) {
    if (error) *error = "the file is not a cue sheet: it holds binary data";
    return std::nullopt;
  }
  return CueReader().Read(text, error);
}

}  // namespace korvi
