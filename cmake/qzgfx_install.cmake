# Installing qzgfx: the public headers, the library, a CMake package
# (find_package(qzgfx) gives qzgfx::qzgfx) and a pkg-config file.

include(CMakePackageConfigHelpers)

install(TARGETS qzgfx EXPORT qzgfxTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/qzgfx DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/qzgfx)

set(qz_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/qzgfx)
# The config file asks for the dependencies only of a static library.
get_target_property(qz_library_type qzgfx TYPE)
install(EXPORT qzgfxTargets NAMESPACE qzgfx:: DESTINATION ${qz_cmake_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/qzgfxConfig.cmake.in
  ${PROJECT_BINARY_DIR}/qzgfxConfig.cmake INSTALL_DESTINATION ${qz_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/qzgfxConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/qzgfxConfig.cmake ${PROJECT_BINARY_DIR}/qzgfxConfigVersion.cmake
  DESTINATION ${qz_cmake_dir})

# pkg-config: a static library brings its dependencies along (--static).
set(qz_pc_requires_private "")
set(qz_pc_libs_private "-pthread -lstdc++ -lm")
if(NOT WIN32)
  set(qz_pc_requires_private "x11 xext xcb")
  if(X11_Xrandr_FOUND)
    string(APPEND qz_pc_requires_private " xrandr")
  endif()
  if(X11_Xss_FOUND)
    string(APPEND qz_pc_requires_private " xscrnsaver")
  endif()
  if(QZ_HAVE_XCB_SHM)
    string(APPEND qz_pc_requires_private " x11-xcb xcb-shm")
  endif()
  if(QZ_HAVE_WAYLAND)
    string(APPEND qz_pc_requires_private " wayland-client wayland-cursor xkbcommon")
  endif()
else()
  string(APPEND qz_pc_libs_private " -lgdi32 -luser32 -ldinput -ldxguid")
endif()
if(PNG_FOUND)
  string(APPEND qz_pc_requires_private " libpng")
endif()
# A shared library brings its own along: it lists none, so that --cflags
# needs no development files of them either.
if(NOT qz_library_type STREQUAL "STATIC_LIBRARY")
  set(qz_pc_requires_private "")
  set(qz_pc_libs_private "")
endif()
# The file finds its prefix from where it lies, so the package can be
# installed anywhere (cmake --install --prefix) and moved.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(qz_pc_prefix "${CMAKE_INSTALL_PREFIX}")
else()
  string(REGEX REPLACE "[^/]+" ".." qz_pc_up "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
  set(qz_pc_prefix "\${pcfiledir}/${qz_pc_up}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/qzgfx.pc.in ${PROJECT_BINARY_DIR}/qzgfx.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qzgfx.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
