#include "input/key_queue.h"

#include <gtest/gtest.h>

#include <vector>

#include "input/key_translate.h"

using namespace qz;

namespace {

// The queue is process-wide: each test starts from an empty one.
class KeyQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    while (key_queue_get() != 0) {
    }
    take_key_arrived();
  }
  static std::vector<std::int32_t> drain() {
    std::vector<std::int32_t> codes;
    while (key_queue_pending() != 0) codes.push_back(key_queue_get());
    return codes;
  }
};

std::vector<std::int32_t> range(std::int32_t first, std::int32_t last) {
  std::vector<std::int32_t> v;
  for (std::int32_t c = first; c <= last; ++c) v.push_back(c);
  return v;
}

TEST_F(KeyQueueTest, KeepsFifteenInOrderAndDropsTheOldestBeyond) {
  for (std::int32_t c = 1; c <= 15; ++c) key_queue_put(c);
  EXPECT_EQ(drain(), range(1, 15));
  EXPECT_EQ(key_queue_get(), 0);

  for (std::int32_t c = 1; c <= 16; ++c) key_queue_put(c);
  EXPECT_EQ(drain(), range(2, 16));

  // Far past full, across several wraps of the ring: the newest fifteen.
  for (std::int32_t c = 100; c < 140; ++c) key_queue_put(c);
  EXPECT_EQ(drain(), range(125, 139));
}

TEST_F(KeyQueueTest, QueuedZeroIsTakenAsNothing) {
  key_queue_put(0);
  key_queue_put('a');
  EXPECT_EQ(key_queue_pending(), 1);
  EXPECT_EQ(key_queue_get(), 0);
  EXPECT_EQ(key_queue_get(), 'a');
  EXPECT_EQ(key_queue_pending(), 0);
}

TEST_F(KeyQueueTest, KeyArrivedFlag) {
  EXPECT_EQ(take_key_arrived(), 0);
  key_queue_put(27);
  EXPECT_EQ(key_queue_pending(), 1);  // a pending test leaves the flag alone
  EXPECT_EQ(take_key_arrived(), 1);
  EXPECT_EQ(take_key_arrived(), 0);
  EXPECT_EQ(key_queue_get(), 27);  // taking the flag does not take the code

  key_queue_put(27);
  EXPECT_EQ(key_queue_get(), 27);
  EXPECT_EQ(take_key_arrived(), 0);  // a get consumes the wake-up

  key_queue().key_arrived = 1;
  EXPECT_EQ(key_queue_get(), 0);
  EXPECT_EQ(take_key_arrived(), 0);  // even a get that finds nothing
}

TEST(KeyCodeToString, OneOrTwoBytes) {
  const std::pair<std::int32_t, std::string> cases[] = {
      {27, "\x1b"},
      {'a', "a"},
      {255, "\xff"},
      {0x3BFF, "\xff;"},
      {0x48FF, "\xffH"},
      {0x8DFF, std::string("\xff\x8d", 2)},
      {kCloseCode, "\xffk"},
  };
  for (const auto& [code, expected] : cases) EXPECT_EQ(key_code_to_string(code), expected) << code;
}

}  // namespace
