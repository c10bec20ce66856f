#pragma once
// What the fault tests share: a three-track image with a long middle track, korvi-cli kept away
// from the user's settings, the disc's own bytes and FFmpeg's decoding of a file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"

namespace korvi::faults {

using fixtures::ChildOptions;
using fixtures::ChildProcess;
using fixtures::ChildResult;

constexpr size_t kSectorBytes = 2352;

struct FormatCase {
  std::string name;       // as --format takes it
  std::string extension;  // with the dot
};
inline const FormatCase kWav{"wav", ".wav"};
inline const FormatCase kMp3{"mp3", ".mp3"};
inline const FormatCase kApe{"ape", ".ape"};
inline const FormatCase kFlac{"flac", ".flac"};
inline const FormatCase kOpus{"opus", ".opus"};
inline void PrintTo(const FormatCase& format, std::ostream* out) { *out << format.name; }

// A temporary root holding the image (tracks of 150, middleSectors and 150 sectors, no pregaps), an
// empty "out" folder, and a "home" for the tool's settings folders.
class RipScene {
 public:
  explicit RipScene(int32_t middleSectors = 600);
  bool Ready() const { return m_ready; }
  const std::filesystem::path& Root() const { return m_dir.path(); }
  std::filesystem::path Out() const { return Root() / "out"; }
  const fixtures::WrittenImage& Image() const { return m_image; }

  int32_t Begin(int track) const { return m_image.starts[size_t(track - 1)]; }
  int32_t End(int track) const;
  // The bin's bytes of a track, as written (read before any test changes the bin).
  const std::string& TrackBytes(int track) const { return m_trackBytes[size_t(track - 1)]; }
  std::string FileName(const std::filesystem::path& folder, int track, const FormatCase& format) const {
    return (folder / ("Track " + std::to_string(track) + format.extension)).string();
  }

  // korvi-cli with the given arguments, its settings folders under home.
  ChildOptions Cli(std::vector<std::string> args) const;
  ChildOptions Rip(const FormatCase& format, const std::filesystem::path& out,
                   std::vector<std::string> more = {}) const;

  // Every regular file and symbolic link under the root, home left out, relative to the root.
  std::set<std::string> FilesOutsideHome() const;

 private:
  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  std::vector<std::string> m_trackBytes;
  bool m_ready = false;
};

// FFmpeg's decoding of a file as 16-bit stereo PCM; nullopt when FFmpeg reports any error.
std::optional<std::string> DecodePcm(const std::filesystem::path& file);

// Whether the file is what the track should give: WAV, APE and FLAC (which `flac -t` must pass
// too) decode to the disc's bytes exactly; MP3 decodes without error to the track's length, give or take the
// encoder's frames; Opus to the track's length within a frame. An empty text means valid; else what is wrong.
std::string CheckRippedFile(const std::filesystem::path& file, const FormatCase& format,
                            const std::string& discBytes);

// The reference decoder's own test: frames, CRCs and the MD5 sum of the header.
bool FlacTestPasses(const std::filesystem::path& file);

std::string ReadFileBytes(const std::filesystem::path& path);

// Whether a rip is writing the file: its hidden temporary is in the folder.
bool IsBeingWritten(const std::filesystem::path& finalPath);

// The lines of stderr that name the file.
std::vector<std::string> LinesNaming(const std::string& err, const std::string& path);

}  // namespace korvi::faults
