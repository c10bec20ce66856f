#include "formats/output_format.h"

#include <algorithm>
#include <vector>

#include "text/ascii_case.h"

namespace korvi {
namespace {

// What LAME encodes at 44.1 kHz: the bit rates of MPEG-1 layer III.
constexpr OptionChoice kMp3BitRates[] = {{32, nullptr},  {40, nullptr},  {48, nullptr},  {56, nullptr},
                                         {64, nullptr},  {80, nullptr},  {96, nullptr},  {112, nullptr},
                                         {128, nullptr}, {160, nullptr}, {192, nullptr}, {224, nullptr},
                                         {256, nullptr}, {320, nullptr}};

constexpr OptionChoice kApeLevels[] = {{1000, QT_TRANSLATE_NOOP("Formats", "Fast")},
                                       {2000, QT_TRANSLATE_NOOP("Formats", "Normal")},
                                       {3000, QT_TRANSLATE_NOOP("Formats", "High")},
                                       {4000, QT_TRANSLATE_NOOP("Formats", "Extra High")},
                                       {5000, QT_TRANSLATE_NOOP("Formats", "Insane")}};

constexpr FormatOption kMp3Options[] = {
    {.kind = OptionKind::kChoice,
     .number = &FormatOptions::BPS,
     .defaultValue = 192,
     .choices = kMp3BitRates,
     .unit = "kbit/s",
     .settingsKey = "BPS",
     .loadsAnyNumber = true,
     .alwaysWritten = true,
     .flag = "--bitrate",
     .flagHelp = "the MP3 bit rate",
     .pageLabel = QT_TRANSLATE_NOOP("Formats", "BPS:"),
     .fieldName = "bitrateCombo",
     .valueText = QT_TRANSLATE_NOOP("Formats", "%1 BPS")},
    {.kind = OptionKind::kSwitch,
     .on = &FormatOptions::SaveID3Tag,
     .defaultValue = 1,
     .settingsKey = "SaveID3Tag",
     .alwaysWritten = true,
     .flag = "--no-id3",
     .flagHelp = "leaves the MP3's tags out (ID3v1 and ID3v2)",
     .pageLabel = QT_TRANSLATE_NOOP("Formats", "&Save MP3 ID3Tag"),
     .fieldName = "id3Check"},
};

constexpr FormatOption kApeOptions[] = {
    {.kind = OptionKind::kChoice,
     .number = &FormatOptions::CompressionLevel,
     .defaultValue = 2000,
     .choices = kApeLevels,
     .settingsKey = "CompressionLevel",
     .loadsAnyNumber = true,
     .alwaysWritten = true,
     .flag = "--level",
     .flagHelp = "the APE level",
     .pageLabel = QT_TRANSLATE_NOOP("Formats", "Compression Level:"),
     .fieldName = "levelCombo"},
};

constexpr FormatOption kFlacOptions[] = {
    {.kind = OptionKind::kRange,
     .number = &FormatOptions::FlacLevel,
     .defaultValue = kFlacLevelDefault,
     .min = kFlacLevelMin,
     .max = kFlacLevelMax,
     .minNote = "fastest",
     .maxNote = "smallest",
     .settingsKey = "FlacLevel",
     .flag = "--flac-level",
     .flagHelp = "the FLAC level",
     .pageLabel = QT_TRANSLATE_NOOP("Formats", "Compression level:"),
     .fieldName = "flacLevelSpin",
     .toolTip = QT_TRANSLATE_NOOP("Formats", "0 encodes fastest, 8 makes the smallest files; all are lossless")},
};

constexpr FormatOption kOpusOptions[] = {
    {.kind = OptionKind::kRange,
     .number = &FormatOptions::OpusBitrate,
     .defaultValue = kOpusBitrateDefault,
     .min = kOpusBitrateMin,
     .max = kOpusBitrateMax,
     .unit = "kbit/s",
     .settingsKey = "OpusBitrate",
     .flag = "--opus-bitrate",
     .flagHelp = "the Opus bit rate",
     .pageLabel = QT_TRANSLATE_NOOP("Formats", "Bit rate:"),
     .fieldName = "opusBitrateSpin",
     .toolTip = QT_TRANSLATE_NOOP("Formats", "Higher rates sound closer to the disc and make larger files"),
     .step = 16,
     .suffix = QT_TRANSLATE_NOOP("Formats", " kbit/s")},
};

constexpr OutputFormatInfo kFormats[] = {
    {.id = kFormatWave,
     .name = "WAV",
     .extension = ".wav",
     .options = {},
     .chooserText = "WAVE",  // the chooser's own label, where the table names the file type
     .chooserName = "waveRadio",
     .menuCommand = 130,
     .menuText = QT_TRANSLATE_NOOP("Commands", "Ripping &WAV files"),
     .menuPrompt = QT_TRANSLATE_NOOP("Commands", "Ripping selected track(s) to WAV file")},
    {.id = kFormatMp3,
     .name = "MP3",
     .extension = ".mp3",
     .options = kMp3Options,
     .chooserText = "MP3",
     .chooserName = "mp3Radio",
     .menuCommand = 133,
     .menuText = QT_TRANSLATE_NOOP("Commands", "Ripping &MP3 files"),
     .menuPrompt = QT_TRANSLATE_NOOP("Commands", "Ripping selected track(s) to MP3 file"),
     .pageTitle = QT_TRANSLATE_NOOP("Formats", "MP3 Settings"),
     .groupTitle = QT_TRANSLATE_NOOP("Formats", "Format Settings:"),
     .groupName = "formatGroup"},
    {.id = kFormatApe,
     .name = "APE",
     .extension = ".ape",
     .options = kApeOptions,
     .chooserText = "APE",
     .chooserName = "apeRadio",
     .menuCommand = 137,
     .menuText = QT_TRANSLATE_NOOP("Commands", "Ripping &APE files"),
     .menuPrompt = QT_TRANSLATE_NOOP("Commands", "Ripping selected track(s) to APE file"),
     .pageTitle = QT_TRANSLATE_NOOP("Formats", "APE Settings"),
     .groupTitle = QT_TRANSLATE_NOOP("Formats", "General:"),
     .groupName = "apeGroup"},
    {.id = kFormatFlac,
     .name = "FLAC",
     .extension = ".flac",
     .options = kFlacOptions,
     .chooserText = "FLAC",
     .chooserName = "flacRadio",
     .menuCommand = 140,
     .menuText = QT_TRANSLATE_NOOP("Commands", "Rip to F&LAC ..."),
     .menuPrompt = QT_TRANSLATE_NOOP("Commands", "Ripping selected track(s) to FLAC file"),
     .pageTitle = QT_TRANSLATE_NOOP("Formats", "FLAC"),
     .groupTitle = QT_TRANSLATE_NOOP("Formats", "General:"),
     .groupName = "flacGroup"},
    {.id = kFormatOpus,
     .name = "Opus",
     .extension = ".opus",
     .options = kOpusOptions,
     .chooserText = "Opus",
     .chooserName = "opusRadio",
     .menuCommand = 141,
     .menuText = QT_TRANSLATE_NOOP("Commands", "Rip to Op&us ..."),
     .menuPrompt = QT_TRANSLATE_NOOP("Commands", "Ripping selected track(s) to Opus file"),
     .pageTitle = QT_TRANSLATE_NOOP("Formats", "Opus"),
     .groupTitle = QT_TRANSLATE_NOOP("Formats", "General:"),
     .groupName = "opusGroup"},
};

// "a, b or c".
std::string ListText(const std::vector<std::string>& items, const char* separator, const char* last) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? last : separator;
    text += items[i];
  }
  return text;
}

