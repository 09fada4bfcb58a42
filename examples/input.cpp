// input: what the keyboard and the mouse do, as events and key codes, until
// the window is closed. Move the mouse, click, turn the wheel, type.
#include <qzgfx/qzgfx.hpp>

#include <cstdio>
#include <iostream>
#include <string>

int main() try {
  qz::Screen screen(640, 480);
  screen.title("qzgfx input");
  screen.clear(qz::white);
  screen.text(8, 8, "Type, click, move the mouse; close the window to end.", qz::black);

  int line = 3;
  auto say = [&](const std::string& what) {
    qz::Frame frame;  // the row is cleared and written in one go
    if (line > 58) line = 3;
    screen.box_filled(0, float(line * 8), 639, float(line * 8 + 7), qz::white);
    screen.text(8, float(line * 8), what, qz::blue);
    ++line;
    std::printf("%s\n", what.c_str());
    std::fflush(stdout);
  };

  for (;;) {
    const auto event = qz::wait_event(100);
    if (!event) continue;
    char text[80];
    switch (event->kind()) {
      case qz::EventType::KeyDown:
        std::snprintf(text, sizeof text, "key down: scan code %d", event->scan_code);
        say(text);
        // The key queue has the key as a code: a character or an extended key.
        for (qz::Key key = qz::next_key(); key != qz::Key::None; key = qz::next_key()) {
          std::snprintf(text, sizeof text, "key code %d", int(key));
          say(text);
        }
        break;
      case qz::EventType::ButtonDown:
        if (auto mouse = qz::mouse()) {
          std::snprintf(text, sizeof text, "button %d at %d, %d", event->buttons, mouse->x, mouse->y);
          say(text);
          screen.circle(float(mouse->x), float(mouse->y), 4, qz::red, true);
        }
        break;
      case qz::EventType::Wheel:
        std::snprintf(text, sizeof text, "wheel at %d", event->wheel);
        say(text);
        break;
      case qz::EventType::Close:
        say("close request: goodbye");
        return 0;
      case qz::EventType::DisplayLost:
        return 1;
      default:
        break;
    }
  }
} catch (const qz::Error& e) {
  std::cerr << "input: " << e.what() << "\n";
  return 1;
}
