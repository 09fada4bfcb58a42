#pragma once

#include <d2d1.h>

#include "display/win32/win32_host.h"

namespace qz {

using D2D1CreateFactoryFn = HRESULT(WINAPI*)(D2D1_FACTORY_TYPE, REFIID, const D2D1_FACTORY_OPTIONS*, void**);

// Presentation through Direct2D (display/direct2d/d2d_present.cpp); the
// factory entry point is set by init before the driver thread starts.
extern const Win32Presenter d2d_presenter;
void d2d_set_factory_entry(D2D1CreateFactoryFn create_factory);

}  // namespace qz
