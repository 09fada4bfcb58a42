#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/window_title.h"
#include "gfx/builtin_data.h"
#include "gfx/context.h"
#include "gfx/raster_settings.h"
#include "gfx/screen_lock.h"
#include "gfx/text.h"
#include "gfx/text_output.h"
#include "input/key_read.h"
#include "runtime/console_hooks.h"
#include "runtime/exit_path.h"
#include "runtime/last_error.h"

namespace qz {

namespace {

// Built before main, so destroyed only after the exit path's at-exit
// teardown has stopped every thread that reads the mode.
std::unique_ptr<ScreenMode> g_mode;
std::int32_t g_next_id = 1;
bool g_teardown_registered = false;

// Larger modes are refused: their rows no longer fit the 32-bit counts of the
// drawing side, and no display shows them.
constexpr int kMaxDimension = 32767;
constexpr std::uint64_t kMaxFramebufferBytes = std::uint64_t{1} << 30;

bool valid_depth(int depth) {
  switch (depth) {
    case 1: case 2: case 4: case 8: case 15: case 16: case 24: case 32: return true;
    default: return false;
  }
}

int fail() {
  set_last_error(1);
  return 1;
}

void gfx_screen_sleep(int ms) { gfx_sleep(ms); }

void install_graphics_hooks() {
  ConsoleHooks& hooks = console_hooks();
  hooks.read_key = gfx_read_key;
  hooks.wait_key = gfx_wait_key;
  hooks.key_pending = gfx_key_pending;
  hooks.key_is_down = gfx_key_is_down;
  hooks.set_text_grid = gfx_set_text_grid;
  hooks.clear_screen = gfx_clear_screen;
  hooks.sleep = gfx_screen_sleep;
}

// Stops the driver (its thread first, so nothing reads a page being freed),
// then frees the record and all its buffers.
void tear_down() {
  if (!g_mode) return;
  if (screen_lock_depth() > 0) screen_lock_release_all();
  if (g_mode->driver && g_mode->driver->exit) g_mode->driver->exit();
  set_current_screen(nullptr);
  set_current_input(nullptr);
  publish_raster_settings(RasterSettings{});
  g_mode.reset();
}

void load_default_palette(ScreenMode& mode) {
  if (!mode.default_palette) return;
  const PaletteRecord& p = *mode.default_palette;
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint8_t r = 0, g = 0, b = 0;
    if (i < p.count) {
      r = p.rgb[i * 3];
      g = p.rgb[i * 3 + 1];
      b = p.rgb[i * 3 + 2];
    }
    mode.palette[i] = mode.device_palette[i] = r | (g << 8) | (std::uint32_t(b) << 16);
    if (mode.driver->set_palette) mode.driver->set_palette(int(i), r, g, b);
  }
  std::memset(mode.dirty_rows.data(), 1, std::size_t(mode.height));
}

}  // namespace

// Numbered modes: width, height, depth, scanline size, pages, palette, font,
// text columns, text rows. Rows without a size are text modes.
const std::array<NumberedMode, 22> kNumberedModes = {{
    {0, 0, 4, 1, 1, 255, 255, 80, 25},       {320, 200, 2, 1, 8, 1, 0, 40, 25},
    {640, 200, 1, 2, 1, 1, 0, 80, 25},       {0, 0, 4, 1, 1, 255, 255, 80, 25},
    {0, 0, 4, 1, 1, 255, 255, 80, 25},       {0, 0, 4, 1, 1, 255, 255, 80, 25},
    {0, 0, 4, 1, 1, 255, 255, 80, 25},       {320, 200, 4, 1, 8, 1, 0, 40, 25},
    {640, 200, 4, 2, 4, 1, 0, 80, 25},       {640, 350, 4, 1, 2, 2, 1, 80, 25},
    {640, 350, 1, 1, 2, 0, 1, 80, 25},       {640, 480, 1, 1, 1, 0, 2, 80, 30},
    {640, 480, 4, 1, 1, 3, 2, 80, 30},       {320, 200, 8, 1, 1, 3, 0, 40, 25},
    {320, 240, 8, 1, 1, 3, 0, 40, 30},       {400, 300, 8, 1, 1, 3, 0, 50, 37},
    {512, 384, 8, 1, 1, 3, 2, 64, 24},       {640, 400, 8, 1, 1, 3, 2, 80, 25},
    {640, 480, 8, 1, 1, 3, 2, 80, 30},       {800, 600, 8, 1, 1, 3, 2, 100, 37},
    {1024, 768, 8, 1, 1, 3, 2, 128, 48},     {1280, 1024, 8, 1, 1, 3, 2, 160, 64},
}};

