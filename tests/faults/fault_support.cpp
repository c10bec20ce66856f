#include "faults/fault_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace korvi::faults {

RipScene::RipScene(int32_t middleSectors) {
  fixtures::ImageLayout layout;
  layout.seed = 11;
  layout.tracks = {{false, 150, 0, {}}, {false, middleSectors, 0, {}}, {false, 150, 0, {}}};
  if (!fixtures::WriteCueBinImage(Root() / "disc.cue", layout, &m_image, nullptr)) return;
  const std::string bin = ReadFileBytes(m_image.bin);
  for (int track = 1; track <= 3; ++track)
    m_trackBytes.push_back(bin.substr(size_t(Begin(track)) * kSectorBytes,
                                      size_t(End(track) - Begin(track) + 1) * kSectorBytes));
  std::filesystem::create_directories(Out());
  std::filesystem::create_directories(Root() / "home");
  m_ready = true;
}

int32_t RipScene::End(int track) const {
  return size_t(track) < m_image.starts.size() ? m_image.starts[size_t(track)] - 1 : m_image.leadOut - 1;
}

ChildOptions RipScene::Cli(std::vector<std::string> args) const {
  ChildOptions options;
  options.args = {KORVI_CLI_PATH};
  options.args.insert(options.args.end(), args.begin(), args.end());
  const std::string home = (Root() / "home").string();
  options.env = {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config", "XDG_DATA_HOME=" + home + "/data",
                 "XDG_CONFIG_DIRS=" + home + "/config"};
  // A relative path would land here: it must stay empty.
  options.workDir = Root() / "home";
  return options;
}

ChildOptions RipScene::Rip(const FormatCase& format, const std::filesystem::path& out,
                           std::vector<std::string> more) const {
  // The files alone: no database to ask, no log or cue sheet among them.
  std::vector<std::string> args = {"rip",        m_image.cue.string(), "--format", format.name, "--out",
                                   out.string(), "--no-verify",        "--no-log", "--no-cue"};
  args.insert(args.end(), more.begin(), more.end());
  return Cli(args);
}

std::set<std::string> RipScene::FilesOutsideHome() const {
  std::set<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(Root())) {
    const std::string relative = std::filesystem::relative(entry.path(), Root()).string();
    if (relative == "home" || relative.rfind("home/", 0) == 0) continue;
    if (!entry.is_directory() || entry.is_symlink()) files.insert(relative);
  }
  return files;
}

std::optional<std::string> DecodePcm(const std::filesystem::path& file) {
  const fixtures::CommandResult result =
      fixtures::RunCommand("ffmpeg -nostdin -v error -xerror -i " + fixtures::ShellQuote(file.string()) +
                           " -f s16le -acodec pcm_s16le -ac 2 -ar 44100 - 2>/dev/null");
  if (result.status != 0) return std::nullopt;
  return result.out;
}

bool FlacTestPasses(const std::filesystem::path& file) {
  return fixtures::RunCommand("flac -s -t " + fixtures::ShellQuote(file.string()) + " 2>&1").status == 0;
}

std::string CheckRippedFile(const std::filesystem::path& file, const FormatCase& format,
                            const std::string& discBytes) {
  const std::optional<std::string> pcm = DecodePcm(file);
  if (!pcm) return "FFmpeg cannot decode " + file.string();
  if (format.name == "flac" && !FlacTestPasses(file)) return "flac -t finds faults in " + file.string();
  if (format.name == "opus") {
    // Lossy too, but trimmed to the track's length by the stream's own end, give or take the
    // resampling back to 44.1 kHz: within one 20 ms frame.
    constexpr long kFrameBytes = 882 * 4;
    if (std::abs(long(pcm->size()) - long(discBytes.size())) > kFrameBytes)
      return "the Opus file decodes to " + std::to_string(pcm->size()) + " bytes for a track of " +
             std::to_string(discBytes.size());
    return "";
  }
  if (format.name != "mp3") return *pcm == discBytes ? "" : "the decoded audio differs from the disc";
  // MP3 is lossy and framed: its length alone says the file is whole. Without a LAME tag the
  // decoder keeps the encoder's delay and padding, up to three frames more.
  const long difference = long(pcm->size()) - long(discBytes.size());
  constexpr long kFrameBytes = 1152 * 4;
  if (difference < 0 || difference > 3 * kFrameBytes)
    return "the MP3 decodes to " + std::to_string(pcm->size()) + " bytes for a track of " +
           std::to_string(discBytes.size());
  return "";
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool IsBeingWritten(const std::filesystem::path& finalPath) {
  const std::string prefix = "." + finalPath.filename().string() + ".korvi-";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(finalPath.parent_path(), error))
    if (entry.path().filename().string().rfind(prefix, 0) == 0) return true;
  return false;
}

std::vector<std::string> LinesNaming(const std::string& err, const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);)
    if (line.find(path + ":") != std::string::npos) lines.push_back(line);
  return lines;
}

}  // namespace korvi::faults
