#pragma once

// The DirectX back end's shared pieces: the entry points init loads, the
// DirectDraw presentation and the DirectInput keyboard.

#define DIRECTINPUT_VERSION 0x0700
#include <ddraw.h>
#include <dinput.h>

#include "display/win32/win32_host.h"

namespace qz {

// Looked up by init before the driver thread starts; cleared by exit.
struct DirectXEntries {
  HRESULT(WINAPI* direct_draw_create)(GUID*, LPDIRECTDRAW*, IUnknown*) = nullptr;
  HRESULT(WINAPI* direct_draw_enumerate_ex)(LPDDENUMCALLBACKEXA, LPVOID, DWORD) = nullptr;
  HRESULT(WINAPI* direct_input_create)(HINSTANCE, DWORD, LPDIRECTINPUTA*, LPUNKNOWN) = nullptr;
};
DirectXEntries& directx_entries();

// Presentation through DirectDraw (display/directx/ddraw_present.cpp).
extern const Win32Presenter ddraw_presenter;
// Program's thread: waits for the display's vertical blank and has the next
// presentation wait for it too. False when there was no blank to wait for
// (no DirectDraw, or the wait came back at once).
bool ddraw_wait_vertical_blank();

// The keyboard through DirectInput (display/directx/dinput_keyboard.cpp),
// driver thread: opened on the window, read into key_state, closed.
int dinput_keyboard_open(HWND window);
void dinput_keyboard_read(struct ScreenMode& mode);
void dinput_keyboard_close();

}  // namespace qz
