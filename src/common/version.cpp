#include "common/version.h"

#ifndef KORVI_VERSION
#error "KORVI_VERSION comes from the project's version (src/common/CMakeLists.txt)"
#endif

namespace korvi {

const char* ProgramVersion() { return KORVI_VERSION; }

std::string ProgramNameAndVersion() { return std::string(kProgramName) + " " + KORVI_VERSION; }

}  // namespace korvi
