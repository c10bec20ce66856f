#pragma once
// Helpers shared by the CDDB tests: the entry files of the test archive.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>

#include "cddb/cddb_client.h"

namespace korvi {

// Readable failure messages.
inline void PrintTo(const CCDDBQueryResult& match, std::ostream* out) {
  *out << "{" << match.category << " " << std::hex << match.discId << std::dec << " artist \"" << match.artist
       << "\" title \"" << match.title << "\"}";
}

}  // namespace korvi

namespace korvi::cddb_test {

inline std::filesystem::path ArchivePath() { return KORVI_CDDB_ARCHIVE; }

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An entry of the archive by category and disc id, e.g. Entry("rock/0b016602").
inline std::string Entry(const std::string& name) { return ReadBytes(ArchivePath() / name); }

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// LF line ends turned into CRLF.
inline std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n' && (out.empty() || out.back() != '\r')) out += '\r';
    out += c;
  }
  return out;
}

}  // namespace korvi::cddb_test
