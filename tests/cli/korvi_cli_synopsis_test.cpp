// The description of korvi-cli's commands against the parsers that read the command line, the man
// page and the shell completion: each lists exactly the options described.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

#include "cli/options.h"
#include "cli/synopsis.h"
#include "formats/output_format.h"

namespace korvi::cli {
namespace {

using Names = std::set<std::string>;

std::string SourceFile(const std::string& path) {
  std::ifstream in(std::string(KORVI_SOURCE_DIR) + "/" + path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Names OptionsIn(const std::string& text) {
  Names names;
  const std::regex option("--[a-z][a-z0-9-]*");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
    names.insert(it->str());
  return names;
}

Names Words(const std::string& text) {
  std::istringstream in(text);
  return Names(std::istream_iterator<std::string>(in), {});
}

Names DescribedOptions(const CliCommand& command) {
  Names names;
  for (const CliOption& option : command.options) names.insert(option.name);
  return names;
}

Names AllDescribedOptions() {
  Names names;
  for (const CliCommand& command : CliCommands()) names.merge(DescribedOptions(command));
  return names;
}

// A value the option takes: the first of its alternatives or of its format's allowed values.
std::string ExampleValue(const CliOption& option) {
  if (const FormatOption* format = FindFormatOptionByFlag(option.name))
    return std::to_string(format->kind == OptionKind::kRange ? format->max : format->choices.back().value);
  if (option.value == "LIST") return "1,3-5";
  if (option.value == "N") return "2";
  return option.value.substr(0, option.value.find('|'));
}

// Whether the command's parser takes the arguments; the parser's message in error.
bool Parses(const std::string& command, const Args& args, std::string& error) {
  if (command == "toc") return ParseTocOptions(args, error).has_value();
  if (command == "rip") return ParseRipOptions(args, OutputFormats(), error).has_value();
  if (command == "lookup") return ParseLookupOptions(args, error).has_value();
  if (command == "verify") return ParseVerifyOptions(args, error).has_value();
  if (command == "play") return ParsePlayOptions(args, error).has_value();
  if (command == "xmcd") return ParseXmcdOptions(args, error).has_value();
  if (command == "drives") return ParseDrivesOptions(args, error);
  if (command == "drive" || command == "offset") return ParseDriveOptions(command, args, error).has_value();
  ADD_FAILURE() << "no parser for " << command;
  return false;
}

// The operands a command needs before its options.
Args Operands(const CliCommand& command) {
  Args args;
  for (const std::string& operand : Words(command.operands)) args.push_back(operand == "TRACK" ? "3" : "/x/" + operand);
  if (command.name == "rip") args.insert(args.end(), {"--format", "flac"});
  return args;
}

// Every option a command describes is taken by its parser, with a value where it takes one, and
// every option it does not describe (those of the other commands, the standalone ones) is refused.
TEST(KorviCliSynopsis, EachParserTakesExactlyTheDescribedOptions) {
  const Names all = AllDescribedOptions();
  int commands = 0;
  for (const CliCommand& command : CliCommands()) {
    if (command.name.empty()) continue;
    ++commands;
    std::string error;
    EXPECT_TRUE(Parses(command.name, Operands(command), error)) << command.name << ": " << error;
    for (const CliOption& option : command.options) {
      Args args = Operands(command);
      args.push_back(option.name);
      if (!option.value.empty()) args.push_back(ExampleValue(option));
      error.clear();
      EXPECT_TRUE(Parses(command.name, args, error)) << command.name << " " << option.name << ": " << error;
    }
    for (const std::string& other : all) {
      if (Describes(command, other)) continue;
      Args args = Operands(command);
      args.insert(args.end(), {other, "2"});
      error.clear();
      EXPECT_FALSE(Parses(command.name, args, error)) << command.name << " takes " << other;
    }
  }
  EXPECT_EQ(commands, 9);
}

// The format options come from the table: a value it does not allow is refused by name.
TEST(KorviCliSynopsis, FormatOptionsAreTheTablesAndRefuseOtherValues) {
  const CliCommand& rip = *FindCliCommand("rip");
  for (const OutputFormatInfo& format : OutputFormats())
    for (const FormatOption& option : format.options) {
      ASSERT_TRUE(option.flag);
      EXPECT_TRUE(Describes(rip, option.flag)) << option.flag;
      if (option.kind == OptionKind::kSwitch) continue;
      const int32_t beyond = option.kind == OptionKind::kRange ? option.max + 1 : option.choices[0].value + 1;
      std::string error;
      EXPECT_FALSE(Parses("rip", {"/x/DRIVE", "--format", "wav", option.flag, std::to_string(beyond)}, error));
      EXPECT_EQ(error, std::string(option.flag) + " takes " + option.AllowedText());
    }
}

// The man page names every described option and none besides.
TEST(KorviCliSynopsis, ManPageNamesExactlyTheDescribedOptions) {
  const std::string page = SourceFile("dist/man/korvi-cli.1.scd");
  ASSERT_FALSE(page.empty());
  EXPECT_EQ(OptionsIn(page), AllDescribedOptions());
  // Each command's synopsis line names its operands and the options it has beside the rest.
  for (const CliCommand& command : CliCommands()) {
    if (command.name.empty()) continue;
    EXPECT_NE(page.find("*korvi-cli* *" + command.name + "*"), std::string::npos) << command.name;
  }
}

// The completion offers each command's described options after it, the standalone ones first, and
// the values the format table allows.
TEST(KorviCliSynopsis, CompletionOffersExactlyTheDescribedOptionsAndValues) {
  const std::string script = SourceFile("dist/completion/korvi-cli.bash");
  ASSERT_FALSE(script.empty());
  EXPECT_EQ(OptionsIn(script), AllDescribedOptions());
  std::smatch match;
  for (const CliCommand& command : CliCommands()) {
    if (command.name.empty()) continue;
    const std::regex line("\\n\\s*" + command.name + "\\) options=\"([^\"]*)\"");
    const Names offered = std::regex_search(script, match, line) ? Words(match[1].str()) : Names();
    EXPECT_EQ(offered, DescribedOptions(command)) << command.name;
  }
  ASSERT_TRUE(std::regex_search(script, match, std::regex("COMP_CWORD == 1\\)\\); then\\s*\\n[^\\n]*-W \"([^\"]*)\"")));
  // The commands, then the options that stand alone (described last).
  Names first = DescribedOptions(CliCommands().back());
  for (const CliCommand& command : CliCommands()) {
    if (!command.name.empty()) first.insert(command.name);
  }
  EXPECT_EQ(Words(match[1].str()), first);

  const auto valuesOf = [&script](const std::string& flag) {
    std::smatch values;
    return std::regex_search(script, values, std::regex("\\n\\s*" + flag + "\\)\\s*\\n[^\\n]*-W \"([^\"]*)\""))
               ? Words(values[1].str())
               : Names();
  };
  Names formats;
  for (const std::string& name : Words(FormatNamesText(" ", " "))) formats.insert(name);
  EXPECT_EQ(valuesOf("--format"), formats);
  for (const OutputFormatInfo& format : OutputFormats()) {
    for (const FormatOption& option : format.options) {
      Names allowed;
      for (const OptionChoice& choice : option.choices) allowed.insert(std::to_string(choice.value));
      if (option.kind == OptionKind::kRange && option.max - option.min < 10)
        for (int32_t value = option.min; value <= option.max; ++value) allowed.insert(std::to_string(value));
      if (allowed.empty()) continue;
      EXPECT_EQ(valuesOf(option.flag), allowed) << option.flag;
    }
  }
}

}  // namespace
}  // namespace korvi::cli
