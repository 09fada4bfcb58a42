#include "display/opengl/glx_library.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>

#include <mutex>

namespace qz {

namespace {

struct Loaded {
  GlxLibrary library{};
  bool ok = false;
  std::string failure;
};

template <typename Fn>
bool resolve(void* handle, Fn& slot, const char* name, std::string& missing) {
  slot = reinterpret_cast<Fn>(dlsym(handle, name));
  if (!slot && missing.empty()) missing = name;
  return slot != nullptr;
}

Loaded load() {
  Loaded out;
  void* handle = dlopen("libGL.so.1", RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    out.failure = std::string("the GL library libGL.so.1 cannot be loaded") + (why ? std::string(" (") + why + ")" : "");
    return out;
  }
  GlxLibrary& l = out.library;
  std::string missing;
  resolve(handle, l.query_extension, "glXQueryExtension", missing);
  resolve(handle, l.query_extensions_string, "glXQueryExtensionsString", missing);
  resolve(handle, l.choose_visual, "glXChooseVisual", missing);
  resolve(handle, l.create_context, "glXCreateContext", missing);
  resolve(handle, l.destroy_context, "glXDestroyContext", missing);
  resolve(handle, l.make_current, "glXMakeCurrent", missing);
  resolve(handle, l.swap_buffers, "glXSwapBuffers", missing);
  resolve(handle, l.get_proc_address, "glXGetProcAddressARB", missing);
  resolve(handle, l.get_string, "glGetString", missing);
  if (!missing.empty()) {
    out.failure = "the GL library libGL.so.1 lacks " + missing;
    dlclose(handle);
    return out;
  }
  out.ok = true;
  return out;
}

int keep_if_driver(dl_phdr_info* info, std::size_t, void*) {
  const char* name = info->dlpi_name;
  const std::size_t length = name ? std::strlen(name) : 0;
  constexpr char kSuffix[] = "_dri.so";
  if (length >= sizeof kSuffix - 1 && std::strcmp(name + length - (sizeof kSuffix - 1), kSuffix) == 0) {
    // A reference that is never given back, on a module already loaded.
    if (void* handle = dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE)) (void)handle;
  }
  return 0;
}

}  // namespace

void glx_keep_driver_loaded() {
  static std::once_flag once;
  std::call_once(once, [] { dl_iterate_phdr(keep_if_driver, nullptr); });
}

const GlxLibrary* glx_library(std::string& failure) {
  static std::once_flag once;
  static Loaded* loaded = nullptr;
  // Never destroyed, like the library itself (see the header).
  std::call_once(once, [] { loaded = new Loaded(load()); });
  if (!loaded->ok) {
    failure = loaded->failure;
    return nullptr;
  }
  return &loaded->library;
}

}  // namespace qz
