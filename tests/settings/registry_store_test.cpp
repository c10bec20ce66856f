#include "settings/registry_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include "settings_test_util.h"

namespace korvi {
namespace {

using settings_test::ReadFile;
using settings_test::TempFolder;
using settings_test::WriteFile;
using Bytes = std::vector<uint8_t>;

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Test";

// The text and its terminating NUL.
template <size_t N>
Bytes Z(const char (&text)[N]) {
  return Bytes(text, text + N);
}

std::optional<RegValue> Query(const RegistryStore& store, const std::string& key, std::string_view name) {
  std::optional<RegKey> handle = store.OpenKey(key);
  return handle ? store.QueryValue(*handle, name) : std::nullopt;
}

size_t FilesIn(const std::string& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(SettingsStore, ReadsEveryValueForm) {
  TempFolder dir;
  WriteFile(dir / "r.reg",
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
            "[" +
                kKey +
                "]\r\n"
                "@=\"default\"\r\n"
                "\"Quoted \\\"name\\\"\"=\"C:\\\\dir \\\"x\\\" \xC3\xA9\"\r\n"
                "\"Dword\"=dword:0000C0\r\n"
                "\"Blob\"=hex:01,02,\\\r\n"
                "    ff\r\n"
                "\"Expand\"=hex(2):25,00,e9,00,3d,d8,35,de,00,00\r\n"
                "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\r\n"
                "\"Empty\"=hex(0):\r\n");
  RegistryStore store = RegistryStore::Open(dir / "r.reg");
  ASSERT_EQ(store.State(), StoreState::Loaded);

  EXPECT_EQ(Query(store, kKey, ""), (RegValue{kRegSz, Z("default")}));
  EXPECT_EQ(Query(store, kKey, "quoted \"NAME\""), (RegValue{kRegSz, Z("C:\\dir \"x\" \xC3\xA9")}));
  EXPECT_EQ(Query(store, kKey, "Dword"), (RegValue{kRegDword, {0xc0, 0, 0, 0}}));
  EXPECT_EQ(Query(store, kKey, "Blob"), (RegValue{kRegBinary, {1, 2, 0xff}}));
  // UTF-16LE "%é😵" + NUL held as UTF-8.
  EXPECT_EQ(Query(store, kKey, "Expand"), (RegValue{kRegExpandSz, Z("%\xC3\xA9\xF0\x9F\x98\xB5")}));
  EXPECT_EQ(Query(store, kKey, "Qword"), (RegValue{kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}}));
  EXPECT_EQ(Query(store, kKey, "Empty"), (RegValue{kRegNone, {}}));
  EXPECT_EQ(Query(store, kKey, "Absent"), std::nullopt);
}

TEST(SettingsStore, UnreadableLinesAreAbsentButKeptOnSave) {
  TempFolder dir;
  const std::string bad =
      "\"Long\"=dword:000000001\n"
      "\"NotHex\"=dword:0000001g\n"
      "\"Escape\"=\"a\\n\"\n"
      "\"Odd\"=hex(2):41,00,42\n"
      "\"Lone\"=hex(2):00,d8\n"
      "\"Byte\"=hex:123\n"
      "\"Gone\"=-\n"
      "; a comment\n"
      "\"Unclosed=\"x\"\n";
  WriteFile(dir / "r.reg",
            "Windows Registry Editor Version 5.00\n\n[" + kKey + "]\n" + bad + "\"Good\"=dword:00000007\n");
  RegistryStore store = RegistryStore::Open(dir / "r.reg");
  for (const char* name : {"Long", "NotHex", "Escape", "Odd", "Lone", "Byte", "Gone"})
    EXPECT_EQ(Query(store, kKey, name), std::nullopt) << name;
  EXPECT_EQ(Query(store, kKey, "Good"), (RegValue{kRegDword, {7, 0, 0, 0}}));

  std::optional<RegKey> key = store.OpenKey(kKey);
  ASSERT_TRUE(key);
  ASSERT_TRUE(store.SetValue(*key, "long", kRegDword, Bytes{1, 0, 0, 0}));
  ASSERT_TRUE(store.Save());
  std::string kept = bad.substr(bad.find('\n') + 1);
  EXPECT_EQ(ReadFile(dir / "r.reg"), "Windows Registry Editor Version 5.00\n\n[" + kKey +
                                         "]\n"
                                         "\"long\"=dword:00000001\n" +
                                         kept + "\"Good\"=dword:00000007\n\n");
}

TEST(SettingsStore, SaveRoundTripsOtherKeysUnchanged) {
  TempFolder dir;
  const std::string text =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\Other]\n"
      "@=\"root \\\\ value\"\n"
      "\"Multi\"=hex(7):61,00,00,00,00,00\n\n"
      "[" +
      kKey +
      "]\n"
      "\"Path\"=hex(2):24,00,48,00,4f,00,4d,00,45,00,00,00\n"
      "\"NoNul\"=hex(1):61,62\n"
      "\"Short\"=hex(4):01\n\n";
  WriteFile(dir / "r.reg", text);
  RegistryStore store = RegistryStore::Open(dir / "r.reg");
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(ReadFile(dir / "r.reg"), text);

