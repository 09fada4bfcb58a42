// images: a sprite drawn once into an off-screen image, then blitted many
// times (with black as the transparent colour), and the result saved as a
// PNG file. A key ends it.
#include <qzgfx/qzgfx.hpp>

#include <cstdio>
#include <iostream>

int main(int argc, char** argv) try {
  const char* out = argc > 1 ? argv[1] : "images.png";

  qz::Image sprite(32, 32);  // 32 x 32 pixels, 4 bytes each, all 0
  sprite.clear(qz::black);   // opaque, so the saved file shows the square black
  sprite.circle(16, 16, 14, qz::yellow, true);
  sprite.circle(11, 11, 3, qz::black, true);
  sprite.circle(21, 11, 3, qz::black, true);
  sprite.arc(16, 16, 9, 3.5f, 5.9f, qz::black);

  qz::Screen screen(640, 480);
  screen.title("qzgfx images");
  screen.clear(qz::rgb(40, 90, 160));
  for (int i = 0; i < 12; ++i) {
    screen.blit(sprite, 20 + i * 50, 100);                 // the whole square
    screen.blit(sprite, 20 + i * 50, 200, qz::black);      // black left out, the eyes too
  }
  screen.text(20, 300, "Saved as a PNG; press a key", qz::white);

  // The screen as an image: copy it, then save the copy.
  qz::Image copy(screen.width(), screen.height());
  qz_blit_region(copy.target(), 0, 0, nullptr, 0, 0, 0, 0);
  if (qz_image_save_png(copy.target(), out) != 0) std::fprintf(stderr, "images: %s\n", qz_error_message());

  qz::wait_for_key();
  return 0;
} catch (const qz::Error& e) {
  std::cerr << "images: " << e.what() << "\n";
  return 1;
}