std::string Noted(int32_t value, const char* note) {
  return std::to_string(value) + (note ? " (" + std::string(note) + ")" : "");
}

}  // namespace

FormatOptions::FormatOptions() {
  for (const OutputFormatInfo& format : kFormats)
    for (const FormatOption& option : format.options) option.Set(*this, option.defaultValue);
}

bool FormatOption::Allows(int32_t value) const {
  switch (kind) {
    case OptionKind::kChoice:
      return std::any_of(choices.begin(), choices.end(), [value](const OptionChoice& c) { return c.value == value; });
    case OptionKind::kRange:
      return value >= min && value <= max;
    case OptionKind::kSwitch:
      return value == 0 || value == 1;
  }
  return false;
}

int32_t FormatOption::Get(const FormatOptions& options) const {
  return kind == OptionKind::kSwitch ? (options.*on ? 1 : 0) : options.*number;
}

void FormatOption::Set(FormatOptions& options, int32_t value) const {
  if (kind == OptionKind::kSwitch)
    options.*on = value != 0;
  else
    options.*number = value;
}

std::string FormatOption::AllowedText() const {
  const std::string unitText = unit ? " " + std::string(unit) : "";
  if (kind == OptionKind::kRange) return Noted(min, minNote) + " to " + Noted(max, maxNote) + unitText;
  if (kind == OptionKind::kSwitch) return "on or off";
  std::vector<std::string> values;
  for (const OptionChoice& choice : choices) values.push_back(Noted(choice.value, choice.name));
  return ListText(values, ", ", " or ") + unitText;
}

std::span<const OutputFormatInfo> OutputFormats() { return kFormats; }

const OutputFormatInfo* FindOutputFormat(int32_t id) {
  for (const OutputFormatInfo& format : kFormats)
    if (format.id == id) return &format;
  return nullptr;
}

const OutputFormatInfo* FindFormatByCommand(int command) {
  for (const OutputFormatInfo& format : kFormats)
    if (format.menuCommand == command) return &format;
  return nullptr;
}

const FormatOption* FindFormatOptionByFlag(const std::string& flag) {
  for (const OutputFormatInfo& format : kFormats)
    for (const FormatOption& option : format.options)
      if (option.flag && flag == option.flag) return &option;
  return nullptr;
}

std::string FormatNamesText(const char* separator, const char* last) {
  std::vector<std::string> names;
  for (const OutputFormatInfo& format : kFormats) names.push_back(AsciiLowered(format.name));
  return ListText(names, separator, last);
}

}  // namespace korvi
