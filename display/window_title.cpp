#include "display/window_title.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "runtime/runtime.h"

#if defined(_WIN32)
#include <windows.h>
#elif defined(__linux__)
#include <unistd.h>
#endif

namespace qz {

namespace {
char g_title[128];
const char* g_title_pointer = nullptr;

std::string executable_path() {
#if defined(_WIN32)
  std::string path(MAX_PATH * 8, '\0');
  DWORD n = GetModuleFileNameA(nullptr, path.data(), DWORD(path.size()));
  if (n > 0 && n < path.size()) {
    path.resize(n);
    return path;
  }
#elif defined(__linux__)
  std::string path(4096, '\0');
  ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n > 0) {
    path.resize(std::size_t(n));
    return path;
  }
#endif
  char** argv = runtime_argv();
  return (argv && argv[0]) ? std::string(argv[0]) : std::string();
}

void store_title(std::string_view text) {
  std::memset(g_title, 0, sizeof g_title);
  // An empty view may have no data at all, which memcpy must not be handed.
  if (!text.empty()) std::memcpy(g_title, text.data(), std::min(text.size(), sizeof g_title - 1));
  g_title_pointer = g_title;
}
}  // namespace

void gfx_window_title(std::string_view title) {
  store_title(title);
  ScreenMode* mode = current_mode();
  if (mode && mode->driver && mode->driver->set_window_title) mode->driver->set_window_title(g_title);
}

const char* window_title() { return g_title_pointer; }

void ensure_default_window_title() {
  if (g_title_pointer) return;
  // The file name is taken before the length limit applies, so that a long
  // directory path cannot leave a cut-off piece of a folder name as title.
  std::string path = executable_path();
  std::string_view name = path;
  if (auto slash = name.find_last_of("/\\"); slash != std::string_view::npos) name.remove_prefix(slash + 1);
  if (auto dot = name.rfind('.'); dot != std::string_view::npos) name = name.substr(0, dot);
  store_title(name);
}

// A character cut in two at the end (the title buffer keeps 127 bytes of a
// longer text) is left out rather than turning the whole title into Latin-1.
std::u32string title_characters(const std::string& title) {
  std::u32string out;
  std::mbstate_t state{};
  const char* p = title.data();
  std::size_t left = title.size();
  while (left > 0) {
    wchar_t wc = 0;
    const std::size_t n = std::mbrtowc(&wc, p, left, &state);
    if (n == static_cast<std::size_t>(-2) && !out.empty()) return out;
    if (n == 0 || n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
      out.clear();
      for (unsigned char c : title) out.push_back(c);
      return out;
    }
    out.push_back(static_cast<char32_t>(wc));
    p += n;
    left -= n;
  }
  return out;
}

std::string utf8_of(const std::u32string& text) {
  std::string out;
  for (char32_t c : text) {
    if (c < 0x80) {
      out.push_back(char(c));
    } else if (c < 0x800) {
      out.push_back(char(0xC0 | (c >> 6)));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(char(0xE0 | (c >> 12)));
      out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (c >> 18)));
      out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace qz
