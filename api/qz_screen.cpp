// The public screen calls: opening and closing, pages and frames, the
// window's title, position and modes, and the palette. Each checks what the
// internal operation would silently refuse, so that qz_error_message can say
// why.

#include <qzgfx/qzgfx.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/screen_pages.h"
#include "display/window_host.h"
#include "display/window_scale.h"
#include "display/window_title.h"
#include "gfx/context.h"
#include "gfx/screen_lock.h"
#include "runtime/error_message.h"
#include "runtime/last_error.h"

namespace {

using namespace qz;

// The mode set's own limits: larger sides or framebuffers are refused.
constexpr int kMaxSide = 32767;
constexpr std::uint64_t kMaxFramebufferBytes = std::uint64_t{1} << 30;
constexpr int kKnownFlags = 0x3FF;

template <typename... Args>
void fail_formatted(const char* format, Args... args) {
  char text[200];
  std::snprintf(text, sizeof text, format, args...);
  fail_with(text);
}

bool fail_without_screen() {
  if (current_mode()) return false;
  fail_with("no screen is open");
  return true;
}

// The driver of a screen whose window works, or null with the reason given.
const DisplayDriver* window_driver() {
  if (const char* why = window_unavailable_reason()) {
    fail_with(why);
    return nullptr;
  }
  return current_mode()->driver;
}

// Window back ends keep their fullscreen state in the host; the driver
// thread changes it (Alt+Enter) under the host lock, which screen_lock takes.
bool window_is_fullscreen() {
  screen_lock();
  const bool fullscreen = (window_host().flags & kModeFullscreen) != 0;
  screen_unlock(1, 0);
  return fullscreen;
}

bool public_depth(int depth) { return depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32; }

bool valid_flags(int flags) { return flags == QZ_NO_WINDOW || (flags >= 0 && flags <= kKnownFlags); }

// After a failed mode set: a windowless one can only have lacked memory;
// otherwise the back ends' reason, and a QZGFX that named none of them.
void explain_failed_open(int flags) {
  std::string text;
  if (null_driver_requested(std::getenv("QZGFX"), flags)) {
    text = "not enough memory for the screen";
  } else {
    const char* reason = driver_failure_reason();
    text = std::string("cannot open a window: ") + (*reason ? reason : "no display back end could start");
  }
  for (const std::string& note : {std::string(driver_selection_note()), window_scale_note()})
    if (!note.empty()) text += "; " + note;
  fail_with(text.c_str());
}

int finish_open(int flags) {
  if (!current_mode() || last_error() != 0) {
    explain_failed_open(flags);
    return 1;
  }
  // Opened all the same, but a variable the user set was of no use.
  std::string notes;
  for (const std::string& note : {std::string(driver_selection_note()), window_scale_note()})
    if (!note.empty()) notes += (notes.empty() ? "" : "; ") + note;
  if (!notes.empty()) set_error_message(notes.c_str());
  return 0;
}

bool check_common(int pages, int flags, int refresh) {
  if (pages < 1) {
    fail_formatted("bad page count %d: a screen has at least 1 page", pages);
  } else if (!valid_flags(flags)) {
    fail_formatted("bad window flags 0x%X: QZ_WINDOW_... values or QZ_NO_WINDOW", unsigned(flags));
  } else if (refresh < 0) {
    fail_formatted("bad refresh rate %d: 0 for any, or a rate in Hz", refresh);
  } else {
    return true;
  }
  return false;
}

// The driver whose set_window_pos slot may be called now, or null (with the
// reason) when there is no window, no such slot or the window is fullscreen.
const DisplayDriver* positioned_window() {
  const DisplayDriver* driver = window_driver();
  if (!driver) return nullptr;
  if (!driver->set_window_pos) {
    fail_formatted("the %s back end has no window position", driver->name);
    return nullptr;
  }
  if (window_is_fullscreen()) {
    fail_with("a fullscreen window has no position");
    return nullptr;
  }
  return driver;
}

}  // namespace

