// animation: a ball bouncing around, drawn without flicker by page flipping:
// each frame is drawn on the hidden page, then the pages swap. Escape or the
// close box ends it.
#include <qzgfx/qzgfx.hpp>

#include <iostream>

int main() try {
  qz::Screen screen(640, 480, 32, 2);  // two pages
  screen.title("qzgfx animation");
  screen.set_pages(1, 0);              // draw on page 1 while page 0 shows

  float x = 100, y = 100, dx = 4, dy = 3;
  const float radius = 20;
  for (;;) {
    screen.clear(qz::light_grey);
    screen.box(0, 0, 639, 479, qz::black);
    screen.circle(x, y, radius, qz::red, true);
    screen.text(8, 8, "Escape ends", qz::black);
    screen.flip();     // show what was drawn; draw next on the other page
    qz::wait_vsync();  // about one display frame

    x += dx;
    y += dy;
    if (x < radius || x > 639 - radius) dx = -dx;
    if (y < radius || y > 479 - radius) dy = -dy;

    while (auto event = qz::poll_event())
      if (event->kind() == qz::EventType::Close || event->kind() == qz::EventType::DisplayLost) return 0;
    if (qz::next_key() == qz::Key::Escape) return 0;
  }
} catch (const qz::Error& e) {
  std::cerr << "animation: " << e.what() << "\n";
  return 1;
}
