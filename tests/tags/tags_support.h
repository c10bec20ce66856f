#pragma once
// The tags of a file as mutagen reads them (read_tags.py), for the tags tests.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "fixtures/temp_dir.h"

namespace korvi::tagtest {

// {"version", "encodings", "fields": {name: text}}; null when mutagen could not read the file.
inline nlohmann::json ReadTags(const std::filesystem::path& path) {
  const fixtures::CommandResult result =
      fixtures::RunCommand("/usr/bin/python3 " + fixtures::ShellQuote(KORVI_READ_TAGS) + " " +
                           fixtures::ShellQuote(path.string()));
  if (result.status != 0) return nullptr;
  return nlohmann::json::parse(result.out, nullptr, false);
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The decoded audio, as ffmpeg gives it.
inline std::string Decoded(const std::filesystem::path& path) {
  return fixtures::RunCommand("ffmpeg -v error -i " + fixtures::ShellQuote(path.string()) + " -f s16le -")
      .out;
}

}  // namespace korvi::tagtest
