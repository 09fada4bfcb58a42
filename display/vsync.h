#pragma once

namespace qz {

// Paces the caller by about one display frame; error 1 without a mode.
void gfx_wait_vsync();

// The window back ends' wait: 1000 / rate ms, or 16 ms when the rate is
// unknown (0, and 1, which some platforms report for "the default rate").
void sleep_one_frame(int refresh_rate);

}  // namespace qz
