#pragma once

// The OpenGL back end: a window with a GL context that the program draws
// into itself, current on the program's thread (no presentation thread).
// It accepts only modes that ask for OpenGL.

#include "display/display_driver.h"

namespace qz {

extern const DisplayDriver opengl_driver;

}  // namespace qz
