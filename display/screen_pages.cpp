#include "display/screen_pages.h"

#include <algorithm>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "gfx/context.h"
#include "gfx/screen_lock.h"
#include "runtime/last_error.h"

namespace qz {

int gfx_set_pages(int work_page, int visible_page) {
  ScreenMode* mode = current_mode();
  auto valid = [mode](int page) { return page >= -1 && page < mode->page_count; };
  if (!mode || !valid(work_page) || !valid(visible_page)) {
    set_last_error(1);
    return 1;
  }
  if (work_page >= 0) {
    GfxContext& ctx = gfx_context();
    ctx.work_page = work_page;
    // The rows still point into the old page; the next drawing call (or
    // image deselection) rebuilds them from the new one.
    ctx.context_flags |= kContextRebuild;
  }
  if (visible_page >= 0 && visible_page != mode->visible_page) {
    // The presentation pass reads visible_framebuffer under the host lock;
    // every row of the new page is news to the window.
    screen_lock();
    mode->visible_page = visible_page;
    mode->visible_framebuffer = mode->pages[std::size_t(visible_page)];
    std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), std::uint8_t{1});
    screen_unlock(1, 0);
    if (mode->driver && mode->driver->flip) mode->driver->flip();
  }
  set_last_error(0);
  return 0;
}

}  // namespace qz
