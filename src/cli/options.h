#pragma once
// The arguments of each korvi-cli command, read into values without touching a disc, a file or
// the settings. Each parser returns nullopt on a usage error, with the message for stderr (without
// the "korvi-cli: " prefix) in error.

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "disc/rip_reader.h"
#include "formats/output_format.h"

namespace korvi::cli {

using Args = std::vector<std::string>;

// `drives` takes no arguments.
bool ParseDrivesOptions(const Args& args, std::string& error);

struct TocOptions {
  std::string drive;
  bool cdText = false;  // --cdtext: the disc's CD-Text and facts after the rows
};

// `toc DRIVE [--cdtext]`.
std::optional<TocOptions> ParseTocOptions(const Args& args, std::string& error);
// `xmcd FILE`: the one operand.
struct DriveOptions {
  std::string drive;
  bool save = false;  // offset --save: keep the offset found as the setting for the drive's model
};

// `drive DRIVE` and `offset DRIVE [--save]`: command is "drive" or "offset".
std::optional<DriveOptions> ParseDriveOptions(const std::string& command, const Args& args, std::string& error);

std::optional<std::string> ParseXmcdOptions(const Args& args, std::string& error);

enum class OnExists { Ask, Overwrite, Skip };

struct RipOptions {
  std::string drive;
  const OutputFormatInfo* format = nullptr;  // an entry of the table the names were read from
  std::optional<std::string> out;
  std::optional<std::set<int>> tracks;  // the disc's own track numbers, 1 to 99
  // The format options given, each an allowed value, in the order given; a switch's flag turns it off.
  std::vector<std::pair<const FormatOption*, int32_t>> formatValues;
  bool lookup = false;                 // --pick sets it too
  std::optional<std::string> library;  // for --lookup; the settings' library folder when not given
  int pick = 1;                        // which of several matches the lookup takes, from 1
  std::optional<OnExists> onExists;
  std::optional<int32_t> jobs;    // tracks encoded at once; 0: one per core
  std::optional<ReadMode> mode;   // --mode secure|burst
  std::optional<int32_t> offset;  // --offset N: the drive's read offset in samples
  bool testAndCopy = false;
  std::optional<int32_t> speed;  // --speed N: times real time, 0 the drive's fastest
  bool eject = false;
  bool requireAccurate = false;  // exit 1 unless every track is accurate (verifies whatever the settings say)
  bool noVerify = false;
  bool noLog = false;
  bool noCue = false;
};

// formats: the table --format names are looked up in, ignoring case (OutputFormats() in the tool).
std::optional<RipOptions> ParseRipOptions(const Args& args, std::span<const OutputFormatInfo> formats,
                                          std::string& error);

struct PlayOptions {
  std::string drive;
  int track = 0;  // the disc's own track number
};

std::optional<PlayOptions> ParsePlayOptions(const Args& args, std::string& error);

struct LookupOptions {
  std::string drive;
  std::string library;  // empty: the library folder of the settings
  bool noSave = false;
  int pick = 1;  // which of several matches to take, from 1
};

std::optional<LookupOptions> ParseLookupOptions(const Args& args, std::string& error);

struct VerifyOptions {
  std::string drive;
  std::string folder;   // where the rip's files are
  std::string library;  // empty: the library folder of the settings
};

// `verify DRIVE DIR [--library DIR]`.
std::optional<VerifyOptions> ParseVerifyOptions(const Args& args, std::string& error);

// "1,3-5" → {1, 3, 4, 5}; nullopt for anything else, or a number outside 1 to 99.
std::optional<std::set<int>> ParseTrackList(const std::string& text);

}  // namespace korvi::cli
