#pragma once
// korvi-cli's commands and options, described once: the parsers reject what is not described here,
// and --help, each command's --help, the usage line after an error, the man page's synopsis and the
// shell completion all list what is.

#include <string>
#include <vector>

namespace korvi::cli {

struct CliOption {
  std::string name;   // "--out"
  std::string value;  // "DIR", "wav|mp3"; empty for an option without a value
  std::string help;   // what it does, one sentence
  bool required = false;
};

struct CliCommand {
  std::string name;      // "rip"; empty for the options that stand alone (--help, --version)
  std::string operands;  // "DRIVE TRACK"
  std::string help;      // what the command does
  std::vector<CliOption> options;
};

// Every command in the order of the help, then the options that stand alone.
const std::vector<CliCommand>& CliCommands();
// Null for a word that names no command.
const CliCommand* FindCliCommand(const std::string& name);
// True when the command describes the option.
bool Describes(const CliCommand& command, const std::string& option);
// "korvi-cli rip DRIVE --format wav|mp3|ape|flac|opus [--out DIR] ...", wrapped to lines of at most
// 100 characters, the continuation lines indented.
std::string Synopsis(const CliCommand& command);
// "usage: " and the synopsis, for stderr after a usage error.
std::string UsageLine(const CliCommand& command);
// The whole usage (`korvi-cli --help`).
std::string HelpText();
// One command's synopsis, what it does and its options (`korvi-cli rip --help`).
std::string CommandHelpText(const CliCommand& command);

}  // namespace korvi::cli
