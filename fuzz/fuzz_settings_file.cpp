// The settings store on arbitrary files: ParseRegFile and what is written back from it, the
// UTF-16 text of expandable strings, the options read out of a store holding the file, and the
// music folder of a user-dirs.dirs file.
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz_checks.h"
#include "settings/app_settings.h"
#include "settings/reg_file.h"
#include "settings/registry_store.h"
#include "settings/user_folders.h"
#include "text/utf16_text.h"

namespace {

using korvi::fuzz::Require;

constexpr size_t kMaxFolderBytes = PATH_MAX - 1;  // a path the system takes, less its NUL

std::string_view AsText(const std::vector<uint8_t>& data) {
  return {reinterpret_cast<const char*>(data.data()), data.size()};
}

bool SameEntry(const korvi::RegEntry& a, const korvi::RegEntry& b) {
  return a.name == b.name && a.value == b.value && a.verbatim == b.verbatim;
}

bool SameDocument(const korvi::RegDocument& a, const korvi::RegDocument& b) {
  if (a.preamble != b.preamble || a.sections.size() != b.sections.size()) return false;
  for (size_t i = 0; i < a.sections.size(); ++i) {
    const korvi::RegSection& x = a.sections[i];
    const korvi::RegSection& y = b.sections[i];
    if (x.keyPath != y.keyPath || x.entries.size() != y.entries.size()) return false;
    for (size_t j = 0; j < x.entries.size(); ++j)
      if (!SameEntry(x.entries[j], y.entries[j])) return false;
  }
  return true;
}

// Expandable strings are held as UTF-8 and written back as the UTF-16 they came from.
void CheckExpandableStrings(const korvi::RegDocument& document) {
  for (const korvi::RegSection& section : document.sections)
    for (const korvi::RegEntry& entry : section.entries) {
      if (!entry.value || entry.value->type != korvi::kRegExpandSz) continue;
      const std::optional<std::string> utf16 = korvi::Utf8ToUtf16Le(AsText(entry.value->data));
      Require(utf16.has_value() && korvi::Utf16LeToUtf8(*utf16) == std::string(AsText(entry.value->data)));
    }
}

// What the store saves reads back as the same document, and saves as the same text.
void CheckRoundTrip(const korvi::RegDocument& document) {
  const std::string saved = korvi::FormatRegFile(document);
  const std::optional<korvi::RegDocument> again = korvi::ParseRegFile(saved);
  Require(again.has_value() && SameDocument(document, *again));
  Require(korvi::FormatRegFile(*again) == saved);
}

void CheckConversions(std::string_view bytes) {
  if (const std::optional<std::string> utf8 = korvi::Utf16LeToUtf8(bytes)) {
    korvi::fuzz::RequireUtf8(*utf8);
    Require(korvi::Utf8ToUtf16Le(*utf8) == std::string(bytes));
  }
  const std::optional<std::string> utf16 = korvi::Utf8ToUtf16Le(bytes);
  Require(utf16.has_value() == korvi::IsValidUtf8(bytes));
  if (utf16) Require(korvi::Utf16LeToUtf8(*utf16) == std::string(bytes));
}

void CheckFolder(const std::string& folder) {
  Require(folder.size() <= kMaxFolderBytes && folder.find('\0') == std::string::npos);
}

// The options as the program reads them from a store file holding the bytes.
void CheckStore(std::string_view bytes, bool parses) {
  static const korvi::fuzz::RunFolder folder("settings");
  const std::string path = folder.Path() + "/registry.reg";
  // A new file each time: overwriting one in place makes some file systems flush it at close.
  unlink(path.c_str());
  {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out.flush()) std::abort();
  }
  const korvi::RegistryStore store = korvi::RegistryStore::Open(path);
  Require(store.State() == (parses ? korvi::StoreState::Loaded : korvi::StoreState::Unparsable));
  korvi::CAppSettings settings{korvi::UserFolders{}};
  const bool found = settings.LoadFromRegistry(store);
  Require(!found || parses);
  CheckFolder(settings.DefaultFolder);
  CheckFolder(settings.DefaultLibFolder);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<korvi::RegDocument> document = korvi::ParseRegFile(bytes);
  if (document) {
    CheckExpandableStrings(*document);
    CheckRoundTrip(*document);
  }
  CheckConversions(bytes);
  CheckStore(bytes, document.has_value());
  if (const std::optional<std::string> music = korvi::MusicFolderFromUserDirs(bytes, "/home/listener"))
    Require(!music->empty() && music->front() == '/');
  return 0;
}
