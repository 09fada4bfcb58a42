// palette: an 8-bit screen whose colours are palette entries. The picture is
// drawn once, in 64 bands of entries 32..95; afterwards only the palette
// changes, and the bands seem to flow. A key ends it.
#include <qzgfx/qzgfx.hpp>

#include <cmath>
#include <iostream>

int main() try {
  qz::Screen screen(320, 200, 8);  // colours are palette indices 0..255
  screen.title("qzgfx palette");
  for (int i = 0; i < 64; ++i) screen.circle(160, 100, float(100 - i * 1.5f), qz::Colour(32 + i), true);
  screen.text(96, 188, "press a key", 15);

  for (int frame = 0; !qz::key_waiting(); ++frame) {
    for (int i = 0; i < 64; ++i) {
      const double phase = (i + frame) * 0.2;
      qz_set_palette(32 + i, int(127 + 127 * std::sin(phase)), int(127 + 127 * std::sin(phase + 2.1)),
                     int(127 + 127 * std::sin(phase + 4.2)));
    }
    qz::wait_vsync();
    if (auto e = qz::poll_event(); e && e->kind() == qz::EventType::Close) break;
  }
  return 0;
} catch (const qz::Error& e) {
  std::cerr << "palette: " << e.what() << "\n";
  return 1;
}
