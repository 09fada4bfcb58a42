// Driver selection: the order of init attempts with and without QZGFX, the
// exit after every refusal, and the Null driver.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/display_driver.h"
#include "display/screen_mode.h"

using namespace qz;

namespace {

std::vector<std::string> g_log;
std::string g_accept;  // "Name:flags:refresh" that init accepts

template <int N>
struct Fake {
  static constexpr const char* name() { return N == 0 ? "Direct2D" : N == 1 ? "DirectX" : N == 2 ? "GDI" : "OpenGL"; }
  static int init(const char*, int, int, int, int refresh, int flags) {
    std::string attempt = std::string(name()) + ":" + std::to_string(flags) + ":" + std::to_string(refresh);
    g_log.push_back(attempt);
    return attempt == g_accept ? 0 : -1;
  }
  static void exit() { g_log.push_back(std::string(name()) + " exit"); }
  static constexpr DisplayDriver record = {name(),  init,    exit,    nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
};

const DisplayDriver* const kTable[] = {&Fake<0>::record, &Fake<1>::record, &Fake<2>::record, &Fake<3>::record};

// The attempts without the exits, as "Name:flags" with refresh 60 then 0.
std::vector<std::string> attempts(const char* qzgfx, int flags, const DisplayDriver** chosen = nullptr) {
  g_log.clear();
  const DisplayDriver* d = select_driver(kTable, qzgfx, DriverRequest{"t", 64, 64, 32, 60, flags});
  if (chosen) *chosen = d;
  std::vector<std::string> out;
  for (std::size_t i = 0; i < g_log.size(); ++i) {
    if (g_log[i].find(" exit") != std::string::npos) continue;
    // Every refused attempt is followed by the same driver's exit.
    if (g_log[i] != g_accept) {
      EXPECT_TRUE(i + 1 < g_log.size() && g_log[i + 1] == g_log[i].substr(0, g_log[i].find(':')) + " exit");
    }
    if (g_log[i].ends_with(":60")) out.push_back(g_log[i].substr(0, g_log[i].size() - 3));
  }
  return out;
}

TEST(DriverSelect, OrderWithoutAName) {
  g_accept.clear();
  const DisplayDriver* chosen = &null_driver;
  EXPECT_EQ(attempts(nullptr, 0, &chosen),
            (std::vector<std::string>{"Direct2D:0", "DirectX:0", "GDI:0", "OpenGL:0", "Direct2D:1", "DirectX:1", "GDI:1",
                                      "OpenGL:1"}));
  EXPECT_EQ(chosen, nullptr);
  EXPECT_EQ(g_log.size(), 8u * 2 * 2);  // two attempts (rate 60, rate 0) and an exit each
  // A name that matches nothing leaves the order as it is.
  EXPECT_EQ(attempts("Vulkan", 0), attempts("", 0));
  EXPECT_EQ(attempts("Vulkan", 0), attempts(nullptr, 0));
}

TEST(DriverSelect, TheNamedDriverFirstIgnoringCase) {
  g_accept.clear();
  EXPECT_EQ(attempts("gdi", 0), (std::vector<std::string>{"GDI:0", "Direct2D:0", "DirectX:0", "GDI:0", "OpenGL:0",
                                                          "GDI:1", "Direct2D:1", "DirectX:1", "GDI:1", "OpenGL:1"}));
}

TEST(DriverSelect, StopsAtTheFirstAcceptance) {
  g_accept = "DirectX:1:0";  // only fullscreen-toggled at the display's own rate
  const DisplayDriver* chosen = nullptr;
  attempts(nullptr, 0, &chosen);
  EXPECT_EQ(chosen, &Fake<1>::record);
  EXPECT_EQ(g_log.back(), "DirectX:1:0");
  g_accept = "OpenGL:2:60";
  attempts("opengl", 2, &chosen);
  EXPECT_EQ(g_log.size(), 1u);
  EXPECT_EQ(chosen, &Fake<3>::record);
}

TEST(DriverSelect, NullDriver) {
  g_accept.clear();
  const DisplayDriver* chosen = nullptr;
  EXPECT_TRUE(attempts("NULL", 0, &chosen).empty());
  EXPECT_EQ(chosen, &null_driver);
  EXPECT_TRUE(attempts(nullptr, kModeFlagsNoWindow, &chosen).empty());
  EXPECT_EQ(chosen, &null_driver);
  EXPECT_NE(null_driver.wait_vsync, nullptr);  // paces without a window
  EXPECT_EQ(null_driver.lock, nullptr);  // nothing to exclude: the screen lock skips it
}

}  // namespace
