#pragma once
// The output formats, described once. The rip job, the writers (rip/output_format.h), the settings
// store and its pages, the format chooser, the File menu and korvi-cli (its parser, help, man page and
// completion) all read this table: a new format is one row here and one writer class in rip/.
//
// The texts the window shows are English and marked for its translation catalogue: the menu's in
// the context "Commands", the settings pages' in the context "Formats".

#include <cstdint>
#include <span>
#include <string>

#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

namespace korvi {

enum OutputFormat : int32_t {
  kFormatWave = 0,
  kFormatMp3 = 1,
  kFormatApe = 2,
  kFormatFlac = 3,
  kFormatOpus = 4
};

// The ranges of the FLAC and Opus options; their writers hold a value to the same range.
inline constexpr int32_t kFlacLevelMin = 0, kFlacLevelMax = 8, kFlacLevelDefault = 5;
inline constexpr int32_t kOpusBitrateMin = 64, kOpusBitrateMax = 256, kOpusBitrateDefault = 160;  // kbit/s

// The values of every format's options, as the settings keep them and the writers take them; the
// defaults are the table's.
struct FormatOptions {
  FormatOptions();

  int32_t BPS;               // MP3, kbit/s
  bool SaveID3Tag;           // MP3: tags from the track's record
  int32_t CompressionLevel;  // APE
  int32_t FlacLevel;         // FLAC
  int32_t OpusBitrate;       // Opus, kbit/s
};

enum class OptionKind {
  kChoice,  // one of a list of numbers
  kRange,   // a number from min to max
  kSwitch,  // on or off
};

struct OptionChoice {
  int32_t value;
  const char* name;  // what the value is called ("Fast"), or null
};

struct FormatOption {
  OptionKind kind;
  int32_t FormatOptions::*number = nullptr;  // a choice or a range
  bool FormatOptions::*on = nullptr;         // a switch
  int32_t defaultValue = 0;                  // a switch: 1 on
  std::span<const OptionChoice> choices = {};
  int32_t min = 0;  // a range
  int32_t max = 0;
  const char* unit = nullptr;     // "kbit/s"
  const char* minNote = nullptr;  // what a range's ends mean: "fastest"
  const char* maxNote = nullptr;

  // The settings store.
  const char* settingsKey = nullptr;
  // Loaded whatever the number is (the writer copes with it); otherwise only an allowed value is.
  bool loadsAnyNumber = false;
  // One of the nine values every settings file holds; a later value is written once it differs
  // from its default or is stored already.
  bool alwaysWritten = false;

  // korvi-cli: the flag; a switch's flag turns it off ("--no-id3").
  const char* flag = nullptr;
  const char* flagHelp = nullptr;  // what it sets, for the help and the man page

  // The settings page: the label (a switch's check box text), the field's object name, its tool tip;
  // a choice without a name is shown as valueText with %1 the number; a range moves by step and
  // shows suffix after the number.
  const char* pageLabel = nullptr;
  const char* fieldName = nullptr;
  const char* toolTip = nullptr;
  const char* valueText = nullptr;
  int32_t step = 1;
  const char* suffix = nullptr;

  bool Allows(int32_t value) const;
  int32_t Get(const FormatOptions& options) const;
  void Set(FormatOptions& options, int32_t value) const;
  // "32, 40, ... or 320 kbit/s", "1000 (Fast), ... or 5000 (Insane)", "0 (fastest) to 8 (smallest)".
  std::string AllowedText() const;
};

struct OutputFormatInfo {
  OutputFormat id;
  const char* name;       // "WAV"; in lower case, korvi-cli's --format value
  const char* extension;  // ".wav"
  std::span<const FormatOption> options;

  // The format chooser's radio button: its text and object name.
  const char* chooserText;
  const char* chooserName;
  // The File menu: the command id, the item's text and its status-bar prompt. Formats reach the
  // toolbar through its Ripping button, which asks with the chooser.
  int menuCommand;
  const char* menuText;
  const char* menuPrompt;
  // The settings sheet's tab for the options (none when there are none): its title, and the title
  // and object name of the group that holds the fields.
  const char* pageTitle = nullptr;
  const char* groupTitle = nullptr;
  const char* groupName = nullptr;
};

std::span<const OutputFormatInfo> OutputFormats();
// Null for a number that is not a format.
const OutputFormatInfo* FindOutputFormat(int32_t id);
// Null when no format has this File menu command.
const OutputFormatInfo* FindFormatByCommand(int command);
// The flag's option of any format, or null.
const FormatOption* FindFormatOptionByFlag(const std::string& flag);
// "wav, mp3, ape, flac or opus": the --format values.
std::string FormatNamesText(const char* separator = ", ", const char* last = " or ");

}  // namespace korvi
