# The Wayland back end (display/wayland/), built when the client libraries,
# the protocol scanner and the protocol descriptions are found; otherwise
# the build is X11 only. Included from CMakeLists.txt after the system
# libraries are gathered: adds sources, QZ_HAVE_WAYLAND and libraries.
option(QZ_WITH_WAYLAND "Build the Wayland back end when its libraries are found" ON)
set(QZ_HAVE_WAYLAND OFF)
if(NOT QZ_WITH_WAYLAND)
  return()
endif()
find_package(PkgConfig)
if(NOT PKG_CONFIG_FOUND)
  return()
endif()
pkg_check_modules(QZ_WAYLAND QUIET wayland-client wayland-cursor xkbcommon)
pkg_check_modules(QZ_WAYLAND_PROTOCOLS QUIET wayland-protocols)
pkg_check_modules(QZ_WAYLAND_SCANNER QUIET wayland-scanner)
if(NOT QZ_WAYLAND_FOUND OR NOT QZ_WAYLAND_PROTOCOLS_FOUND OR NOT QZ_WAYLAND_SCANNER_FOUND)
  message(STATUS "Wayland back end: not built (wayland-client, wayland-cursor, xkbcommon, wayland-protocols or wayland-scanner missing)")
  return()
endif()
pkg_get_variable(qz_wayland_scanner wayland-scanner wayland_scanner)
pkg_get_variable(qz_wayland_protocols_dir wayland-protocols pkgdatadir)

# The scanner's glue for protocol descriptions (paths under wayland-protocols)
# generated into `dir`, `side` client or server; its sources listed in `out`.
function(qz_wayland_glue out side dir)
  set(glue "")
  foreach(xml IN LISTS ARGN)
    get_filename_component(name ${xml} NAME_WE)
    set(source ${qz_wayland_protocols_dir}/${xml})
    add_custom_command(
      OUTPUT ${dir}/${name}-${side}.h ${dir}/${name}.c
      COMMAND ${qz_wayland_scanner} ${side}-header ${source} ${dir}/${name}-${side}.h
      COMMAND ${qz_wayland_scanner} private-code ${source} ${dir}/${name}.c
      DEPENDS ${source} VERBATIM)
    list(APPEND glue ${dir}/${name}.c ${dir}/${name}-${side}.h)
  endforeach()
  set(${out} ${glue} PARENT_SCOPE)
endfunction()

# Protocol glue generated into the build directory.
set(qz_wayland_generated ${PROJECT_BINARY_DIR}/wayland-protocols)
file(MAKE_DIRECTORY ${qz_wayland_generated})
set(qz_wayland_xmls stable/xdg-shell/xdg-shell.xml unstable/xdg-decoration/xdg-decoration-unstable-v1.xml
                    unstable/pointer-constraints/pointer-constraints-unstable-v1.xml
                    stable/presentation-time/presentation-time.xml unstable/idle-inhibit/idle-inhibit-unstable-v1.xml
                    stable/viewporter/viewporter.xml)
set(qz_wayland_interfaces xdg_wm_base xdg_positioner xdg_surface xdg_toplevel xdg_popup zxdg_decoration_manager_v1
                          zxdg_toplevel_decoration_v1 zwp_pointer_constraints_v1 zwp_locked_pointer_v1
                          zwp_confined_pointer_v1 wp_presentation wp_presentation_feedback zwp_idle_inhibit_manager_v1
                          zwp_idle_inhibitor_v1 wp_viewporter wp_viewport)
# Fractional scale came with wayland-protocols 1.31; older ones scale by whole factors only.
if(EXISTS ${qz_wayland_protocols_dir}/staging/fractional-scale/fractional-scale-v1.xml)
  list(APPEND qz_wayland_xmls staging/fractional-scale/fractional-scale-v1.xml)
  list(APPEND qz_wayland_interfaces wp_fractional_scale_manager_v1 wp_fractional_scale_v1)
  target_compile_definitions(qzgfx_objects PRIVATE QZ_HAVE_FRACTIONAL_SCALE=1)
endif()
qz_wayland_glue(qz_wayland_protocol_sources client ${qz_wayland_generated} ${qz_wayland_xmls})

file(GLOB qz_wayland_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/display/wayland/*.cpp)
target_sources(qzgfx_objects PRIVATE ${qz_wayland_sources} ${qz_wayland_protocol_sources})
target_include_directories(qzgfx_objects PRIVATE ${qz_wayland_generated} ${QZ_WAYLAND_INCLUDE_DIRS})
target_compile_definitions(qzgfx_objects PUBLIC QZ_HAVE_WAYLAND=1)
# The generated interface records are global symbols; the library exports
# only qz_ names (and links into programs that may bind the same protocols).
foreach(interface IN LISTS qz_wayland_interfaces)
  target_compile_definitions(qzgfx_objects PRIVATE ${interface}_interface=qz_${interface}_interface)
endforeach()
foreach(name path IN ZIP_LISTS QZ_WAYLAND_LIBRARIES QZ_WAYLAND_LINK_LIBRARIES)
  qz_system_library(${name} ${path})
endforeach()
set(QZ_HAVE_WAYLAND ON)
message(STATUS "Wayland back end: built")
