#pragma once

namespace qz {

// Chooses the calling thread's work page (where its drawing goes) and the
// mode's visible page (what the window presents); -1 keeps either. Result
// and last error: 0, or 1 without a mode or for a page it does not have
// (nothing changes then).
int gfx_set_pages(int work_page, int visible_page);

}  // namespace qz
