// The packer and unpacker: exact code layout, round trips through every
// dictionary situation (new entry used at once, full dictionary), capacity,
// and rejection of malformed input without reading or writing out of bounds.

#include "gfx/lzw.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>

using namespace qz;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

// Lays out codes two per three bytes, the second of an odd count as zero.
Bytes codes_to_bytes(const std::vector<std::uint16_t>& codes) {
  Bytes out;
  for (std::size_t i = 0; i < codes.size(); i += 2) {
    const std::uint16_t a = codes[i];
    const std::uint16_t b = i + 1 < codes.size() ? codes[i + 1] : 0;
    out.push_back(static_cast<std::uint8_t>(a & 0xFF));
    out.push_back(static_cast<std::uint8_t>((a >> 8) | ((b & 0x0F) << 4)));
    out.push_back(static_cast<std::uint8_t>(b >> 4));
  }
  return out;
}

Bytes random_bytes(std::mt19937& rng, std::size_t size, int alphabet) {
  std::uniform_int_distribution<int> pick(0, alphabet - 1);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(pick(rng));
  return out;
}

}  // namespace

TEST(LzwFormat, CodesSitTwoPerThreeBytesAndNewestEntryIsUsableAtOnce) {
  // 'A', 'B', 256 = "AB", then 258 while it is being defined: "ABA".
  const Bytes packed = codes_to_bytes({65, 66, 256, 258, kLzwEnd});
  const auto unpacked = lzw_unpack(packed, 100);
  ASSERT_TRUE(unpacked.has_value());
  EXPECT_EQ(*unpacked, bytes_of("ABABABA"));

  // The greedy packer makes exactly those codes, the odd count padded by an end code.
  EXPECT_EQ(lzw_pack(bytes_of("ABABABA")), codes_to_bytes({65, 66, 256, 258, kLzwEnd, kLzwEnd}));
}

TEST(LzwRoundTrip, RestoresEveryKindOfInput) {
  std::mt19937 rng(1234);
  Bytes all_values(256);
  for (int i = 0; i < 256; ++i) all_values[i] = static_cast<std::uint8_t>(i);
  struct Case {
    const char* name;
    Bytes data;
  };
  const std::vector<Case> cases = {
      {"empty", {}},
      {"one byte", {0xFF}},
      {"all byte values", all_values},
      {"long run", Bytes(20000, 0xAA)},
      {"small alphabet", random_bytes(rng, 30000, 3)},
      // Enough distinct strings to fill the dictionary and keep going past it.
      {"noise", random_bytes(rng, 50000, 256)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes packed = lzw_pack(c.data);
    EXPECT_EQ(packed.size() % 3, 0u);
    // A larger capacity still stops at the end code.
    const auto unpacked = lzw_unpack(packed, c.data.size() + 100);
    ASSERT_TRUE(unpacked.has_value());
    EXPECT_EQ(*unpacked, c.data);
  }
  EXPECT_LT(lzw_pack(Bytes(20000, 0xAA)).size(), 400u);
}

TEST(LzwUnpack, StopsAtCapacityAndAtEndOfInput) {
  const Bytes data = bytes_of("ABABABABABABABABABAB");
  const Bytes packed = lzw_pack(data);
  for (std::size_t capacity : {0u, 1u, 5u, 19u}) {
    const auto unpacked = lzw_unpack(packed, capacity);
    ASSERT_TRUE(unpacked.has_value());
    EXPECT_EQ(*unpacked, Bytes(data.begin(), data.begin() + capacity));
  }
  // No end code: everything the complete codes give.
  const auto open_ended = lzw_unpack(codes_to_bytes({65, 66, 256, 258}), 100);
  ASSERT_TRUE(open_ended.has_value());
  EXPECT_EQ(*open_ended, bytes_of("ABABABA"));
  // A trailing group of two bytes still holds its first code.
  const Bytes two_codes = codes_to_bytes({65, 66});
  const auto short_tail = lzw_unpack(std::span(two_codes).first(2), 100);
  ASSERT_TRUE(short_tail.has_value());
  EXPECT_EQ(*short_tail, bytes_of("A"));
  EXPECT_EQ(lzw_unpack({}, 100), Bytes{});
}

TEST(LzwUnpack, RejectsMalformedCodes) {
  struct Case {
    const char* name;
    std::vector<std::uint16_t> codes;
  };
  const std::vector<Case> cases = {
      {"first code not a byte", {256, kLzwEnd}},
      {"first code far beyond", {4000, 65, kLzwEnd}},
      {"code beyond next free", {65, 66, 258, kLzwEnd}},
      {"late code beyond next free", {65, 66, 67, 68, 300, kLzwEnd}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(lzw_unpack(codes_to_bytes(c.codes), 1000).has_value());
  }
}

// Arbitrary and damaged input: never more than capacity, never a crash (the
// sanitizer build checks the memory accesses).
TEST(LzwUnpack, SurvivesArbitraryInput) {
  std::mt19937 rng(99);
  const Bytes good = lzw_pack(random_bytes(rng, 4000, 16));
  std::uniform_int_distribution<std::size_t> position(0, good.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 2000; ++round) {
    Bytes input = round % 2 == 0 ? random_bytes(rng, position(rng) % 600, 256) : good;
    if (round % 2 != 0) {
      for (int k = 0; k < 1 + round % 5; ++k) input[position(rng)] = static_cast<std::uint8_t>(byte(rng));
    }
    const std::size_t capacity = 1 + round % 5000;
    const auto out = lzw_unpack(input, capacity);
    if (out) {
      EXPECT_LE(out->size(), capacity);
    }
  }
}
