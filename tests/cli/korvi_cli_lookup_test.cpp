// korvi-cli lookup and rip --lookup against a local CDDB server and a real library folder.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <set>

#include "fixtures/cddb_server.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/image_toc.h"
#include "fixtures/temp_dir.h"
#include "fixtures/time_scale.h"
#include "library/disc_info.h"

namespace korvi {
namespace {

using fixtures::RunCommand;
using fixtures::ShellQuote;

class KorviCliLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 300, 0, {}}, {false, 200, 150, {}}, {false, 260, 30, {}}};
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", layout, &m_image, nullptr));
    const auto read = fixtures::ReadImageToc(m_image.cue);
    ASSERT_TRUE(read);
    m_discId = read->cddbId;
    std::snprintf(m_id, sizeof m_id, "%08x", m_discId);
    std::filesystem::create_directories(m_dir / "archive" / "folk");
    std::ofstream(m_dir / "archive" / "folk" / m_id)
        << "# xmcd\n#\n# Track frame offsets:\n#\t150\n#\n# Disc length: 12 seconds\n#\n# Revision: 0\n"
        << "# Submitted via: hand 1.0\n#\nDISCID=" << m_id << "\nDTITLE=Ana / Songs of the Sea\nDYEAR=1999\n"
        << "TTITLE0=Tide\nTTITLE1=Gulls / Wind\nTTITLE2=..\nEXTD=\nEXTT0=\nEXTT1=\nEXTT2=\nPLAYORDER=\n";
    m_server = std::make_unique<fixtures::CddbTestServer>(m_dir / "archive");
    ASSERT_TRUE(m_server->Start());
    m_env = "HOME=" + ShellQuote(m_dir.path().string()) +
            " XDG_CONFIG_HOME=" + ShellQuote((m_dir / "config").string()) +
            " XDG_DATA_HOME=" + ShellQuote((m_dir / "data").string()) +
            " KORVI_CDDB_SERVER=" + m_server->HostPort() + " ";
    // The CDDB server alone: the other sources have tests of their own.
    WriteSettings((m_dir / "data" / "korvi-cd-ripper" / "DiscInfo").string());
  }
  // The library folder, and more values; the folders are written since the values after them
  // are not read without them.
  void WriteSettings(const std::string& library, const std::string& more = {}) {
    std::filesystem::create_directories(m_dir / "config" / "korvi-cd-ripper");
    std::ofstream(m_dir / "config" / "korvi-cd-ripper" / "registry.reg")
        << "Windows Registry Editor Version 5.00\n\n"
        << "[HKEY_CURRENT_USER\\Software\\Tessaline Technology\\Korvi CD Ripper\\Options]\n"
        << "\"DefaultFolder\"=\"" << (m_dir / "out").string() << "\"\n"
        << "\"DefaultLibFolder\"=\"" << library << "\"\n"
        << more << "\"LookupOrder\"=\"CDDB\"\n";
  }
  fixtures::CommandResult Cli(const std::string& args) {
    return RunCommand(m_env + ShellQuote(KORVI_CLI_PATH) + " " + args);
  }
  std::string Library() const { return (m_dir / "lib").string(); }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  uint32_t m_discId = 0;
  char m_id[16] = {};
  std::unique_ptr<fixtures::CddbTestServer> m_server;
  std::string m_env;
};

TEST_F(KorviCliLookup, FromTheServerThenFromTheLibrary) {
  std::filesystem::create_directory(Library());
  const std::string cue = ShellQuote(m_image.cue.string());
  const auto first = Cli("lookup " + cue + " --library " + ShellQuote(Library()));
  ASSERT_EQ(first.status, 0);
  EXPECT_EQ(first.out, "Songs of the Sea\nAna\nTide\nGulls / Wind\n..\n");
  ASSERT_TRUE(std::filesystem::exists(LibraryFileName(Library(), m_discId)));
  const size_t requests = m_server->Requests().size();
  EXPECT_EQ(requests, 2u);  // query and read

  // The library now answers, with no connection at all.
  CDiscInfo edited;
  ASSERT_GT(edited.LoadDiscInfo(Library(), m_discId), 0);
  // The entry's category stands for its genre, kept beside the library file with the source.
  EXPECT_EQ(edited.extras.source, "CDDB");
  EXPECT_EQ(edited.extras.genre, "folk");
  edited.tracks[0].setTitle("Tide (edited)");
  ASSERT_GT(edited.SaveDiscInfo(Library()), 0);
  const auto second = Cli("lookup " + cue + " --library " + ShellQuote(Library()));
  ASSERT_EQ(second.status, 0);
  EXPECT_EQ(second.out, "Songs of the Sea\nAna\nTide (edited)\nGulls / Wind\n..\n");
  EXPECT_EQ(m_server->Requests().size(), requests);
}

