// Every korvi-cli command's argument parser on arbitrary command lines: the input split at NUL
// bytes into words. Only the parsers run, never a command.
#include <cstddef>
#include <cstdint>
#include <span>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"
#include "fuzz_checks.h"

namespace {

using korvi::cli::Args;
using korvi::fuzz::Require;

// The tool's own format table.
const std::span<const korvi::OutputFormatInfo> kFormats = korvi::OutputFormats();

Args SplitWords(std::string_view input) {
  Args words;
  for (;;) {
    const size_t end = input.find('\0');
    words.emplace_back(input.substr(0, end));
    if (end == std::string_view::npos) return words;
    input.remove_prefix(end + 1);
  }
}

bool Contains(const Args& args, const std::string& word) {
  for (const std::string& arg : args)
    if (arg == word) return true;
  return false;
}

// A usage error always says what was wrong; a success leaves the message alone.
template <typename T>
void CheckOutcome(const std::optional<T>& parsed, const std::string& error) {
  Require(parsed.has_value() == error.empty());
}

void CheckRip(const Args& args) {
  std::string error;
  const auto options = korvi::cli::ParseRipOptions(args, kFormats, error);
  CheckOutcome(options, error);
  if (!options) return;
  Require(!options->drive.empty() && options->drive[0] != '-' && Contains(args, options->drive));
  Require(options->format >= kFormats.data() && options->format < kFormats.data() + kFormats.size());
  if (options->tracks)
    for (int track : *options->tracks) Require(track >= 0 && track <= 99);
  // Every format option given is one the table allows, under a flag that was on the command line.
  for (const auto& [option, value] : options->formatValues) Require(option->Allows(value) && Contains(args, option->flag));
  Require(!options->lookup || Contains(args, "--lookup"));
}

void CheckTrackList(const std::string& text) {
  const auto tracks = korvi::cli::ParseTrackList(text);
  if (!tracks) return;
  Require(!tracks->empty());
  // 0 names the hidden track before track 1.
  for (int track : *tracks) Require(track >= 0 && track <= 99);
}

void CheckOthers(const Args& args) {
  std::string error;
  Require(korvi::cli::ParseDrivesOptions(args, error) == args.empty());
  Require(args.empty() == error.empty());

  error.clear();
  const auto toc = korvi::cli::ParseTocOptions(args, error);
  CheckOutcome(toc, error);
  if (toc) Require(!toc->drive.empty() && Contains(args, toc->drive) && args.size() == 1u + toc->cdText);
  if (args.size() == 1 && args[0] != "--cdtext" && !args[0].empty() && args[0][0] != '-')
    Require(toc.has_value());

  error.clear();
  const auto xmcd = korvi::cli::ParseXmcdOptions(args, error);
  CheckOutcome(xmcd, error);

  error.clear();
  const auto play = korvi::cli::ParsePlayOptions(args, error);
  CheckOutcome(play, error);
  if (play) Require(args.size() == 2 && play->drive == args[0] && play->track >= 1);

  error.clear();
  const auto lookup = korvi::cli::ParseLookupOptions(args, error);
  CheckOutcome(lookup, error);
  if (lookup) Require(!lookup->drive.empty() && lookup->drive[0] != '-' && Contains(args, lookup->drive));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Args args = SplitWords(std::string_view(reinterpret_cast<const char*>(data), size));
  // The empty command line as well as the words: "korvi-cli rip" alone is a line too.
  for (const Args& line : {args, Args{}}) {
    CheckRip(line);
    CheckOthers(line);
  }
  for (const std::string& word : args) CheckTrackList(word);
  return 0;
}
