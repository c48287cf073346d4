// Input from the host to the phone: keys and the host window's focus.
#pragma once

#include <windows.h>

#include <string>

namespace device {

// The virtual key for a script's key name: "RETURN", "ESCAPE", "LEFT", "UP", "RIGHT", "DOWN",
// "F1", "F2", "F3", "BACK", "DELETE", "VOLUME_UP", "VOLUME_DOWN", "0" … "9", also with a "VK_"
// prefix, or a number; 0 when unknown.
UINT VirtualKeyFromName(const std::string& name);

// A key pressed (down) or released on the phone. While the program's window is hidden the
// home screen has the keys: releasing the action key there starts Melodex again, which brings
// the running window back through the single-instance path.
void DeliverKey(bool down, UINT vk);

// The host window gained or lost the focus: WM_ACTIVATE to the foreground window.
void HostFocusChanged(bool focused);

}  // namespace device