  std::optional<RegKey> added = store.CreateKey("HKEY_CURRENT_USER\\Software\\Zeta");
  ASSERT_TRUE(added);
  ASSERT_TRUE(store.SetValue(*added, "Data", kRegBinary, Bytes(40, 0xab)));
  ASSERT_TRUE(store.Save());
  std::string saved = ReadFile(dir / "r.reg");
  EXPECT_EQ(saved.substr(0, text.size()), text);
  // Long hex data wraps the way regedit does and reads back the same.
  EXPECT_NE(saved.find("ab,ab,\\\n  ab,"), std::string::npos);
  for (size_t start = 0, end; (end = saved.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 80u);
  EXPECT_EQ(Query(RegistryStore::Open(dir / "r.reg"), added->Path(), "Data"),
            (RegValue{kRegBinary, Bytes(40, 0xab)}));
}

TEST(SettingsStore, KeysAndNamesIgnoreCaseAndParentsExistThroughSubkeys) {
  TempFolder dir;
  RegistryStore store = RegistryStore::Open(dir / "sub/r.reg");
  EXPECT_EQ(store.State(), StoreState::Missing);
  EXPECT_FALSE(store.OpenKey(kKey));
  std::optional<RegKey> key = store.CreateKey(kKey + "\\Child");
  ASSERT_TRUE(key);
  ASSERT_TRUE(store.SetValue(*key, "Value", kRegSz, Z("x")));
  EXPECT_FALSE(std::filesystem::exists(dir / "sub"));

  EXPECT_TRUE(store.OpenKey("hkey_current_user\\SOFTWARE"));
  EXPECT_FALSE(store.OpenKey("HKEY_CURRENT_USER\\Soft"));
  EXPECT_EQ(Query(store, "HKEY_CURRENT_USER\\software\\test\\child", "VALUE"), (RegValue{kRegSz, Z("x")}));
  EXPECT_FALSE(store.CreateKey("HKEY_CURRENT_USER\\\\Empty"));
  EXPECT_FALSE(store.CreateKey("-HKEY_CURRENT_USER\\Deleted"));
  EXPECT_FALSE(store.SetValue(*key, "Two\nLines", kRegDword, Bytes{0, 0, 0, 0}));
  EXPECT_FALSE(store.SetValue(*key, "Expand", kRegExpandSz, Bytes{0xc3, 0x28, 0}));
}

class SettingsStoreUnparsable : public testing::TestWithParam<std::pair<const char*, std::string>> {};

TEST_P(SettingsStoreUnparsable, ReadsAsEmptyAndSaveKeepsBadCopy) {
  TempFolder dir;
  WriteFile(dir / "r.reg", GetParam().second);
  RegistryStore store = RegistryStore::Open(dir / "r.reg");
  EXPECT_EQ(store.State(), StoreState::Unparsable);
  EXPECT_FALSE(store.OpenKey(kKey));

  std::optional<RegKey> key = store.CreateKey(kKey);
  ASSERT_TRUE(key && store.SetValue(*key, "V", kRegDword, Bytes{2, 0, 0, 0}));
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(ReadFile(dir / "r.reg.bad"), GetParam().second);
  EXPECT_EQ(Query(RegistryStore::Open(dir / "r.reg"), kKey, "V"), (RegValue{kRegDword, {2, 0, 0, 0}}));
}

INSTANTIATE_TEST_SUITE_P(
    SettingsFiles, SettingsStoreUnparsable,
    testing::Values(std::pair{"Empty", std::string()},
                    std::pair{"Garbage", std::string("not a registry file\n[x]\n\"a\"=dword:1\n")},
                    std::pair{"Binary", std::string("\x00\xff\x13\x37\x00garbage\n", 13)},
                    std::pair{"NoHeader",
                              std::string("\n[HKEY_CURRENT_USER\\Software\\Test]\n\"V\"=dword:00000001\n")},
                    std::pair{"Utf16", std::string("\xff\xfeW\0i\0n\0", 8)}),
    [](const auto& info) { return std::string(info.param.first); });

TEST(SettingsStore, FailedWriteLeavesOldFileAndNoTemporary) {
  TempFolder dir;
  const std::string old = "Windows Registry Editor Version 5.00\n\n[A]\n\"x\"=dword:00000001\n\n";
  WriteFile(dir / "r.reg", old);
  RegistryStore store = RegistryStore::Open(dir / "r.reg");
  std::optional<RegKey> key = store.CreateKey(kKey);
  ASSERT_TRUE(key && store.SetValue(*key, "Big", kRegBinary, Bytes(4096, 1)));

  // Writes past this size fail with EFBIG, even for root.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 512;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool saveResult = store.Save();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(saveResult);
  EXPECT_EQ(ReadFile(dir / "r.reg"), old);
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(SettingsStore, UnreadableTargetBlocksSaveAndIsKept) {
  TempFolder dir;
  WriteFile(dir / "r.reg/inside", "keep");
  RegistryStore store = RegistryStore::Open(dir / "r.reg");
  EXPECT_EQ(store.State(), StoreState::Unreadable);
  ASSERT_TRUE(store.CreateKey(kKey));
  EXPECT_FALSE(store.Save());
  EXPECT_EQ(ReadFile(dir / "r.reg/inside"), "keep");
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

}  // namespace
}  // namespace korvi
