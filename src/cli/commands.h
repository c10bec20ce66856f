#pragma once
// The command-line tool's commands. Each returns the process's exit status.

#include <iosfwd>
#include <string>
#include <vector>

namespace korvi::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Drives(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Toc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Rip(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Play(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Xmcd(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Lookup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace korvi::cli
