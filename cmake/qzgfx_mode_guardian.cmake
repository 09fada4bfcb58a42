# The X11 back end's mode guardian: a small program of its own that puts the
# desktop's display mode back when a fullscreen program dies. It is built
# here and carried inside the library as bytes (started from an in-memory
# file), so nothing has to be found on disk however the library is built,
# installed, moved or linked.
if(NOT X11_Xrandr_FOUND)
  return()
endif()

add_executable(qzgfx_mode_guardian ${PROJECT_SOURCE_DIR}/display/x11/guardian/x11_mode_guardian_main.cpp
                                   ${PROJECT_SOURCE_DIR}/display/x11/x11_mode_record.cpp)
target_include_directories(qzgfx_mode_guardian PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(qzgfx_mode_guardian PRIVATE QZ_HAVE_XRANDR=1)
target_link_libraries(qzgfx_mode_guardian PRIVATE X11::X11 X11::Xrandr)
# Small whatever the build: no sanitizer runtime (it would be most of the
# guardian's memory) and no symbols in the bytes the library carries.
set_target_properties(qzgfx_mode_guardian PROPERTIES COMPILE_OPTIONS "-Wall;-Wextra" LINK_OPTIONS "-s"
                                                     INTERPROCEDURAL_OPTIMIZATION OFF)

set(qz_guardian_image ${PROJECT_BINARY_DIR}/generated/x11_mode_guardian_image.cpp)
add_custom_command(OUTPUT ${qz_guardian_image}
  COMMAND ${CMAKE_COMMAND} -DINPUT=$<TARGET_FILE:qzgfx_mode_guardian> -DOUTPUT=${qz_guardian_image}
          -DSYMBOL=x11_mode_guardian_image -P ${CMAKE_CURRENT_LIST_DIR}/qzgfx_embed.cmake
  DEPENDS qzgfx_mode_guardian ${CMAKE_CURRENT_LIST_DIR}/qzgfx_embed.cmake
  COMMENT "Carrying the mode guardian inside the library" VERBATIM)
target_sources(qzgfx_objects PRIVATE ${qz_guardian_image})
