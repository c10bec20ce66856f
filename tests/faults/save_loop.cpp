// faults-save-loop settings|library ROOT: saves the settings store (ROOT/config/registry.reg) or a
// library record (ROOT/library) over and over, alternating between two contents, until killed.
// "ready" goes to stdout once the first save is done; a failed save ends the loop with status 3.

#include <cstdio>
#include <string>

#include "common/fs_util.h"
#include "faults/save_variants.h"

namespace {

using namespace korvi;
using namespace korvi::faults;

bool SaveSettings(int which, const std::string& root, RegistryStore& store) {
  return SettingsVariant(which, root).SaveToRegistry(store);
}

bool SaveLibrary(int which, const std::string& root) {
  return LibraryVariant(which).SaveDiscInfo(root + "/library") > 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: faults-save-loop settings|library ROOT\n");
    return 2;
  }
  const std::string what = argv[1], root = argv[2];
  if (what != "settings" && what != "library") return 2;
  MakeDirectories(root + "/library", 0700);
  RegistryStore store = RegistryStore::Open(root + "/config/registry.reg");
  for (long i = 0;; ++i) {
    const bool saved =
        what == "settings" ? SaveSettings(int(i % 2), root, store) : SaveLibrary(int(i % 2), root);
    if (!saved) {
      std::fprintf(stderr, "save %ld failed\n", i);
      return 3;
    }
    if (i == 0) {
      std::fputs("ready\n", stdout);
      std::fflush(stdout);
    }
  }
}
