// What reaches korvi-cli from outside, end to end: servers whose status lines and replies carry
// terminal control bytes, and pipes put where files should be, which nobody ever writes to.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>

#include "fixtures/accuraterip_db.h"
#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/http_server.h"
#include "fixtures/image_toc.h"
#include "fixtures/musicbrainz_replies.h"
#include "fixtures/temp_dir.h"
#include "fixtures/time_scale.h"
#include "text/utf8_text.h"
#include "verify/accuraterip_ids.h"

namespace korvi {
namespace {

using fixtures::HttpTestServer;

class KorviCliUntrustedInput : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 300, 0, {}}, {false, 200, 150, {}}, {false, 260, 30, {}}};
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", layout, &m_image, nullptr));
    const auto read = fixtures::ReadImageToc(m_image.cue);
    ASSERT_TRUE(read);
    m_musicBrainzPath = fixtures::MusicBrainzDiscPath(read->toc);
    m_accurateRipPath = AccurateRipPath(fixtures::IdsOfImage(m_image.cue));
    ASSERT_TRUE(m_server.Start());
    std::filesystem::create_directories(m_dir / "config" / "korvi-cd-ripper");
    std::ofstream(m_dir / "config" / "korvi-cd-ripper" / "registry.reg")
        << "Windows Registry Editor Version 5.00\n\n"
        << "[HKEY_CURRENT_USER\\Software\\Tessaline Technology\\Korvi CD Ripper\\Options]\n"
        << "\"DefaultFolder\"=\"" << (m_dir / "out").string() << "\"\n"
        << "\"DefaultLibFolder\"=\"" << (m_dir / "lib").string() << "\"\n"
        << "\"LookupOrder\"=\"MusicBrainz\"\n";
  }

  fixtures::ChildResult Cli(std::vector<std::string> args) {
    fixtures::ChildOptions options;
    options.args = {KORVI_CLI_PATH};
    options.args.insert(options.args.end(), args.begin(), args.end());
    const std::string home = m_dir.path().string();
    options.env = {"HOME=" + home,
                   "XDG_CONFIG_HOME=" + home + "/config",
                   "XDG_DATA_HOME=" + home + "/data",
                   "no_proxy=127.0.0.1",
                   "KORVI_CDDB_SERVER=127.0.0.1:1",
                   "KORVI_MUSICBRAINZ_SERVER=http://" + m_server.HostPort(),
                   "KORVI_ACCURATERIP_SERVER=" + m_server.HostPort()};
    // Each command here takes a second or two; one that waits on a pipe would take for ever.
    return fixtures::RunChild(options, std::chrono::milliseconds(fixtures::ScaledMs(30000)));
  }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  std::string m_musicBrainzPath;
  std::string m_accurateRipPath;
  HttpTestServer m_server;
};

// The text after `after` up to the end of its line; empty when stderr has no such line.
std::string QuotedAfter(const std::string& err, const std::string& after) {
  const size_t start = err.find(after);
  if (start == std::string::npos) return {};
  const size_t from = start + after.size();
  return err.substr(from, err.find('\n', from) - from);
}

void ExpectPlainText(const std::string& err) {
  for (const char control : {'\x1b', '\r', '\x7f'})
    EXPECT_EQ(err.find(control), std::string::npos) << "control byte " << int(control) << " in:\n" << err;
  EXPECT_TRUE(IsValidUtf8(err)) << err;
}

