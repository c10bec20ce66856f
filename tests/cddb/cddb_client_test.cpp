// The CDDB client's reply parsers, its hello words and where it finds its server: the parts that
// need no network.

#include "cddb/cddb_client.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <utility>

#include "cddb_test_util.h"

namespace korvi {
namespace {

// A client that says who it is without asking the system.
class FixedHelloClient : public CCDDB {
 public:
  std::string GetHelloUser() override { return HelloWord("Jane Q. Public"); }
  std::string GetHelloHost() override { return HelloWord("studio-pc.local"); }
};

TEST(CddbQueryReply, ExactMatchOnTheStatusLine) {
  CCDDB client;
  std::vector<CCDDBQueryResult> results;
  ASSERT_TRUE(client.ParseQueryReply("200 rock 0b016602 Some Artist / Some Title\r\n", results));
  EXPECT_EQ(results, (std::vector<CCDDBQueryResult>{{"rock", 0x0b016602, "Some Artist", "Some Title"}}));
  EXPECT_EQ(client.LastReplyText(), "");
  // Without "/" the whole title text is the title, blanks and all.
  ASSERT_TRUE(client.ParseQueryReply("200 misc 12345678  Untitled Mix  \n", results));
  EXPECT_EQ(results, (std::vector<CCDDBQueryResult>{{"misc", 0x12345678, "", "Untitled Mix  "}}));
}

TEST(CddbQueryReply, ListsKeepTheirOrderAndSkipLinesThatAreNoMatch) {
  CCDDB client;
  std::vector<CCDDBQueryResult> results = {{"stale", 1, "", ""}};
  ASSERT_TRUE(client.ParseQueryReply(
      "211 Found inexact matches, list follows (until terminating `.')\r\n"
      "reggae d50dd30f Various / Ska Island\r\nnoblanks\r\nmisc d50dd30f Various/Ska Island (disc 2)\r\n"
      "data 123456789 Too / Long\r\nrock\t0000000a x\r\nfolk    a60d5288    Xavier Rudd   /   Storm Boy",
      results));
  EXPECT_EQ(results, (std::vector<CCDDBQueryResult>{{"reggae", 0xd50dd30f, "Various", "Ska Island"},
                                                    {"misc", 0xd50dd30f, "Various", "Ska Island (disc 2)"},
                                                    {"folk", 0xa60d5288, "Xavier Rudd", "Storm Boy"}}));
}

TEST(CddbQueryReply, Latin1TitlesBecomeUtf8) {
  CCDDB client;
  std::vector<CCDDBQueryResult> results;
  ASSERT_TRUE(
      client.ParseQueryReply("200 jazz 2b057805 Tr\xedo \xd8resund / Noches en Malm\xf6\r\n", results));
  EXPECT_EQ(results[0].artist, "Trío Øresund");
  EXPECT_EQ(results[0].title, "Noches en Malmö");
}

TEST(CddbQueryReply, FailuresAndTheirCauses) {
  FixedHelloClient client;
  std::vector<CCDDBQueryResult> results;
  // An unknown status, or a 200 line too short to hold a match, is a protocol failure.
  EXPECT_FALSE(client.ParseQueryReply("500 Command syntax error\r\n", results));
  EXPECT_EQ(client.LastError(), kCddbErrProtocol);
  EXPECT_EQ(client.LastReplyText(), "500 Command syntax error\r\n");
  EXPECT_FALSE(client.ParseQueryReply("<html>", results));
  EXPECT_EQ(client.LastError(), kCddbErrProtocol);
  EXPECT_FALSE(client.ParseQueryReply("200 x", results));
  EXPECT_EQ(client.LastError(), kCddbErrProtocol);

  // "No match" and lists without a usable line leave the cause as it was.
  CCDDB fresh;
  EXPECT_FALSE(fresh.ParseQueryReply("202 No match for disc ID 000c4804.\r\n", results));
  EXPECT_EQ(fresh.LastError(), 0);
  EXPECT_EQ(fresh.LastReplyText(), "202 No match for disc ID 000c4804.\r\n");
  EXPECT_FALSE(fresh.ParseQueryReply("210 Found exact matches\r\nnoblanks\r\nrock onlyid\r\n", results));
  EXPECT_FALSE(fresh.ParseQueryReply("211 list without lines", results));
  EXPECT_FALSE(fresh.ParseQueryReply("200 rock 0b016602", results));
  EXPECT_EQ(fresh.LastError(), 0);
  EXPECT_TRUE(results.empty());
}

TEST(CddbReadReply, AnEntryAfterTheStatusLine) {
  CCDDB client;
  CCDDBRecord record;
  const std::string entry = cddb_test::Crlf(cddb_test::Entry("rock/0b016602"));
  ASSERT_TRUE(client.ParseReadReply("210 rock 0b016602 CD database entry follows\r\n" + entry, record));
  EXPECT_EQ(record.discTitle, "Some Title");
  EXPECT_EQ(client.LastReplyText(), "");
}

TEST(CddbReadReply, NoSuchEntryIsAnAnswerThatLeavesTheRecord) {
  CCDDB client;
  CCDDBRecord record;
  record.discTitle = "as the caller left it";
  const CCDDBRecord before = record;
  EXPECT_TRUE(client.ParseReadReply("401 rock 0b016602 No such CD entry in database.\r\n", record));
  EXPECT_EQ(record, before);
  EXPECT_EQ(client.LastReplyText(), "");
  EXPECT_FALSE(client.ParseReadReply("401 rock 0b016602 No such CD", record));  // cut off
}

TEST(CddbReadReply, AnythingElseButAnEntryIsAFailure) {
  CCDDB client;
  CCDDBRecord record;
  record.discTitle = "as the caller left it";
  const CCDDBRecord before = record;
  for (const char* body : {"402 Server error.\r\n", "500 Unrecognized command.\r\n", "", "garbage",
                           "210 rock 0b016602 CD database entry follows"}) {
    EXPECT_FALSE(client.ParseReadReply(body, record)) << body;
    EXPECT_EQ(client.LastError(), kCddbErrProtocol);
    EXPECT_EQ(client.LastMciError(), 0u);
    EXPECT_EQ(client.LastReplyText(), body);
    EXPECT_EQ(record, before);
  }
  EXPECT_FALSE(
      client.ParseReadReply("210 data 16038203 follows\n" + cddb_test::Entry("data/16038203"), record));
  EXPECT_EQ(client.LastError(), kCddbErrProtocol);
  EXPECT_EQ(client.LastFailureText(), "no \"Submitted via:\" comment");
}

TEST(CddbHello, WordsHoldOnlyLettersAndDigits) {
  EXPECT_EQ(HelloWord("Jane Q. Public"), "Jane_Q__Public");
  EXPECT_EQ(HelloWord("a+b&c=d/e"), "a_b_c_d_e");
  EXPECT_EQ(HelloWord("J\xc3\xb6rg"), "J__rg");
  EXPECT_EQ(HelloWord(nullptr), "Unknown");
  EXPECT_EQ(HelloWord(""), "Unknown");
  FixedHelloClient client;
  EXPECT_EQ(client.GetHelloCommand(), "hello=Jane_Q__Public+studio_pc_local+MfcCDDB+1.27&proto=5");
  CCDDB system;
  for (const std::string& word : {system.GetHelloUser(), system.GetHelloHost()}) {
    EXPECT_FALSE(word.empty());
    EXPECT_EQ(word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_"),
              std::string::npos)
        << word;
  }
}

// The public server wants the user's own address as the hello's user and host words.
TEST(CddbHello, AnEmailAddressGivesTheUserAndHostWords) {
  using Words = std::pair<std::string, std::string>;
  CCDDB client;
  client.SetHelloEmail("user@example.org");
  EXPECT_EQ(client.GetHelloCommand(), "hello=user+example.org+MfcCDDB+1.27&proto=5");
  // Blanks around it go; "+" is the hello's word separator, so it travels percent-encoded, and the
  // address splits at its last "@".
  EXPECT_EQ(HelloEmailWords(" jane.doe+cds@mail.example-isp.org\t"),
            Words("jane.doe%2Bcds", "mail.example-isp.org"));
  EXPECT_EQ(HelloEmailWords("a@b@c.org"), Words("a_b", "c.org"));
  EXPECT_EQ(HelloEmailWords("nobody"), Words("nobody", "Unknown"));
  EXPECT_EQ(HelloEmailWords("@"), Words("Unknown", "Unknown"));
  // A hostile address cannot add parameters or words, nor split the request line.
  const std::string hostileAddress =
      "x&cmd=cddb+write y\r\nHost: evil\x01@ex ample.org%0A&proto=1 HTTP/1.1\r\n\xc3\xa9";
  const std::optional<Words> hostile = HelloEmailWords(hostileAddress);
  ASSERT_TRUE(hostile);
  EXPECT_EQ(*hostile,
            Words("x%26cmd%3Dcddb%2Bwrite_y__Host__evil_", "ex_ample.org%250A%26proto%3D1_HTTP%2F1.1____"));
  for (const std::string& word : {hostile->first, hostile->second})
    EXPECT_EQ(word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._~%-"),
              std::string::npos)
        << word;
  client.SetHelloEmail(hostileAddress);
  EXPECT_EQ(client.GetHelloCommand(),
            "hello=" + hostile->first + "+" + hostile->second + "+MfcCDDB+1.27&proto=5");
  // No address, or only blanks: the hello of a client that was given none, byte for byte.
  CCDDB plain;
  for (const char* none : {"", "  \t "}) {
    client.SetHelloEmail(none);
    EXPECT_EQ(HelloEmailWords(none), std::nullopt);
    EXPECT_EQ(client.GetHelloCommand(), plain.GetHelloCommand());
  }
}

TEST(CddbServerConfig, HostAndPort) {
  const CCDDBServer standard;
  EXPECT_EQ(standard.host, "gnudb.gnudb.org");
  EXPECT_EQ(standard.port, 80);
  EXPECT_EQ(standard.path, "/~cddb/cddb.cgi");
  ASSERT_TRUE(ParseCddbServer("cddb.example.org").has_value());
  EXPECT_EQ(ParseCddbServer("cddb.example.org")->port, 80);
  const auto local = ParseCddbServer("127.0.0.1:8880");
  ASSERT_TRUE(local.has_value());
  EXPECT_EQ(local->host, "127.0.0.1");
  EXPECT_EQ(local->port, 8880);
  EXPECT_EQ(local->path, "/~cddb/cddb.cgi");
  for (const char* bad : {"", ":80", "host:", "host:0", "host:65536", "host:8o", "a:b:80", "host:123456"})
    EXPECT_FALSE(ParseCddbServer(bad).has_value()) << bad;
}

TEST(CddbServerConfig, EnvironmentOverride) {
  unsetenv(kCddbServerVariable);
  EXPECT_EQ(CddbServerFromEnvironment().host, kDefaultCddbHost);
  setenv(kCddbServerVariable, "localhost:9", 1);
  EXPECT_EQ(CddbServerFromEnvironment().host, "localhost");
  EXPECT_EQ(CddbServerFromEnvironment().port, 9);
  // A typing error must not send the lookup to the public service: no request goes anywhere.
  setenv(kCddbServerVariable, "localhost:http", 1);
  const CCDDBServer refused = CddbServerFromEnvironment();
  unsetenv(kCddbServerVariable);
  EXPECT_EQ(refused.host, "");
  CCDDB client;
  std::vector<CCDDBQueryResult> results;
  EXPECT_FALSE(client.Query(refused, 0x0b016602, {{0, 2, 0}, {3, 0, 0}, {6, 0, 0}}, results));
  EXPECT_EQ(client.LastError(), kCddbErrInvalid);
}

}  // namespace
}  // namespace korvi
