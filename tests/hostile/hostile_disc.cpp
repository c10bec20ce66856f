#include "hostile_disc.h"

#include <cstdio>
#include <fstream>

#include "fixtures/image_toc.h"
#include "text/utf8_text.h"

namespace korvi::fixtures {

bool HostileDisc::Make(int trackCount, int32_t sectorsPerTrack) {
  if (dir.path().empty()) return false;
  if (!WriteCueBinImage(dir / "disc.cue", AllAudioLayout(trackCount, sectorsPerTrack, 7), &image, nullptr))
    return false;
  const auto read = ReadImageToc(image.cue);
  if (!read) return false;
  discId = read->cddbId;
  char id[16];
  std::snprintf(id, sizeof id, "%08x", discId);
  idText = id;
  std::filesystem::create_directories(dir / "archive" / "misc");
  server = std::make_unique<CddbTestServer>(dir / "archive");
  if (!server->Start()) return false;
  env = {{"HOME", dir.path().string()},
         {"XDG_CONFIG_HOME", (dir / "config").string()},
         {"XDG_DATA_HOME", (dir / "data").string()},
         {"KORVI_CDDB_SERVER", server->HostPort()}};
  return true;
}

void HostileDisc::ServeEntry(const std::string& bytes) const {
  std::ofstream(dir / "archive" / "misc" / idText, std::ios::binary | std::ios::trunc) << bytes;
}

std::string HostileDisc::Entry(const std::string& discTitle,
                               const std::vector<std::string>& titleLines) const {
  std::string entry = "# xmcd\n#\n# Track frame offsets:\n";
  for (int32_t start : image.starts) entry += "#\t" + std::to_string(start + 150) + "\n";
  entry += "#\n# Disc length: " + std::to_string((image.leadOut + 150) / 75) +
           " seconds\n#\n# Revision: 0\n# Submitted via: hand 1.0\n#\nDISCID=" + idText +
           "\nDTITLE=" + discTitle + "\nDYEAR=2020\n";
  for (const std::string& line : titleLines) entry += line + "\n";
  entry += "EXTD=\n";
  for (size_t i = 0; i < image.starts.size(); ++i) entry += "EXTT" + std::to_string(i) + "=\n";
  return entry + "PLAYORDER=\n";
}

ChildResult HostileDisc::Cli(const std::vector<std::string>& args) const {
  return RunChild(CliOptions(args), CliTimeout());
}

bool HostileDisc::StartCli(ChildProcess& child, const std::vector<std::string>& args) const {
  return child.Start(CliOptions(args));
}

ChildOptions HostileDisc::CliOptions(const std::vector<std::string>& args) const {
  ChildOptions options;
  options.args = {KORVI_CLI_PATH};
  options.args.insert(options.args.end(), args.begin(), args.end());
  for (const auto& [name, value] : env) options.env.push_back(name + "=" + value);
  return options;
}

bool IsCleanText(const std::string& text) {
  if (!IsValidUtf8(text)) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) return false;
    // U+0080..U+009F in UTF-8
    if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) return false;
  }
  return true;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

}  // namespace korvi::fixtures
