// A process killed (SIGKILL) in the middle of saving, at many moments: the settings store and a
// library record are afterwards exactly the old or the new content and load completely, a record's
// sidecar never lends its ids to the other content, and the temporary file a kill can leave behind
// changes nothing for the next load and save, which removes it once it is old.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <thread>

#include "common/fs_util.h"
#include "faults/fault_support.h"
#include "faults/save_variants.h"
#include "fixtures/time_scale.h"

namespace korvi::faults {
namespace {

using namespace std::chrono_literals;

constexpr int kKills = 50;

// The kill comes 0 to 20 ms after the loop's first save, spread over the range.
std::chrono::microseconds KillDelay(int kill) { return std::chrono::microseconds((kill * 7919) % 20011); }

// The files beside target that its atomic replacement writes first: ".<name>.korvi-XXXXXX".
std::vector<std::filesystem::path> LeftoverTemps(const std::filesystem::path& target) {
  std::vector<std::filesystem::path> temps;
  const std::string prefix = "." + target.filename().string() + ".korvi-";
  for (const auto& entry : std::filesystem::directory_iterator(target.parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name.size() == prefix.size() + 6 && name.rfind(prefix, 0) == 0) temps.push_back(entry.path());
  }
  return temps;
}

// Sets a file's (not a link's target's) times to hours ago.
void MakeOld(const std::filesystem::path& path, int hours) {
  const timespec old{std::time(nullptr) - hours * 3600, 0};
  const timespec times[2] = {old, old};
  EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// Which of the two contents the kills left, by count.
struct KillTally {
  int first = 0, second = 0;
};

// A kill at every delay; after each, check(kill) judges the file.
void KillRepeatedly(const std::string& what, const std::filesystem::path& root,
                    const std::function<void(int kill)>& check) {
  for (int kill = 0; kill < kKills && !::testing::Test::HasFatalFailure(); ++kill) {
    ChildProcess loop;
    ChildOptions options;
    options.args = {KORVI_SAVE_LOOP_PATH, what, root.string()};
    EXPECT_TRUE(loop.Start(options));
    if (!loop.WaitForOut("ready\n", fixtures::Scaled(60s))) {
      ADD_FAILURE() << "the save loop did not start: " << loop.Finish(fixtures::Scaled(1s)).err;
      return;
    }
    std::this_thread::sleep_for(KillDelay(kill));
    const ChildResult result = loop.Kill();
    EXPECT_FALSE(result.exited) << "the loop ended by itself: " << result.err;
    check(kill);
  }
}

// A temporary file of the target cut off mid-write, as a kill leaves it: one a kill left, or one
// made here when no kill happened to.
std::filesystem::path CutOffTemporary(const std::filesystem::path& target, const std::string& content) {
  const std::vector<std::filesystem::path> temps = LeftoverTemps(target);
  if (!temps.empty()) return temps[0];
  const std::filesystem::path made =
      target.parent_path() / ("." + target.filename().string() + ".korvi-Zq81Xw");
  std::ofstream(made) << content.substr(0, content.size() / 2);
  return made;
}

TEST(KilledDuringSave, TheSettingsStoreIsTheOldOrTheNewContent) {
  fixtures::TempDir dir;
  // Both contents as the store writes them, from a scratch folder (the roots' names are equal in length).
  const std::filesystem::path scratch = dir / "scratch", root = dir / "victim";
  const std::filesystem::path scratchFile = scratch / "config" / "registry.reg";
  std::string bytes[2];
  for (int which : {0, 1, 0}) {
    RegistryStore store = RegistryStore::Open(scratchFile.string());
    ASSERT_TRUE(SettingsVariant(which, root.string()).SaveToRegistry(store));
    bytes[which] = ReadFileBytes(scratchFile);
  }
  ASSERT_NE(bytes[0], bytes[1]);
  const std::filesystem::path target = root / "config" / "registry.reg";

  KillTally tally;
  const auto check = [&](int kill) {
    const std::string now = ReadFileBytes(target);
    ASSERT_TRUE(now == bytes[0] || now == bytes[1]) << "kill " << kill << " left:\n" << now;
    ++(now == bytes[0] ? tally.first : tally.second);
    RegistryStore store = RegistryStore::Open(target.string());
    ASSERT_EQ(store.State(), StoreState::Loaded);
    CAppSettings loaded(LoopFolders(root.string()));
    ASSERT_TRUE(loaded.LoadFromRegistry(store));
    const CAppSettings expected = SettingsVariant(now == bytes[0] ? 0 : 1, root.string());
    EXPECT_EQ(loaded.BPS, expected.BPS);
    EXPECT_EQ(loaded.CompressionLevel, expected.CompressionLevel);
    EXPECT_EQ(loaded.DefaultFolder, expected.DefaultFolder);
    EXPECT_EQ(loaded.SaveID3Tag, expected.SaveID3Tag);
  };
  KillRepeatedly("settings", root, check);
  std::cout << "[ kills    ] old/new content " << tally.first << "/" << tally.second << ", "
            << LeftoverTemps(target).size() << " kill(s) left a temporary file\n";
  EXPECT_EQ(tally.first + tally.second, kKills);

  const std::filesystem::path temp = CutOffTemporary(target, bytes[1]);
  const std::string tempBytes = ReadFileBytes(temp);
  const std::string before = ReadFileBytes(target);
  RegistryStore store = RegistryStore::Open(target.string());
  ASSERT_EQ(store.State(), StoreState::Loaded);
  CAppSettings loaded(LoopFolders(root.string()));
  ASSERT_TRUE(loaded.LoadFromRegistry(store));
  EXPECT_EQ(loaded.BPS, SettingsVariant(before == bytes[0] ? 0 : 1, root.string()).BPS);
  const int next = before == bytes[0] ? 1 : 0;
  ASSERT_TRUE(SettingsVariant(next, root.string()).SaveToRegistry(store));
  EXPECT_EQ(ReadFileBytes(target), bytes[next]);
  EXPECT_EQ(ReadFileBytes(temp), tempBytes);
}

TEST(KilledDuringSave, TheLibraryRecordIsTheOldOrTheNewContent) {
  fixtures::TempDir dir;
  const std::filesystem::path scratch = dir / "scratch", root = dir / "victim";
  std::filesystem::create_directories(scratch);
  std::string bytes[2];
  for (int which : {0, 1}) {
    ASSERT_GT(LibraryVariant(which).SaveDiscInfo(scratch.string()), 0);
    bytes[which] = ReadFileBytes(LibraryFileName(scratch.string(), kLoopDiscId));
  }
  ASSERT_NE(bytes[0], bytes[1]);
  const std::string library = (root / "library").string();
  const std::filesystem::path target = LibraryFileName(library, kLoopDiscId);
  const int32_t wholeRecord = int32_t(kLibraryHeaderBytes + kLibraryTrackBytes * kLoopDiscTracks);

  KillTally tally;
  int withoutExtras = 0;
  const auto check = [&](int kill) {
    const std::string now = ReadFileBytes(target);
    ASSERT_TRUE(now == bytes[0] || now == bytes[1]) << "kill " << kill << " left " << now.size() << " bytes";
    ++(now == bytes[0] ? tally.first : tally.second);
    CDiscInfo loaded;
    ASSERT_EQ(loaded.LoadDiscInfo(library, kLoopDiscId), wholeRecord);
    const CDiscInfo expected = LibraryVariant(now == bytes[0] ? 0 : 1);
    EXPECT_EQ(loaded.albumTitle, expected.albumTitle);
    EXPECT_EQ(loaded.tracks.back().title(), expected.tracks.back().title());
    // A kill between the two renames leaves the other content's sidecar, which is not taken.
    EXPECT_TRUE(loaded.extras == expected.extras || loaded.extras.empty())
        << "kill " << kill << ": " << expected.albumTitle << " with release "
        << loaded.extras.musicBrainzReleaseId;
    withoutExtras += loaded.extras.empty();
  };
  KillRepeatedly("library", root, check);
  std::cout << "[ kills    ] old/new content " << tally.first << "/" << tally.second << ", "
            << LeftoverTemps(target).size() << " kill(s) left a temporary file, " << withoutExtras
            << " left the record without its extras\n";
  EXPECT_EQ(tally.first + tally.second, kKills);

  const std::filesystem::path temp = CutOffTemporary(target, bytes[1]);
  const std::string tempBytes = ReadFileBytes(temp);
  const bool wasFirst = ReadFileBytes(target) == bytes[0];
  CDiscInfo found;
  ASSERT_TRUE(FindInLibrary(kLoopDiscId, library, found));
  EXPECT_EQ(found.albumTitle, LibraryVariant(wasFirst ? 0 : 1).albumTitle);
  EXPECT_EQ(LibraryVariant(wasFirst ? 1 : 0).SaveDiscInfo(library), wholeRecord);
  EXPECT_EQ(ReadFileBytes(target), bytes[wasFirst ? 1 : 0]);
  EXPECT_EQ(ReadFileBytes(temp), tempBytes);

  // An hour on, the next save removes what the kills left, and what earlier versions' kills left
  // ("<id>.json.XXXXXX"), but not a younger temporary file (a save in flight), nor a link or folder
  // named like one, nor what a link leads to.
  const std::filesystem::path folder = target.parent_path();
  const std::filesystem::path outside = root / "old.json";
  std::ofstream(outside) << "not the library's";
  const std::filesystem::path earlier = folder / "2A0B5C0D.json.QViNHN",
                              young = folder / ".2A0B5C0D.json.korvi-y0ung1";
  const std::filesystem::path link = folder / ".2A0B5C0D.json.korvi-L1nk00",
                              aFolder = folder / ".x.korvi-Fo1der";
  std::vector<std::filesystem::path> old = LeftoverTemps(target);
  const std::vector<std::filesystem::path> oldSidecars = LeftoverTemps(ExtrasFileName(library, kLoopDiscId));
  old.insert(old.end(), oldSidecars.begin(), oldSidecars.end());
  std::ofstream(earlier) << "{";
  std::ofstream(young) << "{";
  std::filesystem::create_symlink(outside, link);
  std::filesystem::create_directory(aFolder);
  for (const auto& path : old) MakeOld(path, 2);
  for (const auto& path : {earlier, outside, link, aFolder}) MakeOld(path, 2);
  MakeOld(young, 0);
  ASSERT_EQ(LibraryVariant(wasFirst ? 0 : 1).SaveDiscInfo(library), wholeRecord);
  for (const auto& path : old) EXPECT_FALSE(std::filesystem::exists(path)) << path;
  EXPECT_FALSE(std::filesystem::exists(earlier));
  for (const auto& path : {young, outside, aFolder}) EXPECT_TRUE(std::filesystem::exists(path)) << path;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
}

}  // namespace
}  // namespace korvi::faults
