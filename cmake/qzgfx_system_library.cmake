# A system library that comes without a CMake package of its own (xcb-shm,
# the Wayland client libraries) is linked through an imported target
# qzgfx::system_<name>, never by its path: the installed static package then
# names the library, and its config file finds it again on the user's
# machine, wherever that system keeps it. Adds the target to
# qz_system_libraries and the name to qz_system_library_names.
macro(qz_system_library name path)
  add_library(qzgfx::system_${name} UNKNOWN IMPORTED)
  set_target_properties(qzgfx::system_${name} PROPERTIES IMPORTED_LOCATION "${path}")
  list(APPEND qz_system_libraries qzgfx::system_${name})
  list(APPEND qz_system_library_names ${name})
endmacro()
