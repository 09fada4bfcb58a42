// The C tour again, written as a C++ user would: the same picture through
// <qzgfx/qzgfx.hpp>, so both print the same hash; then a key, a click and
// the close request with a window.
#include <qzgfx/qzgfx.hpp>

#include <cstdio>
#include <iostream>

namespace {

void draw_everything(const qz::Canvas& screen) {
  screen.clear(qz::light_grey);
  screen.line(10, 10, 630, 470, qz::black);
  screen.line(10, 470, 630, 10, qz::blue, QZ_DASHED);
  qz_move_to(20, 20);
  screen.line_to(120, 20, qz::red);
  screen.box(30, 40, 130, 100, qz::black);
  screen.box_filled(40, 50, 120, 90, qz::green);
  qz_line_ex(screen.target(), 150, 40, 99, 59, qz::purple, QZ_SHAPE_BOX_FILLED, QZ_SOLID, QZ_SIZE);
  screen.circle(320, 240, 100, qz::black);
  screen.circle(320, 240, 40, qz::yellow, true);
  screen.ellipse(500, 120, 80, 40, qz::orange);
  screen.ellipse(500, 360, 40, 80, qz::cyan, true);
  screen.arc(150, 350, 60, 0.0f, 3.14159265f, qz::red);
  screen.pie(150, 350, 40, 0.5f, 2.0f, qz::blue);
  qz_circle_ex(screen.target(), 320, 240, 70, qz::blue, 0.5f, 0.0f, 0.0f, 0, QZ_ABSOLUTE);
  screen.flood_fill(320, 160, qz::white, qz::black);
  qz::Colour tile[64];
  for (int i = 0; i < 64; ++i) tile[i] = (i / 8 + i % 8) % 2 ? qz::red : qz::white;
  screen.box(540, 420, 620, 460, qz::black);
  screen.flood_fill(580, 440, tile, qz::black);
  screen.text(260, 400, "qzgfx tour", qz::black);
  screen.put_pixel(639, 479, qz::red);

  qz::Image sprite(16, 16);
  sprite.clear(qz::black);
  sprite.circle(8, 8, 6, qz::red, true);
  screen.blit(sprite, 560, 200);
  screen.blit(sprite, 590, 200, qz::black);

  qz_set_text_colours(qz::white, qz::blue);
  qz::locate(2, 2);
  qz::print("printed\nat the cursor");
}

unsigned long hash_visible(const qz::Screen& screen) {
  const qz_screen_info info = screen.info();
  screen.set_pages(info.visible_page, -1);
  const auto* row = static_cast<const unsigned char*>(screen.pixels());
  unsigned long h = 2166136261ul;
  for (int y = 0; y < info.height; ++y, row += info.pitch)
    for (int x = 0; x < info.width * info.bytes_per_pixel; ++x) h = ((h ^ row[x]) * 16777619ul) & 0xFFFFFFFFul;
  return h;
}

}  // namespace

int main() try {
  qz_set_title("qzgfx tour");
  qz::Screen screen(640, 480, 32, 2);
  screen.set_pages(1, 0);
  draw_everything(screen);
  if (!screen.flip()) return 2;
  std::printf("hash %08lx\n", hash_visible(screen));
  std::fflush(stdout);

  const qz::Key key = qz::wait_for_key();
  if (key == qz::Key::None) {
    std::printf("no window\n");
    return 0;
  }
  std::printf("key %d\n", static_cast<int>(key));
  std::fflush(stdout);
  bool saw_click = false;
  while (auto event = qz::wait_event(20000)) {
    if (event->kind() == qz::EventType::ButtonDown && event->buttons == int(qz::Button::Left)) {
      saw_click = true;
      if (auto m = qz::mouse()) std::printf("click %d %d\n", m->x, m->y);
      std::fflush(stdout);
    } else if (event->kind() == qz::EventType::Close) {
      std::printf("close\n");
      return saw_click ? 0 : 4;
    }
  }
  return 5;
} catch (const qz::Error& e) {
  std::cerr << "tour: " << e.what() << "\n";
  return 1;
}
