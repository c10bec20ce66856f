#pragma once
// The program's name and version, as the log, the User-Agent and the About box give them.

#include <string>

namespace korvi {

inline constexpr const char* kProgramName = "Korvi CD Ripper";

// "2.2": the version that the build's project() declares.
const char* ProgramVersion();
// "Korvi CD Ripper 2.2"
std::string ProgramNameAndVersion();

}  // namespace korvi
