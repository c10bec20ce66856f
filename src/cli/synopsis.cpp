#include "cli/synopsis.h"

#include <algorithm>

#include "disc/offset_reader.h"
#include "formats/output_format.h"
#include "rip/job_limits.h"

namespace korvi::cli {
namespace {

constexpr size_t kLineWidth = 100;
constexpr const char* kHelpIndent = "                ";

// The options each format's table row gives korvi-cli: "--flac-level N", with its values.
std::vector<CliOption> FormatOptionsOfTable() {
  std::vector<CliOption> options;
  for (const OutputFormatInfo& format : OutputFormats())
    for (const FormatOption& option : format.options) {
      if (!option.flag) continue;
      if (option.kind == OptionKind::kSwitch) {
        options.push_back({option.flag, "", option.flagHelp});
        continue;
      }
      const std::string fallback =
          std::string("; your setting by default, ") + std::to_string(option.defaultValue) + " unless changed";
      options.push_back({option.flag, "N", std::string(option.flagHelp) + ": " + option.AllowedText() + fallback});
    }
  return options;
}

std::vector<CliOption> RipOptions() {
  std::vector<CliOption> options = {
      {"--format", FormatNamesText("|", "|"), "the format of the files", true},
      {"--out", "DIR", "the folder for the files; your output folder by default"},
      {"--tracks", "LIST", "the tracks by their numbers on the disc, such as 1,3-5 (0: the hidden track); all by default"},
  };
  for (CliOption& option : FormatOptionsOfTable()) options.push_back(std::move(option));
  const std::vector<CliOption> rest = {
      {"--on-exists", "ask|overwrite|skip", "what to do with a file already at a track's name"},
      {"--jobs", "N", "tracks encoded at once: 0 (one per core) to " + std::to_string(kMaxEncoderJobs)},
      {"--mode", "secure|burst", "secure verifies every sector (a drive's default), burst reads once (an image's)"},
      {"--offset", "N",
       "the drive's read offset in samples, " + std::to_string(-kMaxReadOffset) + " to " + std::to_string(kMaxReadOffset) +
           "; by default your setting for the drive's model, else AccurateRip's drive list (see drive)"},
      {"--test-and-copy", "", "read each track twice and compare"},
      {"--speed", "N", "a drive's read speed in times real time, 1 to " + std::to_string(kMaxReadSpeed) +
                           "; 0 its fastest; your setting by default"},
      {"--eject", "", "open a drive's tray when the rip ends without a failure"},
      {"--require-accurate", "", "verify with AccurateRip and exit 1 unless every track is accurate"},
      {"--no-verify", "", "do not verify with AccurateRip"},
      {"--no-log", "", "write no rip log"},
      {"--no-cue", "", "write no cue sheet"},
      {"--lookup", "", "name and tag the files after the looked-up titles"},
      {"--library", "DIR", "the library folder for --lookup; your library folder by default"},
      {"--pick", "N", "take the N-th of several releases (implies --lookup)"},
  };
  options.insert(options.end(), rest.begin(), rest.end());
  return options;
}

std::vector<CliCommand> BuildCommands() {
  const CliOption library{"--library", "DIR", "the library folder; yours by default"};
  const CliOption pick{"--pick", "N", "take the N-th of several releases"};
  return {
      {"drives", "", "list the drives: real drives, then the images in KORVI_CD_IMAGES", {}},
      {"toc", "DRIVE",
       "list the disc's audio tracks (name, length, begin, end; tab-separated) and its CDDB disc id",
       {{"--cdtext", "", "add the disc's CD-Text, one field a line"}}},
      {"drive", "DRIVE",
       "the drive's vendor, model and revision, its read offset and where that comes from (your setting for "
       "the model, AccurateRip's drive list, or not known), whether it caches audio and how much (timed by "
       "re-reading the disc in it), whether it returns C2 error pointers and whether FUA reads bypass its cache",
       {}},
      {"offset", "DRIVE",
       "find the drive's read offset from the disc in it: the audio of a few tracks is read and summed at "
       "every candidate offset, the offsets of AccurateRip's drive list first, until the database's checksums "
       "match; prints the offset, the tracks that matched and the database's confidence for each",
       {{"--save", "", "keep the offset found as your setting for the drive's model"}}},
      {"rip", "DRIVE",
       "rip the listed tracks (all by default) into DIR (your output folder by default); prints each file written",
       RipOptions()},
      {"play", "DRIVE TRACK",
       "play a track (its number on the disc) through the sound server, its position on stderr; Ctrl+C stops it",
       {}},
      {"xmcd", "FILE", "parse a CDDB entry (xmcd format); print the record as one JSON object", {}},
      {"lookup", "DRIVE",
       "the disc's album title, artist and track titles, one per line, from the library or the sources of your "
       "lookup order (MusicBrainz, CDDB, CD-Text; KORVI_MUSICBRAINZ_SERVER=http://host:port and "
       "KORVI_CDDB_SERVER=host[:port] name other servers); several releases are listed on stderr and the first "
       "is taken, or the N-th with --pick N",
       {library, {"--no-save", "", "do not save the answer in the library"}, pick}},
      {"verify", "DRIVE DIR",
       "check the WAV files of an earlier rip of the disc in DIR (named after the library's titles, or "
       "\"Track N.wav\") against AccurateRip, one line a track; exit 1 unless every track is accurate "
       "(KORVI_ACCURATERIP_SERVER=host:port names another database)",
       {library}},
      {"", "", "", {{"--help", "", "print the usage (also -h and help)"}, {"--version", "", "print the version"}}},
  };
}

// Breaks text at blanks outside brackets into lines of at most kLineWidth, the first line after
// `first`, the others after `rest`.
std::string Wrap(const std::string& text, const std::string& first, const std::string& rest) {
  std::string result, line = first;
  bool lineEmpty = true;
  size_t start = 0;
  int depth = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size()) {
      depth += text[i] == '[' ? 1 : text[i] == ']' ? -1 : 0;
      if (text[i] != ' ' || depth > 0) continue;
    }
    const std::string word = text.substr(start, i - start);
    start = i + 1;
    if (!lineEmpty && line.size() + 1 + word.size() > kLineWidth) {
      result += line + "\n";
      line = rest + word;
    } else {
      line += (lineEmpty ? "" : " ") + word;
    }
    lineEmpty = false;
  }
  return result + line;
}

