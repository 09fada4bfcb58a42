#pragma once

// The host of the OpenGL back ends (GLX, WGL). No library thread runs: the
// window and its GL context live on the program's thread, and the window's
// events are taken when the program flips, reads keys, events or the mouse,
// or waits for the retrace. A platform brings its parts as one GlPlatform;
// the window-mode switch (Alt+Enter, the host's switch_window_mode) takes the
// window down and builds it again through them, and the context goes along
// with the program's textures and buffers.

namespace qz {

// Every operation runs on the program's thread.
struct GlPlatform {
  // Before the first window: the host record for the mode, the GL library,
  // the window system and what the context needs. 0, or -1 with the reason
  // noted (note_driver_refusal).
  int (*open)(const char* title, int width, int height, int depth, int refresh, int flags);
  // After the last window: the context and what open set up. Safe after an
  // open that failed half-way.
  void (*close)();
  // Builds the window of the host's size and flags (fullscreen with the
  // display mode it asks for), runs `prepare` on it and shows it. 0, or -1
  // with the reason noted; destroy_window puts back what was done.
  int (*make_window)(int (*prepare)());
  // Takes the window down with what make_window changed. Safe without one.
  void (*destroy_window)();
  // Makes the context current on the window, creating it with the first
  // window, and sets the mode's swap interval. 0, or -1 with the reason noted.
  int (*make_current)();
  // Leaves no context current: before the window goes.
  void (*release_current)();
  // The window's waiting events as the window procedure's steps, then the
  // key states; with the host lock held.
  void (*pump_events)();
  void (*swap_buffers)();
  // The host's cursor and monitor routines (each may be null).
  void (*confine_cursor)();
  void (*free_cursor)();
  void (*nearest_monitor)();
};

// A driver's init after its own checks: the platform opened, the window built
// with the context current on it. 0 = running; -1 = refused, everything put
// back.
int gl_host_open(const GlPlatform& platform, const char* title, int width, int height, int depth, int refresh,
                 int flags);
// A driver's exit: the window and the context go. Safe when nothing is open.
void gl_host_close();
// Whether an OpenGL mode's window is up.
bool gl_host_running();
// The driver's poll_events: the window's events under the host lock.
void gl_host_poll_events();
// The driver's flip: swaps the buffers, then takes the window's events and a
// pending termination request, so that a loop that only draws and flips
// still answers its window and closes it on a signal.
void gl_host_flip();

}  // namespace qz
