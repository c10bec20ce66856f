// The database reply parser on replies built byte by byte, and on replies cut short or made up.

#include "verify/accuraterip_reply.h"

#include <gtest/gtest.h>

#include <random>

namespace korvi {
namespace {

const AccurateRipIds kDisc{3, 0x000032fa, 0x000097c3, 0x1300aa03};

struct Track {
  int confidence;
  uint32_t checksum;
};

void PutWord(std::string& out, uint32_t word) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((word >> (8 * i)) & 0xFF));
}

// One pressing as the database writes it; the 450th-sector checksum is made up from the checksum.
std::string Pressing(const AccurateRipIds& ids, const std::vector<Track>& tracks) {
  std::string out(1, static_cast<char>(ids.audioTracks));
  PutWord(out, ids.id1);
  PutWord(out, ids.id2);
  PutWord(out, ids.cddbId);
  for (const Track& track : tracks) {
    out.push_back(static_cast<char>(track.confidence));
    PutWord(out, track.checksum);
    PutWord(out, ~track.checksum);
  }
  return out;
}

// The three tracks' own checksums, v1 and v2.
constexpr uint32_t kV1[3] = {0x11111111, 0x22222222, 0x33333333};
constexpr uint32_t kV2[3] = {0xaaaaaaaa, 0xbbbbbbbb, 0xcccccccc};

// A pressing known by v1 checksums, one known by v2 checksums, whose third tracks differ from ours.
const std::string kReply = Pressing(kDisc, {{4, kV1[0]}, {200, kV1[1]}, {9, 0x12345678}}) +
                           Pressing(kDisc, {{17, kV2[0]}, {3, kV2[1]}, {250, 0x9abcdef0}});

AccurateRipMatch Match(const std::string& reply, int track, const AccurateRipIds& ids = kDisc) {
  std::vector<AccurateRipPressing> pressings;
  std::string reason;
  EXPECT_TRUE(ParseAccurateRipReply(reply, pressings, &reason)) << reason;
  // A track past the disc's end brings track 1's checksums, which the reply has.
  const int own = track <= 3 ? track - 1 : 0;
  return MatchAccurateRip(pressings, ids, track, kV1[own], kV2[own]);
}

std::string Rejection(std::string_view reply) {
  std::vector<AccurateRipPressing> pressings(1);
  std::string reason;
  EXPECT_FALSE(ParseAccurateRipReply(reply, pressings, &reason)) << "accepted " << reply.size() << " bytes";
  EXPECT_TRUE(pressings.empty());
  return reason;
}

TEST(AccurateRipReplyTest, ReadsEveryField) {
  std::vector<AccurateRipPressing> pressings;
  ASSERT_TRUE(ParseAccurateRipReply(kReply, pressings));
  ASSERT_EQ(pressings.size(), 2u);
  EXPECT_EQ(pressings[1].ids, kDisc);
  ASSERT_EQ(pressings[1].tracks.size(), 3u);
  EXPECT_EQ(pressings[1].tracks[2].confidence, 250);
  EXPECT_EQ(pressings[1].tracks[2].checksum, 0x9abcdef0u);
  EXPECT_EQ(pressings[1].tracks[2].frame450Checksum, ~0x9abcdef0u);
}

TEST(AccurateRipReplyTest, EachVersionMatchesInItsPressing) {
  // Track 1: v1 matches with 4, v2 with 17; the higher confidence tells.
  const AccurateRipMatch first = Match(kReply, 1);
  EXPECT_EQ(first.verdict, AccurateRipVerdict::kAccurate);
  EXPECT_EQ(first.version, 2);
  EXPECT_EQ(first.confidence, 17);
  // Track 2: v1 matches with 200, v2 with 3.
  const AccurateRipMatch second = Match(kReply, 2);
  EXPECT_EQ(second.verdict, AccurateRipVerdict::kAccurate);
  EXPECT_EQ(second.version, 1);
  EXPECT_EQ(second.confidence, 200);
}

