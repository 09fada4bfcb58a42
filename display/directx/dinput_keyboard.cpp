// key_state from DirectInput's keyboard: its key codes are scan codes, the
// extended ones with the top bit set, folded onto the same entries as the
// window messages' keys.

#include <algorithm>
#include <array>

#include "display/directx/directx_state.h"
#include "display/screen_mode.h"
#include "display/win32/com_ref.h"

namespace qz {

namespace {

struct DinputKeyboard {
  ComRef<IDirectInputA> input;
  ComRef<IDirectInputDeviceA> device;
};
DinputKeyboard& g_keyboard = *new DinputKeyboard;  // never destroyed, as the presentation

}  // namespace

int dinput_keyboard_open(HWND window) {
  const DirectXEntries& entries = directx_entries();
  if (FAILED(entries.direct_input_create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, g_keyboard.input.put(),
                                         nullptr)) ||
      FAILED(g_keyboard.input->CreateDevice(GUID_SysKeyboard, g_keyboard.device.put(), nullptr)) ||
      FAILED(g_keyboard.device->SetDataFormat(&c_dfDIKeyboard)) ||
      FAILED(g_keyboard.device->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND))) {
    dinput_keyboard_close();
    return -1;
  }
  g_keyboard.device->Acquire();  // may fail until the window has the focus
  return 0;
}

void dinput_keyboard_read(ScreenMode& mode) {
  if (!g_keyboard.device) return;
  std::array<BYTE, 256> keys{};
  HRESULT result = g_keyboard.device->GetDeviceState(DWORD(keys.size()), keys.data());
  if (result == DIERR_INPUTLOST || result == DIERR_NOTACQUIRED) {
    // Focus came back or went: take the keyboard again; without it, no key
    // counts as held.
    if (FAILED(g_keyboard.device->Acquire()) ||
        FAILED(g_keyboard.device->GetDeviceState(DWORD(keys.size()), keys.data())))
      keys.fill(0);
  } else if (FAILED(result)) {
    return;
  }
  mode.key_state.fill(0);
  for (std::size_t code = 1; code < keys.size(); ++code)
    if (keys[code] & 0x80) mode.key_state[code & 0x7F] = 1;
}

void dinput_keyboard_close() {
  if (g_keyboard.device) g_keyboard.device->Unacquire();
  g_keyboard.device.reset();
  g_keyboard.input.reset();
}

}  // namespace qz