int gfx_set_mode(int mode_number, int width, int height, int depth, int scanline_size, int pages,
                 int refresh, int palette_index, int font_index, int flags, float aspect,
                 int text_columns, int text_rows) {
  bool text_mode = mode_number == 0 || width == 0;
  if (!text_mode) {
    // Checked before the old mode goes, so that a request that can never
    // work leaves the current mode alone.
    if (width < 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension || !valid_depth(depth) ||
        scanline_size < 1 || scanline_size > 8 || refresh < 0)
      return fail();
    if (pages <= 0) pages = 1;
    std::uint64_t bytes = std::uint64_t(width) * std::uint64_t(height) * std::uint64_t((depth + 7) / 8);
    if (bytes * std::uint64_t(pages) > kMaxFramebufferBytes) return fail();
  }
  if (flags >= 0 && (flags & kModeLayered)) flags |= kModeLayered | kModeFrameless | kModeNoMaximize;

  tear_down();

  if (text_mode) {
    console_hooks() = ConsoleHooks{};
    set_last_error(0);
    return 0;
  }

  install_graphics_hooks();
  try {
    g_mode = std::make_unique<ScreenMode>();
    set_current_screen(g_mode.get());
    set_current_input(g_mode.get());
  } catch (const std::bad_alloc&) {
    console_hooks() = ConsoleHooks{};
    return fail();
  }
  ScreenMode& mode = *g_mode;
  mode.id = g_next_id++;
  mode.poll_events = poll_window_events;
  mode.unavailable_reason = window_unavailable_reason;
  mode.mode_number = mode_number;
  mode.width = width;
  mode.height = height;
  mode.depth = depth;
  mode.default_palette = palette_index >= 0 && palette_index <= 3 ? &builtin_palette(palette_index) : nullptr;
  mode.scanline_size = scanline_size;
  mode.default_font = font_index >= 0 && font_index <= 2 ? &builtin_font(font_index) : nullptr;
  // A non-finite aspect would reach the circles' float-to-integer steps, so
  // it gets the size's aspect, as 0 does.
  const bool size_aspect = aspect == 0.0f || !std::isfinite(aspect);
  mode.aspect = size_aspect ? static_cast<float>(static_cast<float>(height) / static_cast<float>(width) * 1.3333333333333333)
                            : aspect;
  if (depth == 24 || depth == 32) {
    mode.depth = 32;
    mode.bytes_per_pixel = 4;
    mode.colour_mask = 0xFFFFFFFFu;
  } else if (depth == 15 || depth == 16) {
    mode.depth = 16;
    mode.bytes_per_pixel = 2;
    mode.colour_mask = 0xFFFFu;
  } else {
    mode.bytes_per_pixel = (depth + 7) / 8;
    mode.colour_mask = (1u << depth) - 1;
  }
  mode.pitch = width * mode.bytes_per_pixel;

  // Pages that no display server will read need no sharing.
  const char* qzgfx = std::getenv("QZGFX");
  const auto sharing = null_driver_requested(qzgfx, flags) ? PageBuffer::Sharing::kPrivate
                                                           : PageBuffer::Sharing::kShareable;
  try {
    for (int i = 0; i < pages; ++i) {
      mode.page_blocks.emplace_back(std::size_t(height) * std::size_t(mode.pitch), sharing);
      mode.pages.push_back(mode.page_blocks.back().data());
    }
    mode.dirty_rows.assign(std::size_t(height) * std::size_t(scanline_size), 0);
  } catch (const std::bad_alloc&) {
    gfx_screen_close();
    return fail();
  }
  mode.page_count = pages;
  mode.visible_framebuffer = mode.pages[0];

  if (flags != kModeFlagsNoWindow) {
    if (flags & kModeAlphaBlend) mode.flags |= kBehaviourAlphaBlend;
    if (flags & kModeOpengl) mode.flags |= kBehaviourOpengl;
    if (flags & kModeHighPriority) mode.flags |= kBehaviourHighPriority;
  }
  builtin_block();
  publish_raster_settings({(mode.flags & kBehaviourAlphaBlend) != 0, mode.bytes_per_pixel, mode.aspect,
                           mode.default_font});
  ensure_default_window_title();

  set_driver_failure_reason(nullptr);
  DriverRequest request{window_title(), width, height * scanline_size, mode.depth, refresh, flags};
  const DisplayDriver* driver = select_driver(driver_table(), qzgfx, request);
  if (!driver) {
    gfx_screen_close();
    return fail();
  }
  mode.driver = driver;
  mode.lock = driver->lock;
  mode.unlock = driver->unlock;

  if (mode.depth <= 8) {
    // dirty_rows is shared with the presentation thread from here on.
    screen_lock();
    load_default_palette(mode);
    screen_unlock(1, 0);
  }
  // A grid has no more cells than the screen has pixels; larger requests
  // would only ask for cell buffers that cannot be had.
  mode.text_columns = std::clamp(text_columns, 0, width);
  mode.text_rows = std::clamp(text_rows, 0, height);
  GfxContext& ctx = gfx_context();
  gfx_reset_text_cells(ctx, true);
  // Under the screen lock: the presentation thread is already running.
  screen_lock();
  for (std::uint8_t* page : mode.pages) {
    ctx.routines->span_solid(page, ctx.background, width * height);
  }
  screen_unlock(1, 0);

  text_output_reset(mode);

  // The exit path's first step on every way out, the return from main
  // included: the presentation thread stops before any static destructor.
  if (!g_teardown_registered) {
    g_teardown_registered = true;
    set_display_teardown([](int) { gfx_screen_close(); });
  }
  set_last_error(0);
  return 0;
}

