#pragma once

namespace qz {

// The calling thread's view (clip rectangle and coordinate origin) and its
// user-coordinate window, which maps caller coordinates onto the view.

// Clips drawing on the screen to the pixels x1..x2, y1..y2 (kept inside
// it); an image target has its own whole-image view while selected. With `absolute`, coordinates stay target pixels; otherwise they
// count from the view's top-left corner. No effect without a mode.
void gfx_set_view(int x1, int y1, int x2, int y2, bool absolute);
// The whole screen again.
void gfx_reset_view();

// Maps (x1, y1)..(x2, y2) onto the view; y grows upwards unless
// `keep_y_down`. A window of zero width or height switches mapping off.
void gfx_set_window(float x1, float y1, float x2, float y2, bool keep_y_down);
void gfx_reset_window();

}  // namespace qz