TEST_F(KorviCliLookup, NoSaveAndFailures) {
  std::filesystem::create_directory(Library());
  const std::string cue = ShellQuote(m_image.cue.string());
  ASSERT_EQ(Cli("lookup " + cue + " --library " + ShellQuote(Library()) + " --no-save").status, 0);
  EXPECT_TRUE(std::filesystem::is_empty(Library()));

  m_env += "KORVI_CDDB_SERVER=127.0.0.1:1 ";
  const auto unreachable = Cli("lookup " + cue + " --library " + ShellQuote(Library()) + " 2>&1");
  EXPECT_EQ(unreachable.status, 1);
  EXPECT_EQ(unreachable.out.rfind("Failed to Get disc-info!\n", 0), 0u) << unreachable.out;
  EXPECT_EQ(Cli("lookup 2>/dev/null").status, 2);
  EXPECT_EQ(Cli("lookup " + cue + " --frob 2>/dev/null").status, 2);
  EXPECT_EQ(Cli("lookup " + ShellQuote((m_dir / "none.cue").string()) + " 2>/dev/null").status, 1);
}

TEST_F(KorviCliLookup, EachFailureNamesItsCause) {
  const std::string cue = ShellQuote(m_image.cue.string());
  const std::string lookup = "lookup " + cue + " --library " + ShellQuote(Library()) + " --no-save 2>&1";
  using Mode = fixtures::CddbTestServer::Mode;
  const auto failure = [&](const std::string& env, Mode mode, const std::string& raw) {
    fixtures::CddbTestServer::Behaviour behaviour;
    behaviour.mode = mode;
    behaviour.raw = raw;
    m_server->SetBehaviour(behaviour);
    const auto result = RunCommand(m_env + env + " " + ShellQuote(KORVI_CLI_PATH) + " " + lookup);
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_EQ(result.out.rfind("Failed to Get disc-info!\nkorvi-cli: ", 0), 0u) << result.out;
    return result.out.substr(result.out.find("korvi-cli: ") + 11);
  };
  const std::string server = m_server->HostPort();
  EXPECT_EQ(failure("", Mode::kRaw, "HTTP/1.0 200 OK\r\n\r\n202 No match for disc ID 12345678.\r\n"),
            "no match for this disc on the CDDB server " + server + " (202)\n");
  EXPECT_EQ(failure("", Mode::kRaw, "HTTP/1.0 200 OK\r\n\r\n500 Internal server error\r\n"),
            "the CDDB server " + server + " answered: 500 Internal server error\n");
  EXPECT_EQ(
      failure("", Mode::kRaw,
              "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n<html><body>Gone</body></html>\n"),
      "the reply of " + server + " is not CDDB: <html><body>Gone</body></html>\n");
  EXPECT_EQ(failure("", Mode::kStall, ""), "the CDDB server " + server + " did not answer in time\n");
  EXPECT_EQ(failure("KORVI_CDDB_SERVER=127.0.0.1:1", Mode::kNormal, ""),
            "the CDDB server 127.0.0.1:1 refused the connection\n");
  EXPECT_EQ(failure("KORVI_CDDB_SERVER=no-such-host.invalid", Mode::kNormal, ""),
            "the CDDB server name no-such-host.invalid cannot be resolved\n");
}

// The public server refuses a hello it does not know: the user reads its own words, and the
// address from the settings file lets lookup and rip --lookup through.
TEST_F(KorviCliLookup, TheHelloCarriesTheAddressFromTheSettings) {
  const std::string address = "jane.doe+cds@mail.example.org";
  fixtures::CddbTestServer::Behaviour refuse;
  refuse.requiredEmail = address;
  m_server->SetBehaviour(refuse);
  const std::string lookup = "lookup " + ShellQuote(m_image.cue.string()) + " --no-save";
  const auto refused = Cli(lookup + " 2>&1 >/dev/null");
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "Failed to Get disc-info!\nkorvi-cli: the CDDB server " + m_server->HostPort() +
                             " answered: 500 Unknown developer email\n");
  ASSERT_EQ(m_server->Requests().size(), 1u);

  std::filesystem::create_directory(Library());
  WriteSettings(Library(), "\"CDDBEmail\"=\"" + address + "\"\n");
  const auto found = Cli(lookup);
  ASSERT_EQ(found.status, 0) << found.out;
  EXPECT_EQ(found.out, "Songs of the Sea\nAna\nTide\nGulls / Wind\n..\n");
  std::vector<std::string> requests = m_server->Requests();
  ASSERT_EQ(requests.size(), 3u);  // the refused query, then query and read
  EXPECT_NE(requests[2].find("&hello=jane.doe%2Bcds+mail.example.org+MfcCDDB+1.27&proto=5 HTTP/1.0"),
            std::string::npos)
      << requests[2];

  const auto out = m_dir / "out";
  std::filesystem::create_directory(out);
  const auto rip = Cli("rip " + ShellQuote(m_image.cue.string()) +
                       " --format wav --lookup --tracks 1 --no-verify --no-log --no-cue --out " +
                       ShellQuote(out.string()));
  ASSERT_EQ(rip.status, 0) << rip.out;
  EXPECT_EQ(rip.out, (out / "Tide.wav").string() + "\n");
  requests = m_server->Requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(fixtures::CddbTestServer::HelloAddress(requests[4]), address);
}

