// korvi-cli: the ripper's core for scripts.

#include <algorithm>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/synopsis.h"
#include "common/version.h"

namespace {

using Command = int (*)(const std::vector<std::string>&, std::ostream&, std::ostream&);

Command CommandNamed(const std::string& name) {
  if (name == "drives") return korvi::cli::Drives;
  if (name == "toc") return korvi::cli::Toc;
  if (name == "rip") return korvi::cli::Rip;
  if (name == "play") return korvi::cli::Play;
  if (name == "xmcd") return korvi::cli::Xmcd;
  if (name == "lookup") return korvi::cli::Lookup;
  if (name == "verify") return korvi::cli::Verify;
  if (name == "drive") return korvi::cli::Drive;
  if (name == "offset") return korvi::cli::Offset;
  return nullptr;
}

bool AsksForHelp(const std::vector<std::string>& args) {
  return std::any_of(args.begin(), args.end(), [](const std::string& arg) { return arg == "--help" || arg == "-h"; });
}

}  // namespace

int main(int argc, char** argv) {
  // Past a file-size limit, write() then fails with EFBIG and the file is reported as failed,
  // instead of the signal ending the whole rip.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << korvi::cli::HelpText();
    return korvi::cli::kExitUsage;
  }
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << korvi::cli::HelpText();
    return korvi::cli::kExitOk;
  }
  if (command == "--version") {
    std::cout << "korvi-cli " << korvi::ProgramVersion() << '\n';
    return korvi::cli::kExitOk;
  }
  const korvi::cli::CliCommand* described = korvi::cli::FindCliCommand(command);
  const Command run = CommandNamed(command);
  if (!described || !run) {
    std::cerr << "korvi-cli: unknown command '" << command << "'\n" << korvi::cli::HelpText();
    return korvi::cli::kExitUsage;
  }
  if (AsksForHelp(args)) {
    std::cout << korvi::cli::CommandHelpText(*described);
    return korvi::cli::kExitOk;
  }
  return run(args, std::cout, std::cerr);
}
