#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <stdexcept>

#include "bench/x11_client.h"
#include "bench/xvfb_server.h"

// The unlock-to-server figure rests on the read-back: a pixel put by one
// client must read back from another once the put is synchronised, and the
// two windows must not cover each other.

namespace {

TEST(BareX11Client, AnotherClientReadsBackWhatWasPut) {
  std::optional<XvfbServer> server;
  try {
    server.emplace(3 * 320, 240);
  } catch (const std::runtime_error& e) {
    GTEST_SKIP() << e.what();
  }
  BareX11Client reader(server->display_name(), 320, 200);
  BareX11Client writer(server->display_name(), 320, 200);
  const unsigned long window = reader.find_window(320, 200);
  ASSERT_NE(window, 0u);
  reader.move_beside(window);

  for (std::uint32_t colour : {0x00123456u, 0x00FEDCBAu}) {
    auto* pixels = reinterpret_cast<std::uint32_t*>(writer.pixels());
    for (int i = 0; i < 320 * 200; ++i) pixels[i] = colour;
    writer.put_rows(50, 10);
    EXPECT_EQ(reader.read_pixel(window, 160, 55), std::int64_t(colour));
  }
  // Rows outside the band were never put.
  EXPECT_NE(reader.read_pixel(window, 160, 100), std::int64_t(0xFEDCBA));
  // No other window of that size: the reader skips its own.
  EXPECT_EQ(writer.find_window(100, 100), 0u);
}

}  // namespace
