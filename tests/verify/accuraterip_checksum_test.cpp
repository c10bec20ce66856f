// The streaming checksums on audio whose sums can be worked out by hand: every sample word is
// multiplied by its 1-based position in the track, v1 adds the low 32 bits of each product, v2 the
// low and the high 32 bits; the disc's first track counts from position 5 × 588 = 2940 (five
// sectors less one sample skipped), the last track stops 5 × 588 = 2940 samples before its end.
// Fed as the rip feeds them and in awkward chunk sizes.

#include "verify/accuraterip_checksum.h"

#include <gtest/gtest.h>

#include "disc/cdrom_toc.h"

namespace korvi {
namespace {

constexpr uint32_t kSectorSamples = 588;
constexpr uint32_t kTrackSectors = 40;
constexpr uint32_t kTrackSamples = kTrackSectors * kSectorSamples;     // 23,520
constexpr uint32_t kFirstCounted = 5 * kSectorSamples;                 // 2,940
constexpr uint32_t kLastCounted = kTrackSamples - 5 * kSectorSamples;  // 20,580

struct Sums {
  uint32_t v1 = 0;
  uint32_t v2 = 0;
  bool operator==(const Sums&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Sums& sums) {
  return out << "v1 " << sums.v1 << " v2 " << sums.v2;
}

// A track of kTrackSamples sample words, each `word` except `at` (1-based), which is `special`.
std::vector<uint8_t> Track(uint32_t word, uint32_t at = 0, uint32_t special = 0) {
  std::vector<uint8_t> bytes(size_t(kTrackSamples) * 4);
  for (uint32_t p = 1; p <= kTrackSamples; ++p) {
    const uint32_t value = p == at ? special : word;
    for (int b = 0; b < 4; ++b) bytes[size_t(p - 1) * 4 + size_t(b)] = uint8_t(value >> (8 * b));
  }
  return bytes;
}

// Feeds the audio in chunks whose sizes cycle through chunkSizes.
Sums Streamed(const std::vector<uint8_t>& audio, bool first, bool last,
              const std::vector<size_t>& chunkSizes) {
  AccurateRipChecksum checksum(first, last);
  size_t at = 0;
  for (size_t i = 0; at < audio.size(); ++i) {
    const size_t size = std::min(chunkSizes[i % chunkSizes.size()], audio.size() - at);
    checksum.Feed(audio.data() + at, size);
    at += size;
  }
  return {checksum.V1(), checksum.V2()};
}

const std::vector<size_t> kRipChunks = {26 * kRawSectorBytes};
// Chunks that split samples and sectors, and one longer than the held-back end of a last track.
const std::vector<size_t> kOddChunks = {1, 3, 4097, 5 * kRawSectorBytes + 2, 7, 0, 13 * kRawSectorBytes + 1};

struct Place {
  const char* name;
  bool first;
  bool last;
  uint32_t from;  // the first and last positions counted
  uint32_t to;
};

const Place kPlaces[] = {
    {"middle", false, false, 1, kTrackSamples},
    {"first", true, false, kFirstCounted, kTrackSamples},
    {"last", false, true, 1, kLastCounted},
    {"only", true, true, kFirstCounted, kLastCounted},
};

// Every word 0xFFFFFFFF (both channels −1): word × p = p × 2^32 − p, so the low half is 2^32 − p
// and the high half p − 1. v1 = Σ(2^32 − p) ≡ −Σp (mod 2^32), with Σp = (from + to)(to − from + 1)/2;
// v2 adds p − 1 to each low half: each sample gives 2^32 − 1 ≡ −1, so v2 ≡ −(to − from + 1).
TEST(AccurateRipChecksum, FullScaleAudioGivesTheWorkedOutSumsWhereverTheTrackLies) {
  const std::vector<uint8_t> audio = Track(0xFFFFFFFFu);
  for (const Place& place : kPlaces) {
    SCOPED_TRACE(place.name);
    const uint64_t count = uint64_t(place.to) - place.from + 1;
    const uint64_t positions = (uint64_t(place.from) + place.to) * count / 2;
    const Sums expected{uint32_t(0 - uint32_t(positions)), uint32_t(0 - uint32_t(count))};
    EXPECT_EQ(Streamed(audio, place.first, place.last, kRipChunks), expected);
    EXPECT_EQ(Streamed(audio, place.first, place.last, kOddChunks), expected);
  }
}

// One sample 0x80000001 in silence at position k: the product is k × 2^31 + k, whose low half is
// k + (k odd ? 2^31 : 0) and high half k / 2 (rounded down). Just inside each skipped edge it
// counts, just outside it does not.
TEST(AccurateRipChecksum, TheSkippedEdgesEndExactlyWhereTheyShould) {
  const auto single = [](uint32_t k) {
    const uint32_t low = k + (k % 2 ? 0x80000000u : 0);
    return Sums{low, low + k / 2};
  };
  struct Case {
    bool first;
    bool last;
    uint32_t at;
    bool counted;
  };
  const Case cases[] = {
      {true, false, kFirstCounted - 1, false},
      {true, false, kFirstCounted, true},
      {false, true, kLastCounted, true},
      {false, true, kLastCounted + 1, false},
      {false, false, 1, true},
      {false, false, kTrackSamples, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("sample " + std::to_string(c.at) + (c.first ? " of a first track" : "") +
                 (c.last ? " of a last track" : ""));
    const std::vector<uint8_t> audio = Track(0, c.at, 0x80000001u);
    const Sums expected = c.counted ? single(c.at) : Sums{};
    EXPECT_EQ(Streamed(audio, c.first, c.last, kRipChunks), expected);
    EXPECT_EQ(Streamed(audio, c.first, c.last, kOddChunks), expected);
  }
}

}  // namespace
}  // namespace korvi
