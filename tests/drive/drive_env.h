#pragma once
// What a program run through the emulated drive needs: the preloaded drive, its list, and a home
// of the test's own, so that a run neither reads the user's settings nor asks the real AccurateRip
// server for its drive list. KORVI_FAKEDRIVE_PATH is the preload library's path.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fixtures/disc_image_writer.h"

namespace korvi::fixtures {

// drives: KORVI_FAKE_DRIVES ("DEVICE=IMAGE,behaviour,..."). Nothing answers at the default
// AccurateRip server: the drive list is not found there, and no offset is taken from it.
inline std::vector<std::string> FakeDriveEnv(const std::string& drives, const std::filesystem::path& home,
                                             const std::string& accurateRipServer = "127.0.0.1:9") {
  return {"LD_PRELOAD=" KORVI_FAKEDRIVE_PATH,
          "KORVI_FAKE_DRIVES=" + drives,
          "KORVI_CD_IMAGES=",
          "HOME=" + home.string(),
          "XDG_CONFIG_HOME=" + (home / "config").string(),
          "XDG_DATA_HOME=" + (home / "data").string(),
          "KORVI_ACCURATERIP_SERVER=" + accurateRipServer,
          // The sanitizers' runtime cannot come first when a library is preloaded.
          "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};
}

// The drive tests' disc: three tracks, the second with a pregap of a second stored before it.
inline ImageLayout ThreeTrackDisc(uint32_t seed) {
  ImageLayout layout;
  layout.seed = seed;
  layout.tracks = {{false, 900, 0, ""}, {false, 700, 75, ""}, {false, 1100, 0, ""}};
  return layout;
}

inline std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace korvi::fixtures
