#pragma once
// A disc image whose entry a local CDDB server serves as the test writes it, byte for byte, and
// the environment that points korvi-cli at both: its own home, settings, library and server.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fixtures/cddb_server.h"
#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/time_scale.h"
#include "fixtures/temp_dir.h"

namespace korvi::fixtures {

// Far longer than any korvi-cli run here takes, also under a sanitizer: one that outlasts it is
// killed and fails its test with what it printed.
inline std::chrono::milliseconds CliTimeout() { return std::chrono::milliseconds(ScaledMs(120000)); }

class HostileDisc {
 public:
  // Writes an image of trackCount short audio tracks and starts the server; false on failure.
  bool Make(int trackCount, int32_t sectorsPerTrack = 30);

  // The server's entry for this disc in category "misc", exactly these bytes.
  void ServeEntry(const std::string& bytes) const;
  // A well-formed entry with these titles (as they go into the TTITLE lines, escapes and all).
  std::string Entry(const std::string& discTitle, const std::vector<std::string>& titleLines) const;

  // korvi-cli with args, in this disc's environment, run to its end (at most CliTimeout()).
  ChildResult Cli(const std::vector<std::string>& args) const;
  bool StartCli(ChildProcess& child, const std::vector<std::string>& args) const;
  ChildOptions CliOptions(const std::vector<std::string>& args) const;

  std::map<std::string, std::string> env;  // what korvi-cli runs with; tests may change it
  TempDir dir;
  WrittenImage image;
  uint32_t discId = 0;
  std::string idText;  // 8 hex digits
  std::unique_ptr<CddbTestServer> server;

  std::string Cue() const { return image.cue.string(); }
  // The library folder korvi-cli uses by default in this environment.
  std::filesystem::path DefaultLibrary() const {
    return dir.path() / "data" / "korvi-cd-ripper" / "DiscInfo";
  }
};

// Whether text is well-formed UTF-8 without control characters (C0, DEL, C1).
bool IsCleanText(const std::string& text);

// The lines of text.
std::vector<std::string> Lines(const std::string& text);

}  // namespace korvi::fixtures