TEST(AccurateRipReplyTest, ATrackThatDiffersIsNotAccurate) {
  const AccurateRipMatch third = Match(kReply, 3);
  EXPECT_EQ(third.verdict, AccurateRipVerdict::kNotAccurate);
  // What a log shows beside the track's own checksums: the database's most agreed one.
  EXPECT_EQ(third.confidence, 250);
  EXPECT_EQ(third.databaseChecksum, 0x9abcdef0u);
}

TEST(AccurateRipReplyTest, OnlyPressingsOfTheDiscAndTracksWithAChecksumCount) {
  // Another disc's pressing with our checksums, and ours with none for track 2 (confidence 0).
  AccurateRipIds other = kDisc;
  other.id2 += 1;
  const std::string reply =
      Pressing(other, {{5, kV1[0]}, {5, kV1[1]}, {5, kV1[2]}}) + Pressing(kDisc, {{2, 7}, {0, 0}, {1, 9}});
  EXPECT_EQ(Match(reply, 1).verdict, AccurateRipVerdict::kNotAccurate);
  EXPECT_EQ(Match(reply, 2).verdict, AccurateRipVerdict::kNotInDatabase);
  EXPECT_EQ(Match(kReply, 1, other).verdict, AccurateRipVerdict::kNotInDatabase);
  EXPECT_EQ(Match(kReply, 4).verdict, AccurateRipVerdict::kNotInDatabase);
}

TEST(AccurateRipReplyTest, EveryCutShortReplyIsRejected) {
  const size_t firstPressing = 13 + 3 * 9;
  for (size_t size = 0; size < kReply.size(); ++size) {
    if (size == firstPressing) continue;
    SCOPED_TRACE(size);
    Rejection(std::string_view(kReply).substr(0, size));
  }
  std::vector<AccurateRipPressing> pressings;
  EXPECT_TRUE(ParseAccurateRipReply(std::string_view(kReply).substr(0, firstPressing), pressings));
  EXPECT_EQ(pressings.size(), 1u);
}

TEST(AccurateRipReplyTest, ImpossibleTrackCountsAndHugeRepliesAreRejected) {
  AccurateRipIds none = kDisc;
  none.audioTracks = 0;
  EXPECT_NE(Rejection(kReply + Pressing(none, {})).find("pressing 3 names 0 tracks"), std::string::npos);
  AccurateRipIds tooMany = kDisc;
  tooMany.audioTracks = 100;
  Rejection(Pressing(tooMany, std::vector<Track>(100, {1, 1})));
  // A 99-track pressing is the largest; a reply of that many bytes and more is refused unread.
  std::string huge;
  while (huge.size() <= kMaxAccurateRipReplyBytes) huge += kReply;
  Rejection(huge);
}

// Made-up bytes either parse into pressings that account for every byte, or are rejected.
TEST(AccurateRipReplyTest, GarbageNeverReadsPastTheEnd) {
  std::mt19937 random(42);
  for (int round = 0; round < 500; ++round) {
    std::string garbage;
    if (round % 2 == 0) {
      // A real reply with a few bytes changed: a changed track count shifts everything after it.
      garbage = kReply + kReply;
      for (int i = 0; i < 3; ++i) garbage[random() % garbage.size()] = static_cast<char>(random());
    } else {
      garbage.resize(random() % 2000);
      for (char& byte : garbage) byte = static_cast<char>(random());
    }
    std::vector<AccurateRipPressing> pressings;
    if (!ParseAccurateRipReply(garbage, pressings)) {
      EXPECT_TRUE(pressings.empty());
      continue;
    }
    size_t bytes = 0;
    for (const AccurateRipPressing& pressing : pressings) bytes += 13 + 9 * pressing.tracks.size();
    EXPECT_EQ(bytes, garbage.size());
  }
}

}  // namespace
}  // namespace korvi
