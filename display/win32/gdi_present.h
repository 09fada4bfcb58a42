#pragma once

#include "display/win32/win32_host.h"

namespace qz {

// Presentation through GDI (display/win32/gdi_present.cpp).
extern const Win32Presenter gdi_presenter;

}  // namespace qz
