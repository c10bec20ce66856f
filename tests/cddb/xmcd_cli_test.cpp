// korvi-cli xmcd as a script sees it; Qt's JSON reader checks that the output is JSON and that
// every value survives the escaping.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cddb_test_util.h"
#include "fixtures/temp_dir.h"

namespace korvi {
namespace {

using fixtures::RunCommand;
using fixtures::ShellQuote;

fixtures::CommandResult Xmcd(const std::string& path, const std::string& redirect = "") {
  return RunCommand(ShellQuote(KORVI_CLI_PATH) + " xmcd " + ShellQuote(path) + redirect);
}

QJsonObject JsonOf(const fixtures::CommandResult& result) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(result.out), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << result.out;
  EXPECT_TRUE(document.isObject());
  return document.object();
}

std::string Text(const QJsonValue& value) { return value.toString().toStdString(); }

TEST(KorviCliXmcd, PrintsTheRecordAsJson) {
  const auto result = Xmcd((cddb_test::ArchivePath() / "classical/3a0fbb16").string());
  ASSERT_EQ(result.status, 0);
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1);  // one object, one line
  const QJsonObject json = JsonOf(result);
  EXPECT_EQ(json.keys().size(), 15);
  EXPECT_EQ(Text(json["discid"]), "3a0fbb16");
  EXPECT_EQ(Text(json["artist"]), "Orquesta de Cámara Valdés & Íñigo Sáenz");
  EXPECT_EQ(json["year"].toInt(), 1987);
  EXPECT_EQ(Text(json["genre"]), "Clásica");
  EXPECT_EQ(json["disc_length"].toInt(), 4029);
  EXPECT_EQ(json["revision"].toInt(), 7);
  EXPECT_EQ(Text(json["client_name"]), "audiograbber");
  EXPECT_EQ(Text(json["client_version"]), "1.83");
  EXPECT_EQ(Text(json["client_remark"]), "SE");
  ASSERT_EQ(json["offsets"].toArray().size(), 22);
  EXPECT_EQ(json["offsets"].toArray()[1].toInt(), 14455);
  ASSERT_EQ(json["track_titles"].toArray().size(), 22);
  EXPECT_EQ(Text(json["track_titles"].toArray()[16]), "Sønderjysk vise (trad. arr. Åse Møller)");
  EXPECT_EQ(Text(json["extd"]),
            "Grabado en directo en el Teatro Real, Madrid.\nProducción: Íñigo Sáenz\tIngeniero: P. Muñoz\n"
            "Ruta del archivo original: C:\\CD\\valdes\\master.wav");
  EXPECT_EQ(Text(json["extt"].toArray()[0]), "Cadenza: Íñigo Sáenz");
  EXPECT_TRUE(json["play_order"].toArray().isEmpty());
}

TEST(KorviCliXmcd, EveryCharacterSurvivesTheEscaping) {
  fixtures::TempDir dir;
  constexpr char kEntry[] =
      "# xmcd\n# Track frame offsets:\n# 150\n# Disc length: 100\n# Submitted via: a b\nDISCID=00000001\n"
      "DTITLE=\"Quoted\" \\\\ back / tab\\there\nTTITLE0=nul\0ctl\x01\x1f del\x7f\nEXTT0=\r\nPLAYORDER=1,2\n";
  cddb_test::WriteBytes(dir / "entry", std::string(kEntry, sizeof kEntry - 1));
  const auto result = Xmcd((dir / "entry").string());
  ASSERT_EQ(result.status, 0);
  const QJsonObject json = JsonOf(result);
  EXPECT_EQ(Text(json["artist"]), "\"Quoted\" \\ back");
  EXPECT_EQ(Text(json["title"]), "tab\there");
  EXPECT_EQ(Text(json["track_titles"].toArray()[0]), std::string("nul\0ctl\x01\x1f del\x7f", 14));
  EXPECT_EQ(json["play_order"].toArray(), (QJsonArray{1, 2}));
}

TEST(KorviCliXmcd, RejectionsAndUsage) {
  fixtures::TempDir dir;
  auto result = Xmcd((cddb_test::ArchivePath() / "data/16038203").string(), " 2>&1");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("not a valid CDDB entry: no \"Submitted via:\" comment"), std::string::npos)
      << result.out;
  result = Xmcd((dir / "missing").string(), " 2>&1");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("cannot open"), std::string::npos);
  result = Xmcd(dir.path().string(), " 2>&1");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("is a folder"), std::string::npos);
  // A file far larger than any entry is refused before it is read.
  cddb_test::WriteBytes(dir / "huge", std::string((1 << 20) + 1, '#'));
  result = Xmcd((dir / "huge").string(), " 2>/dev/null");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(RunCommand(ShellQuote(KORVI_CLI_PATH) + " xmcd 2>/dev/null").status, 2);
  EXPECT_EQ(RunCommand(ShellQuote(KORVI_CLI_PATH) + " xmcd a b 2>/dev/null").status, 2);
}

}  // namespace
}  // namespace korvi
