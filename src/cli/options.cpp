#include "cli/options.h"

#include <charconv>

#include "cli/synopsis.h"
#include "disc/offset_reader.h"
#include "rip/job_limits.h"
#include "text/ascii_case.h"

namespace korvi::cli {
namespace {

constexpr int kLastTrack = 99;

std::optional<int> ParseInt(const std::string& text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

const OutputFormatInfo* FormatByName(std::span<const OutputFormatInfo> formats, const std::string& name) {
  for (const OutputFormatInfo& format : formats)
    if (AsciiLowered(format.name) == name) return &format;
  return nullptr;
}

std::optional<OnExists> OnExistsByName(const std::optional<std::string>& name) {
  if (name == "ask") return OnExists::Ask;
  if (name == "overwrite") return OnExists::Overwrite;
  if (name == "skip") return OnExists::Skip;
  return std::nullopt;
}

// Reads the arguments of rip one by one; an option's value is the word after it, whatever it is.
class RipArgReader {
 public:
  RipArgReader(const Args& args, std::span<const OutputFormatInfo> formats)
      : m_args(args), m_formats(formats) {}

  // The error text, or empty when the arguments are fine.
  std::string Read(RipOptions& options) {
    for (m_index = 0; m_index < m_args.size(); ++m_index) {
      if (std::string problem = ReadOne(m_args[m_index], options); !problem.empty()) return problem;
    }
    if (options.drive.empty()) return "no drive given";
    if (!options.format) return "--format is required";
    if (options.requireAccurate && options.noVerify)
      return "--require-accurate needs the verification that --no-verify turns off";
    return {};
  }

 private:
  std::optional<std::string> Value() {
    if (m_index + 1 >= m_args.size()) return std::nullopt;
    return m_args[++m_index];
  }

  // A number an option of the format table allows, or a switch turned off.
  std::string ReadFormatOption(const FormatOption& option, RipOptions& options) {
    if (option.kind == OptionKind::kSwitch) {
      options.formatValues.emplace_back(&option, 0);
      return {};
    }
    const auto text = Value();
    const std::optional<int> value = text ? ParseInt(*text) : std::nullopt;
    if (!value || !option.Allows(*value)) return std::string(option.flag) + " takes " + option.AllowedText();
    options.formatValues.emplace_back(&option, *value);
    return {};
  }

  std::string ReadOne(const std::string& arg, RipOptions& options) {
    if (!arg.empty() && arg[0] == '-' && !Describes(*FindCliCommand("rip"), arg)) return "unknown option " + arg;
    if (const FormatOption* option = FindFormatOptionByFlag(arg)) return ReadFormatOption(*option, options);
    if (arg == "--format") {
      const auto name = Value();
      if (!name || !(options.format = FormatByName(m_formats, *name))) return "--format takes " + FormatNamesText();
    } else if (arg == "--out") {
      if (!(options.out = Value())) return "--out takes a folder";
    } else if (arg == "--tracks") {
      const auto list = Value();
      if (!list || !(options.tracks = ParseTrackList(*list))) return "--tracks takes a list such as 1,3-5";
    } else if (arg == "--jobs") {
      const auto text = Value();
      if (!text || !(options.jobs = ParseInt(*text)) || *options.jobs < 0 || *options.jobs > kMaxEncoderJobs)
        return "--jobs takes 0 (one per core) to " + std::to_string(kMaxEncoderJobs);
    } else if (arg == "--mode") {
      const auto name = Value();
      const std::string mode = name ? AsciiLowered(*name) : std::string();
      if (mode == "secure")
        options.mode = ReadMode::kSecure;
      else if (mode == "burst")
        options.mode = ReadMode::kBurst;
      else
        return "--mode takes secure or burst";
    } else if (arg == "--offset") {
      const auto text = Value();
      if (!text || !(options.offset = ParseInt(*text)) || *options.offset < -kMaxReadOffset ||
          *options.offset > kMaxReadOffset)
        return "--offset takes samples, " + std::to_string(-kMaxReadOffset) + " to " +
               std::to_string(kMaxReadOffset);
    } else if (arg == "--test-and-copy") {
      options.testAndCopy = true;
    } else if (arg == "--speed") {
      const auto text = Value();
      if (!text || !(options.speed = ParseInt(*text)) || *options.speed < 0 || *options.speed > kMaxReadSpeed)
        return "--speed takes 0 (the drive's fastest) to " + std::to_string(kMaxReadSpeed);
    } else if (arg == "--eject") {
      options.eject = true;
    } else if (arg == "--require-accurate") {
      options.requireAccurate = true;
    } else if (arg == "--no-verify") {
      options.noVerify = true;
    } else if (arg == "--no-log") {
      options.noLog = true;
    } else if (arg == "--no-cue") {
      options.noCue = true;
    } else if (arg == "--lookup") {
      options.lookup = true;
    } else if (arg == "--pick") {
      const auto text = Value();
      const std::optional<int> pick = text ? ParseInt(*text) : std::nullopt;
      if (!pick || *pick < 1) return "--pick takes the number of a match, from 1";
      options.pick = *pick;
      options.lookup = true;
    } else if (arg == "--library") {
      if (!(options.library = Value())) return "--library takes a folder";
    } else if (arg == "--on-exists") {
      if (!(options.onExists = OnExistsByName(Value()))) return "--on-exists takes ask, overwrite or skip";
    } else if (!arg.empty() && arg[0] == '-') {
      return "unknown option " + arg;
    } else if (options.drive.empty()) {
      options.drive = arg;
    } else {
      return "more than one drive given";
    }
    return {};
  }

  const Args& m_args;
  std::span<const OutputFormatInfo> m_formats;
  size_t m_index = 0;
};

int ParseTrackNumber(const std::string& text) {
  const std::optional<int> value = ParseInt(text);
  return value && *value >= 1 ? *value : 0;
}

}  // namespace

std::optional<std::set<int>> ParseTrackList(const std::string& text) {
  std::set<int> tracks;
  size_t from = 0;
  while (from <= text.size()) {
    size_t to = text.find(',', from);
    if (to == std::string::npos) to = text.size();
    const std::string part = text.substr(from, to - from);
    const size_t dash = part.find('-');
    const auto first = ParseInt(part.substr(0, dash));
    const auto last = dash == std::string::npos ? first : ParseInt(part.substr(dash + 1));
    // 0 is the hidden track before track 1.
    if (!first || !last || *first < 0 || *last < *first || *last > kLastTrack) return std::nullopt;
    for (int n = *first; n <= *last; ++n) tracks.insert(n);
    from = to + 1;
  }
  return tracks;
}

bool ParseDrivesOptions(const Args& args, std::string& error) {
  if (args.empty()) return true;
  error = "drives takes no arguments";
  return false;
}

std::optional<TocOptions> ParseTocOptions(const Args& args, std::string& error) {
  TocOptions options;
  bool usable = true;
  for (const std::string& arg : args) {
    if (arg == "--cdtext" && !options.cdText)
      options.cdText = true;
    else if (options.drive.empty() && !arg.empty() && arg[0] != '-')
      options.drive = arg;
    else
      usable = false;
  }
  if (usable && !options.drive.empty()) return options;
  error = UsageLine(*FindCliCommand("toc"));
  return std::nullopt;
}

std::optional<DriveOptions> ParseDriveOptions(const std::string& command, const Args& args, std::string& error) {
  DriveOptions options;
  bool usable = true;
  for (const std::string& arg : args) {
    if (command == "offset" && arg == "--save" && !options.save)
      options.save = true;
    else if (options.drive.empty() && !arg.empty() && arg[0] != '-')
      options.drive = arg;
    else
      usable = false;
  }
  if (usable && !options.drive.empty()) return options;
  error = UsageLine(*FindCliCommand(command));
  return std::nullopt;
}

std::optional<std::string> ParseXmcdOptions(const Args& args, std::string& error) {
  if (args.size() == 1) return args[0];
  error = UsageLine(*FindCliCommand("xmcd"));
  return std::nullopt;
}

std::optional<RipOptions> ParseRipOptions(const Args& args, std::span<const OutputFormatInfo> formats,
                                          std::string& error) {
  RipOptions options;
  error = RipArgReader(args, formats).Read(options);
  if (!error.empty()) return std::nullopt;
  return options;
}

std::optional<PlayOptions> ParsePlayOptions(const Args& args, std::string& error) {
  const int track = args.size() == 2 ? ParseTrackNumber(args[1]) : 0;
  if (!track) {
    error = UsageLine(*FindCliCommand("play")) + " (TRACK: the disc's own track number)";
    return std::nullopt;
  }
  return PlayOptions{args[0], track};
}

std::optional<LookupOptions> ParseLookupOptions(const Args& args, std::string& error) {
  LookupOptions options;
  bool usable = true;
  for (size_t i = 0; i < args.size() && usable; ++i) {
    if (args[i] == "--library" && i + 1 < args.size())
      options.library = args[++i];
    else if (args[i] == "--no-save")
      options.noSave = true;
    else if (args[i] == "--pick" && i + 1 < args.size())
      usable = (options.pick = ParseInt(args[++i]).value_or(0)) >= 1;
    else if (options.drive.empty() && !args[i].empty() && args[i][0] != '-')
      options.drive = args[i];
    else
      usable = false;
  }
  if (!usable || options.drive.empty()) {
    error = UsageLine(*FindCliCommand("lookup"));
    return std::nullopt;
  }
  return options;
}

std::optional<VerifyOptions> ParseVerifyOptions(const Args& args, std::string& error) {
  VerifyOptions options;
  bool usable = true;
  for (size_t i = 0; i < args.size() && usable; ++i) {
    if (args[i] == "--library" && i + 1 < args.size() && options.library.empty())
      options.library = args[++i];
    else if (args[i].empty() || args[i][0] == '-')
      usable = false;
    else if (options.drive.empty())
      options.drive = args[i];
    else if (options.folder.empty())
      options.folder = args[i];
    else
      usable = false;
  }
  if (!usable || options.folder.empty()) {
    error = UsageLine(*FindCliCommand("verify"));
    return std::nullopt;
  }
  return options;
}

}  // namespace korvi::cli