// A reason phrase that tries to colour the terminal and to overwrite its own line, then goes on
// far past what a message quotes, in two-byte letters so that the cut can fall within one; and a
// reply whose JSON breaks off at the 8-bit control sequence introducer and a DEL.
TEST_F(KorviCliUntrustedInput, ServersWordsReachTheTerminalAsPlainTextOfBoundedLength) {
  std::string reason = "\x1b[31mBusy\r now,soon";
  for (int i = 0; i < 90; ++i) reason += " \xc3\xa9\x1b[2K";
  HttpTestServer::Response busy{HttpTestServer::Mode::kReply, 503, "{}"};
  busy.reason = reason;
  m_server.SetResponse(m_musicBrainzPath, busy);
  const auto cue = m_image.cue.string();
  const fixtures::ChildResult lookup = Cli({"lookup", cue, "--no-save"});
  ASSERT_TRUE(lookup.exited) << lookup.err;
  EXPECT_EQ(lookup.status, 1) << lookup.err;
  const std::string status = QuotedAfter(lookup.err, "MusicBrainz answered ");
  EXPECT_EQ(status.rfind("503  [31mBusy  now,soon \xc3\xa9 [2K \xc3\xa9 [2K", 0), 0u) << lookup.err;
  EXPECT_LE(status.size(), kMaxServerTextBytes) << status;
  EXPECT_GT(status.size(), kMaxServerTextBytes - 4) << status;
  ExpectPlainText(lookup.err);

  HttpTestServer::Response broken{HttpTestServer::Mode::kReply, 200,
                                  "{\"releases\": \x9b"
                                  "2J\x7f"};
  m_server.SetResponse(m_musicBrainzPath, broken);
  m_server.SetResponse(m_accurateRipPath, busy);
  const auto out = m_dir / "out";
  std::filesystem::create_directory(out);
  const fixtures::ChildResult rip = Cli({"rip", cue, "--format", "wav", "--out", out.string(), "--tracks",
                                         "1", "--lookup", "--no-log", "--no-cue"});
  ASSERT_TRUE(rip.exited) << rip.err;
  EXPECT_EQ(rip.status, 0) << rip.err;
  EXPECT_EQ(rip.out, (out / "Track 1.wav").string() + "\nAccurateRip track 1: Database not reachable\n");
  const std::string json = QuotedAfter(rip.err, "the reply is not MusicBrainz JSON: ");
  EXPECT_NE(json.find("\xef\xbf\xbd"), std::string::npos) << rip.err;  // U+FFFD for the lone 0x9B
  const std::string accurateRip = QuotedAfter(rip.err, "AccurateRip: " + m_server.HostPort() + " answered ");
  EXPECT_EQ(accurateRip.rfind("503  [31mBusy  now", 0), 0u) << rip.err;
  EXPECT_LE(accurateRip.size(), kMaxServerTextBytes) << accurateRip;
  ExpectPlainText(rip.err);
}

// A pipe that nobody opens for writing, where korvi-cli reads a file: each command refuses it at
// once and names it, instead of waiting for a writer for good.
TEST_F(KorviCliUntrustedInput, APipeWhereAFileShouldBeIsRefusedAtOnce) {
  const auto pipe = [this](const std::string& name) {
    const std::filesystem::path path = m_dir / name;
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
    return path.string();
  };
  const auto expectRefused = [](const fixtures::ChildResult& result, const std::string& what,
                                const std::string& message) {
    ASSERT_TRUE(result.exited) << what << ": still waiting when it was killed\n" << result.err;
    EXPECT_NE(result.status, 0) << what;
    EXPECT_NE(result.err.find(message), std::string::npos) << what << ":\n" << result.err;
  };

  // verify: a pipe among the rip's files; the other tracks are checked all the same.
  const auto out = m_dir / "out";
  std::filesystem::create_directory(out);
  const std::string track2 = pipe("out/Track 2.wav");
  const fixtures::ChildResult verify = Cli({"verify", m_image.cue.string(), out.string()});
  expectRefused(verify, "verify", "korvi-cli: track 2: " + track2 + " is not a regular file\n");
  EXPECT_NE(verify.err.find("korvi-cli: track 1: no file"), std::string::npos) << verify.err;

  // An image's data file: in a cdrdao toc, which libcdio reads, and in cue sheets, which we read.
  const std::string bin = pipe("pipe.bin");
  std::ofstream(m_dir / "disc.toc") << "CD_DA\nTRACK AUDIO\nFILE \"" << bin << "\" 0 00:08:00\n";
  expectRefused(Cli({"toc", (m_dir / "disc.toc").string()}), "toc's FILE", bin + " is not a regular file\n");
  const std::string flac = pipe("pipe.flac");
  for (const auto& [sheet, data] :
       {std::pair{"bin.cue", bin + "\" BINARY"}, {"flac.cue", flac + "\" FLAC"}}) {
    std::ofstream(m_dir / sheet) << "FILE \"" << data << "\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    const std::string named = data.substr(0, data.find('"'));
    expectRefused(Cli({"rip", (m_dir / sheet).string(), "--format", "wav", "--out", out.string()}), sheet,
                  named + " is not a regular file\n");
  }

  // The cue sheet itself, a toc file, and a CDDB entry.
  for (const std::string name : {"pipe.cue", "pipe.toc"})
    expectRefused(Cli({"toc", pipe(name)}), name, (m_dir / name).string() + " is not a regular file\n");
  const std::string entry = pipe("entry.xmcd");
  expectRefused(Cli({"xmcd", entry}), "xmcd", "korvi-cli: " + entry + " is not a regular file\n");
}

}  // namespace
}  // namespace korvi