std::string OptionText(const CliOption& option) {
  const std::string text = option.value.empty() ? option.name : option.name + " " + option.value;
  return option.required ? text : "[" + text + "]";
}

}  // namespace

const std::vector<CliCommand>& CliCommands() {
  static const std::vector<CliCommand> commands = BuildCommands();
  return commands;
}

const CliCommand* FindCliCommand(const std::string& name) {
  for (const CliCommand& command : CliCommands())
    if (!name.empty() && command.name == name) return &command;
  return nullptr;
}

bool Describes(const CliCommand& command, const std::string& option) {
  return std::any_of(command.options.begin(), command.options.end(),
                     [&option](const CliOption& described) { return described.name == option; });
}

std::string Synopsis(const CliCommand& command) {
  std::string text = "korvi-cli " + command.name;
  if (!command.operands.empty()) text += " " + command.operands;
  for (const CliOption& option : command.options) text += " " + OptionText(option);
  return Wrap(text, "", "      ");
}

std::string UsageLine(const CliCommand& command) { return "usage: " + Synopsis(command); }

std::string HelpText() {
  std::string text = "usage: korvi-cli COMMAND [ARGS]\n       korvi-cli --help | --version\n\ncommands:\n";
  for (const CliCommand& command : CliCommands()) {
    if (command.name.empty()) continue;
    text += "  " + Synopsis(command).substr(std::string("korvi-cli ").size()) + "\n";
    text += Wrap(command.help, kHelpIndent, kHelpIndent) + "\n";
  }
  text += "\nrip options:\n";
  for (const CliOption& option : FindCliCommand("rip")->options) {
    const std::string head = "  " + option.name + (option.value.empty() ? "" : " " + option.value);
    text += head + "\n" + Wrap(option.help, kHelpIndent, kHelpIndent) + "\n";
  }
  text +=
      "\nEach command takes --help (or -h) for its own usage.\n"
      "DRIVE is a device path such as /dev/sr0 or a disc image (.cue, .toc, .nrg).\n"
      "Exit status: 0 success, 1 the disc could not be read, a file failed or a verified track is\n"
      "not accurate, 2 usage error.\n";
  return text;
}

std::string CommandHelpText(const CliCommand& command) {
  std::string text = UsageLine(command) + "\n\n" + Wrap(command.help, "", "") + "\n";
  if (!command.options.empty()) text += "\noptions:\n";
  for (const CliOption& option : command.options) {
    const std::string head = "  " + option.name + (option.value.empty() ? "" : " " + option.value);
    text += head + "\n" + Wrap(option.help, kHelpIndent, kHelpIndent) + "\n";
  }
  return text;
}

}  // namespace korvi::cli