TEST_F(KorviCliLookup, RipTakesTheLibraryFolderToo) {
  std::filesystem::create_directory(Library());
  CDiscInfo mine;
  mine.discId = m_discId;
  for (const char* title : {"One", "Two", "Three"}) mine.tracks.emplace_back(0, 0, title);
  ASSERT_GT(mine.SaveDiscInfo(Library()), 0);
  const auto out = m_dir / "out";
  std::filesystem::create_directory(out);
  // No server at all: the titles can only come from the library named here.
  m_env += "KORVI_CDDB_SERVER=127.0.0.1:1 ";
  const auto result = Cli("rip " + ShellQuote(m_image.cue.string()) + " --format wav --lookup --library " +
                          ShellQuote(Library()) + " --tracks 2 --no-verify --no-log --no-cue --out " +
                          ShellQuote(out.string()));
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(result.out, (out / "Two.wav").string() + "\n");
}

TEST_F(KorviCliLookup, RipNamesTheFilesAfterTheTitlesSafely) {
  const auto out = m_dir / "out";
  std::filesystem::create_directory(out);
  const auto result = Cli("rip " + ShellQuote(m_image.cue.string()) +
                          " --format wav --lookup --no-verify --out " + ShellQuote(out.string()));
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_TRUE(std::filesystem::exists(out / "Tide.wav"));
  EXPECT_TRUE(std::filesystem::exists(out / "Gulls _ Wind.wav"));
  EXPECT_TRUE(std::filesystem::exists(out / "Track 3.wav"));  // ".." leaves no name
  // The log and the cue sheet are named after the album.
  EXPECT_TRUE(std::filesystem::exists(out / "Ana - Songs of the Sea.log"));
  EXPECT_TRUE(std::filesystem::exists(out / "Ana - Songs of the Sea.cue"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 5);
}

// A pipe at a library name is unusable, never waited on: the lookup goes on as without the file,
// and the answer's file replaces it. A save that cannot be made says which part failed.
TEST_F(KorviCliLookup, PipesAtLibraryNamesAndAFullDisk) {
  std::filesystem::create_directory(Library());
  const std::string file = LibraryFileName(Library(), m_discId);
  const std::string sidecar = ExtrasFileName(Library(), m_discId);
  const std::string bound = "timeout -s KILL " + std::to_string(fixtures::ScaledMs(60000) / 1000) + " ";
  const auto lookup = [&](const std::string& limit = "") {
    return RunCommand(limit + m_env + bound + ShellQuote(KORVI_CLI_PATH) + " lookup " +
                      ShellQuote(m_image.cue.string()) + " --library " + ShellQuote(Library()) + " 2>&1");
  };
  const std::string titles = "Songs of the Sea\nAna\nTide\nGulls / Wind\n..\n";
  const auto kept = [&] {
    CDiscInfo record;
    EXPECT_GT(record.LoadDiscInfo(Library(), m_discId), 0);
    return record.albumTitle + "/" + record.extras.genre;
  };

  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  auto result = lookup();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "korvi-cli: titles from CDDB\n" + titles);
  EXPECT_TRUE(std::filesystem::is_regular_file(file));
  EXPECT_EQ(kept(), "Songs of the Sea/folk");

  // Beside the record: the titles load, the extras do not.
  std::filesystem::remove(sidecar);
  ASSERT_EQ(::mkfifo(sidecar.c_str(), 0600), 0);
  result = lookup();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, titles);
  EXPECT_EQ(kept(), "Songs of the Sea/");

  // A disk with room for the sidecar but not the library file: nothing is saved, nothing is left.
  std::filesystem::remove(file);
  std::filesystem::remove(sidecar);
  result = lookup("ulimit -f 3; ");  // 1536 or 3072 bytes, by the shell's unit; the file has 3644
  EXPECT_EQ(result.status, 0);
  char name[16];
  std::snprintf(name, sizeof name, "%X", m_discId);
  EXPECT_EQ(result.out, "korvi-cli: titles from CDDB\nkorvi-cli: the disc-info could not be saved in " +
                            Library() + ": nothing was saved: " + name +
                            ".dci: cannot write the file: File too large\n" + titles);
  std::set<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(Library()))
    left.insert(entry.path().filename());
  EXPECT_EQ(left, std::set<std::string>({"." + std::string(name) + ".lock"}));
}

}  // namespace
}  // namespace korvi
