# The browser build (emscripten). Every executable becomes a page: NAME.html
# with NAME.js, NAME.wasm and NAME.worker.js beside it.
#
# Threaded (the default): main() runs on a worker (PROXY_TO_PTHREAD) and
# blocks for real; the page's own thread owns the canvas and the input and
# only ever try-locks. The page must be cross-origin isolated (COOP
# same-origin, COEP require-corp), which tools/serve-web.sh provides.
# QZ_WEB_ASYNCIFY: main() on the page's thread instead, its waits yielding.
set(CMAKE_EXECUTABLE_SUFFIX ".html")
set(CMAKE_EXECUTABLE_SUFFIX_C ".html")
set(CMAKE_EXECUTABLE_SUFFIX_CXX ".html")
set(qz_web_dir ${PROJECT_SOURCE_DIR}/display/web)

option(QZ_WEB_ASYNCIFY "Web build: main() on the page's own thread, its waits yielding (ASYNCIFY), no threads" OFF)

# clang asks for braces the tables of key_translate.cpp do without.
add_compile_options(-Wno-missing-braces "SHELL:-include ${qz_web_dir}/web_std_compat.h")
# Vector instructions: row conversions and fills run four pixels at a time
# (every current browser has them). Threads bring bulk memory along.
add_compile_options(-msimd128)
add_link_options(
  -sEXIT_RUNTIME=1
  -sMINIFY_HTML=0  # the page template is small; minifying it needs a tool Debian lacks
  # Fixed memory: JS views of a growing shared heap would go stale. Pages of
  # 1680 x 1050 at 32 bits take 7 MB each, the canvas copy as much again.
  -sINITIAL_MEMORY=256MB -sALLOW_MEMORY_GROWTH=0
  -sEXPORTED_FUNCTIONS=_main,_qz_web_pass,_qz_web_input
  -sEXPORTED_RUNTIME_METHODS=ENV
  --js-library=${qz_web_dir}/web_canvas.js --shell-file=${qz_web_dir}/web_shell.html)
if(QZ_WEB_ASYNCIFY)
  # Needs no cross-origin isolation; a long computation without a wait
  # holds the page meanwhile.
  add_compile_definitions(QZ_WEB_ASYNCIFY=1)
  add_link_options(-sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=65536)
  # ASYNCIFY instruments every function that may reach a wait, and takes
  # each indirect call for one: so the drawing primitives (they call pixel
  # routines and the screen's lock through pointers) and whatever allocates
  # (operator new may call a new handler) ran up to 1.5 times slower. None of
  # these ever waits: the lock is uncontended on the one thread and no new
  # handler is set. A function listed here that came to wait would resume
  # wrongly. Names as in the wasm name section, '*' matching anything,
  # brackets balanced. A page that draws no circle or line links with a
  # warning that a pattern matched nothing.
  set(qz_never_waits
      "operator new*"
      "qz::gfx_*(qz::ImageRef const*, float, float, *)"  # drawing at a point of a target
      "qz::(anonymous namespace)::Ellipse::*")
  list(JOIN qz_never_waits "\n" qz_never_waits)
  # A file of one name a line: the names need no escaping for the shell.
  set(qz_never_waits_file ${CMAKE_BINARY_DIR}/asyncify_never_waits.txt)
  file(CONFIGURE OUTPUT ${qz_never_waits_file} CONTENT "${qz_never_waits}\n")
  add_link_options(-sASYNCIFY_REMOVE=@${qz_never_waits_file})
else()
  add_compile_options(-pthread)
  add_link_options(-pthread -sPROXY_TO_PTHREAD=1 -sPTHREAD_POOL_SIZE=2)
endif()

# Pages are linked again when the page's side changes.
function(qz_web_link_depends dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${qz_web_dir}/web_canvas.js
                                                               ${qz_web_dir}/web_shell.html ${qz_never_waits_file})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    qz_web_link_depends(${subdir})
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL qz_web_link_depends ${PROJECT_SOURCE_DIR})