void gfx_screen_res(int width, int height, int depth, int pages, int flags, int refresh) {
  if (width <= 0 || height <= 0 || !valid_depth(depth)) {
    set_last_error(1);
    return;
  }
  gfx_set_mode(-1, width, height, depth, 1, pages <= 0 ? 1 : pages, refresh, 3, 0, flags, 1.0f, width / 8,
               height / 8);
}

int gfx_screen_numbered(int mode_number, int depth, int pages, int flags, int refresh) {
  if (mode_number < 0 || mode_number >= int(kNumberedModes.size())) return fail();
  const NumberedMode& row = kNumberedModes[std::size_t(mode_number)];
  if (mode_number != 0 && row.width == 0) return fail();
  int d = row.depth;
  if (mode_number >= 14 && (depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32)) d = depth;
  if (pages <= 0) pages = row.pages;
  auto index = [](std::uint8_t v) { return v == 255 ? -1 : int(v); };
  return gfx_set_mode(mode_number, row.width, row.height, d, row.scanline_size, pages, refresh,
                      index(row.palette_index), index(row.font_index), flags, 0.0f, row.text_columns,
                      row.text_rows);
}

void gfx_screen_close() {
  if (!g_mode) return;
  gfx_set_mode(0, 0, 0, 0, 0, 1, 0, 0, 0, kModeFlagsQuiet, 0.0f, 0, 0);
}

}  // namespace qz
