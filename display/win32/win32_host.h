#pragma once

// The Windows window host shared by the GDI, Direct2D and DirectX back ends:
// the window class and procedure, window setup (framed, frameless,
// fullscreen, layered), the display-mode change and its restore, and the
// driver thread's pass (calls, presentation, keyboard, messages) under the
// host lock. A back end brings its presentation as a Win32Presenter. The
// OpenGL back end (display/wgl/) uses the window parts without the thread.
//
// Written on the window's owner (the driver thread) except where noted.

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qz {

struct ScreenMode;

// What a back end adds to the shared host. Every routine runs on the driver
// thread with the host lock held.
struct Win32Presenter {
  // After the window exists: builds what presentation needs (0 or -1).
  int (*setup)(const ScreenMode& mode);
  // Takes it down again; called before the window is destroyed. Safe when
  // setup never ran or failed half-way.
  void (*release)();
  // Shows framebuffer rows first..last (inclusive, first <= last), or, with
  // first > last, only applies a palette change. False: nothing was shown;
  // every row is marked for the next pass.
  bool (*present)(ScreenMode& mode, int first, int last);
  // Redraws the whole window at once during WM_PAINT (may be null: the
  // painted rows are marked and the next pass shows them).
  void (*repaint)();
  // Refreshes key_state (may be null: from the thread's keyboard state).
  void (*read_keys)(ScreenMode& mode);
  // After each pass, without the host lock: finishes a presentation that
  // waits for the display (may be null). It touches only the presenter's
  // own objects; rows it fails to show it marks again under the lock.
  void (*finish_unlocked)();
  // Window procedure in front of the common one (may be null).
  WNDPROC window_procedure;
  // Fullscreen: the presenter sets the display mode itself in setup.
  bool sets_display_mode;
  // Layered windows: the presenter shows them itself (no colour key).
  bool updates_layered_window;
  // 8-bit modes are converted through the palette: a palette change is
  // shown by presenting every row.
  bool converts_through_palette;
  // The client area changed size (host.window_width, window_height and
  // picture already fitted): rebuilds what has the window's size. Every row
  // is marked afterwards. May run before setup, from WM_SIZE during creation.
  void (*refit)();
};

struct Win32Window {
  // Set by init on the program's thread before the driver thread starts.
  const Win32Presenter* presenter = nullptr;
  HINSTANCE instance = nullptr;
  std::string title;
  std::string class_name;
  ATOM window_class = 0;
  std::int32_t os_version = 0;  // major * 256 + minor
  HMONITOR monitor = nullptr;   // under the cursor at start; nearest after a switch
  BOOL saved_screensaver = FALSE;
  bool screensaver_saved = false;

  HWND window = nullptr;
  int window_width = 0;  // outer size, for WM_GETMINMAXINFO
  int window_height = 0;
  bool tracking_leave = false;
  bool display_changed = false;  // the display mode was changed for fullscreen

  // Optional entry points of user32, looked up at every start.
  BOOL(WINAPI* set_layered_window_attributes)(HWND, COLORREF, BYTE, DWORD) = nullptr;
  HMONITOR(WINAPI* monitor_from_window)(HWND, DWORD) = nullptr;
  HMONITOR(WINAPI* monitor_from_point)(POINT, DWORD) = nullptr;
  BOOL(WINAPI* track_mouse_event)(LPTRACKMOUSEEVENT) = nullptr;
  BOOL(WINAPI* get_monitor_info)(HMONITOR, LPMONITORINFO) = nullptr;
  LONG(WINAPI* change_display_settings_ex)(LPCSTR, DEVMODEA*, HWND, DWORD, LPVOID) = nullptr;
  EXECUTION_STATE(WINAPI* set_thread_execution_state)(EXECUTION_STATE) = nullptr;
};

Win32Window& win32_window();

// The colour made transparent in layered windows of more than 8 bits.
constexpr DWORD kLayeredKey32 = 0xFF00FF;

// Everything before the window: the host's fields and routines, the
// system's optional entry points, the screen saver, the window class (with
// the presenter's procedure, if any). `presenter` is null for a window
// without one (OpenGL). 0 or -1, the reason noted.
int win32_prepare_window(const Win32Presenter* presenter, const char* title, int width, int height, int depth,
                         int refresh, int flags);
// The window of the host's size and flags (fullscreen with its display
// mode), not yet shown, owned by the calling thread. 0 or -1.
int win32_create_window();
// Destroys it and puts the display mode back. Safe without a window.
void win32_destroy_window();
// Puts back what win32_prepare_window changed (after the window is gone).
void win32_finish_window();
// A back end's init after its own checks: prepares the host and starts the
// driver thread, which builds the window. 0 = running.
int win32_host_start(const Win32Presenter& presenter, const char* title, int width, int height, int depth,
                     int refresh, int flags);
// A back end's exit: stops the thread, then win32_finish_window.
void win32_host_exit();
// key_state from the thread's keyboard state.
void win32_refresh_key_state(ScreenMode& mode);
// Dispatches the waiting messages of the calling thread, or with
// `window_only` only those of the window (the program's WM_QUIT and thread
// messages stay in its queue).
void win32_dispatch_messages(bool window_only);

// The platform's version, major * 256 + minor.
std::int32_t win32_platform_version();
// The current display's refresh rate (0 unknown).
int win32_display_refresh_rate();

// A library loaded at run time, freed with its owner.
class LoadedLibrary {
 public:
  LoadedLibrary() = default;
  explicit LoadedLibrary(const char* name) : module_(LoadLibraryA(name)) {}
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(LoadedLibrary&& other) noexcept {
    std::swap(module_, other.module_);
    return *this;
  }
  ~LoadedLibrary() {
    if (module_) FreeLibrary(module_);
  }
  explicit operator bool() const { return module_ != nullptr; }
  // True when the entry point exists; `slot` gets it (or null).
  template <typename Fn>
  bool look_up(const char* name, Fn& slot) const {
    slot = module_ ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name))) : nullptr;
    return slot != nullptr;
  }

 private:
  HMODULE module_ = nullptr;
};

// Window procedure of the host's window class.
LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// On the window's thread: cursor confinement, the monitor the window is on.
void win32_confine_cursor();
void win32_free_cursor();
void win32_nearest_monitor();

// The window's mouse, title and position, on its own thread.
void win32_change_mouse(int x, int y, int visibility, int clip);
void win32_apply_title(const char* title);
int win32_window_position(int x, int y);

// Driver operations shared by the window back ends: the above handed to the
// driver thread, and the display modes the system lists.
void win32_set_mouse(int x, int y, int visibility, int clip);
void win32_set_window_title(const char* title);
int win32_set_window_pos(int x, int y);
std::vector<std::int32_t> win32_fetch_modes(int depth);

// Keyboard: the modifier word of a key message, the layout's character for
// it, and a virtual key's unshifted character.
std::int32_t win32_control_state(const BYTE* keyboard, LPARAM lparam);
std::uint8_t win32_key_character(UINT virtual_key, LPARAM lparam, const BYTE* keyboard);
std::uint16_t win32_base_character(std::uint16_t virtual_key);

}  // namespace qz