extern "C" {

int qz_screen_open(int width, int height, int depth, int pages, int flags, int refresh) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
    fail_formatted("bad screen size %d x %d: width and height go from 1 to %d", width, height, kMaxSide);
    return 1;
  }
  if (!public_depth(depth)) {
    fail_formatted("bad depth %d: 8, 16 or 32 (15 and 24 give 16 and 32)", depth);
    return 1;
  }
  if (!check_common(pages, flags, refresh)) return 1;
  const std::uint64_t bytes = std::uint64_t(width) * std::uint64_t(height) * std::uint64_t((depth + 7) / 8);
  if (bytes * std::uint64_t(pages) > kMaxFramebufferBytes) {
    fail_formatted("a screen of %d x %d at depth %d with %d pages needs more than 1 GiB", width, height, depth,
                   pages);
    return 1;
  }
  gfx_screen_res(width, height, depth, pages, flags, refresh);
  return finish_open(flags);
}

int qz_screen_open_mode(int mode_number, int depth, int pages, int flags, int refresh) {
  if (mode_number < 1 || mode_number >= int(kNumberedModes.size()) ||
      kNumberedModes[std::size_t(mode_number)].width == 0) {
    fail_formatted("mode %d is not a numbered graphics mode (1, 2 and 7 to %d)", mode_number,
                   int(kNumberedModes.size()) - 1);
    return 1;
  }
  if (depth != 0 && !public_depth(depth)) {
    fail_formatted("bad depth %d: 0 keeps the mode's, else 8, 16 or 32 (15 and 24 give 16 and 32)", depth);
    return 1;
  }
  if (!check_common(pages == 0 ? 1 : pages, flags, refresh)) return 1;
  gfx_screen_numbered(mode_number, depth, pages, flags, refresh);
  return finish_open(flags);
}

void qz_screen_close(void) {
  // It cannot fail, so it leaves the number of the last call that could
  // (the mode set's return to text mode would clear it).
  const int error = last_error();
  gfx_screen_close();
  set_last_error(error);
}

int qz_screen_is_open(void) { return current_mode() ? 1 : 0; }

int qz_screen_get_info(qz_screen_info* info) {
  if (!info) {
    fail_with("qz_screen_get_info: info is NULL");
    return 1;
  }
  *info = qz_screen_info{};
  if (fail_without_screen()) return 1;
  const ScreenMode& mode = *current_mode();
  info->width = mode.width;
  info->height = mode.height;
  info->depth = mode.depth;
  info->bytes_per_pixel = mode.bytes_per_pixel;
  info->pitch = mode.pitch;
  info->pages = mode.page_count;
  info->work_page = gfx_context().work_page;
  info->visible_page = mode.visible_page;
  info->refresh_rate = mode.refresh_rate;
  info->text_columns = mode.text_columns;
  info->text_rows = mode.text_rows;
  info->driver = mode.driver ? mode.driver->name : "";
  info->window_width = info->picture_width = mode.width;
  info->window_height = info->picture_height = mode.height * mode.scanline_size;
  if (!window_unavailable_reason()) {
    host_lock();
    const WindowHost& host = window_host();
    info->window_width = host.window_width;
    info->window_height = host.window_height;
    info->picture_x = host.picture.x;
    info->picture_y = host.picture.y;
    info->picture_width = host.picture.width;
    info->picture_height = host.picture.height;
    host_unlock();
  }
  set_last_error(0);
  return 0;
}

void* qz_screen_pixels(void) {
  ScreenMode* mode = current_mode();
  if (!mode) return nullptr;
  return mode->pages[std::size_t(gfx_context().work_page)];
}

void qz_screen_mark_rows(int first, int last) {
  const ScreenMode* mode = current_mode();
  if (!mode) return;
  first = std::max(first, 0);
  if (last < 0 || last >= mode->height) last = mode->height - 1;
  if (first > last) return;
  // Marks only while the work page is the one shown (screen_unlock's rule).
  screen_lock();
  screen_unlock(first, last);
}

void qz_frame_begin(void) { screen_lock(); }

void qz_frame_end(void) { screen_unlock(1, 0); }

int qz_set_pages(int work_page, int visible_page) {
  if (fail_without_screen()) return 1;
  if (gfx_set_pages(work_page, visible_page) != 0) {
    const int bad = work_page < -1 || work_page >= current_mode()->page_count ? work_page : visible_page;
    fail_formatted("page %d: the screen has pages 0 to %d (-1 keeps one)", bad, current_mode()->page_count - 1);
    return 1;
  }
  return 0;
}

int qz_flip(void) {
  if (fail_without_screen()) return 1;
  const ScreenMode& mode = *current_mode();
  // An OpenGL screen shows what GL drew: the flip swaps its buffers.
  if (mode.flags & kBehaviourOpengl) {
    if (!window_driver()) return 1;
    if (mode.driver->flip) mode.driver->flip();
    set_last_error(0);
    return 0;
  }
  if (mode.page_count < 2) {
    fail_with("flipping needs a screen of two or more pages");
    return 1;
  }
  return gfx_set_pages(mode.visible_page, gfx_context().work_page);
}

int qz_set_window_scale(int scale) {
  if (scale < 0 || scale > 8) {
    fail_formatted("bad window scale %d: 1 to 8, or 0 for auto", scale);
    return 1;
  }
  set_window_scale(scale);
  set_last_error(0);
  return 0;
}

void qz_set_title(const char* title) {
  gfx_window_title(title ? title : "");
  if (display_lost()) {
    fail_with("the display was lost");
    return;
  }
  set_last_error(0);
}

int qz_set_window_pos(int x, int y) {
  const DisplayDriver* driver = positioned_window();
  if (!driver) return 1;
  // Window systems place windows with 16-bit coordinates; kNotGiven would
  // read as a query.
  driver->set_window_pos(std::clamp(x, -32768, 32767), std::clamp(y, -32768, 32767));
  set_last_error(0);
  return 0;
}

int qz_get_window_pos(int* x, int* y) {
  const DisplayDriver* driver = positioned_window();
  if (!driver) return 1;
  // The query packs x in the low 16 bits (signed) and y above them.
  const int packed = driver->set_window_pos(kNotGiven, kNotGiven);
  if (x) *x = std::int16_t(packed & 0xFFFF);
  if (y) *y = packed >> 16;
  set_last_error(0);
  return 0;
}

int qz_list_modes(int depth, int* out, int max) {
  if (!public_depth(depth)) {
    fail_formatted("bad depth %d: 8, 16 or 32 (15 and 24 give 16 and 32)", depth);
    return 0;
  }
  const DisplayDriver* driver = window_driver();
  if (!driver) return 0;
  if (!driver->fetch_modes) {
    fail_formatted("the %s back end cannot list display modes", driver->name);
    return 0;
  }
  const std::vector<std::int32_t> modes = driver->fetch_modes(depth);
  for (std::size_t i = 0; out && i < modes.size() && std::int64_t(i) < max; ++i) {
    out[2 * i] = modes[i] >> 16;
    out[2 * i + 1] = modes[i] & 0xFFFF;
  }
  set_last_error(0);
  return int(modes.size());
}

int qz_set_palette(int index, int red, int green, int blue) {
  if (fail_without_screen()) return 1;
  ScreenMode& mode = *current_mode();
  if (mode.bytes_per_pixel != 1) {
    fail_formatted("a screen of depth %d has no palette", mode.depth);
    return 1;
  }
  if (index < 0 || index > 255 || std::min({red, green, blue}) < 0 || std::max({red, green, blue}) > 255) {
    fail_formatted("bad palette entry %d = %d, %d, %d: index and colours go from 0 to 255", index, red, green,
                   blue);
    return 1;
  }
  const std::uint32_t entry = std::uint32_t(red) | std::uint32_t(green) << 8 | std::uint32_t(blue) << 16;
  // The presentation converts through device_palette under the host lock;
  // every row shown changes colour, whichever page is drawn on.
  screen_lock();
  mode.palette[std::size_t(index)] = mode.device_palette[std::size_t(index)] = entry;
  if (mode.driver && mode.driver->set_palette) mode.driver->set_palette(index, red, green, blue);
  std::fill(mode.dirty_rows.begin(), mode.dirty_rows.end(), std::uint8_t{1});
  screen_unlock(1, 0);
  set_last_error(0);
  return 0;
}

int qz_get_palette(int index, int* red, int* green, int* blue) {
  if (fail_without_screen()) return 1;
  const ScreenMode& mode = *current_mode();
  if (mode.bytes_per_pixel != 1) {
    fail_formatted("a screen of depth %d has no palette", mode.depth);
    return 1;
  }
  if (index < 0 || index > 255) {
    fail_formatted("bad palette index %d: 0 to 255", index);
    return 1;
  }
  const std::uint32_t entry = mode.palette[std::size_t(index)];
  if (red) *red = int(entry & 0xFF);
  if (green) *green = int((entry >> 8) & 0xFF);
  if (blue) *blue = int((entry >> 16) & 0xFF);
  set_last_error(0);
  return 0;
}

}  // extern "C"
