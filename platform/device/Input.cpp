#include "device/Input.h"

#include <cstdlib>
#include <cstring>

#include "device/Trace.h"
#include "user32/host.h"

namespace device {

UINT VirtualKeyFromName(const std::string& rawName) {
  std::string name = rawName.rfind("VK_", 0) == 0 ? rawName.substr(3) : rawName;
  struct Named {
    const char* name;
    UINT vk;
  };
  static const Named kKeys[] = {
      {"RETURN", VK_RETURN},   {"ENTER", VK_RETURN},     {"ESCAPE", VK_ESCAPE}, {"BACKKEY", VK_ESCAPE},
      {"LEFT", VK_LEFT},       {"UP", VK_UP},            {"RIGHT", VK_RIGHT},   {"DOWN", VK_DOWN},
      {"F1", VK_F1},           {"F2", VK_F2},            {"F3", VK_F3},         {"TALK", VK_F3},
      {"SOFT1", VK_F1},        {"SOFT2", VK_F2},         {"BACK", VK_BACK},     {"DELETE", VK_DELETE},
      {"VOLUME_UP", VK_VOLUME_UP}, {"VOLUME_DOWN", VK_VOLUME_DOWN},
  };
  for (const Named& k : kKeys)
    if (name == k.name) return k.vk;
  if (name.size() == 1 && name[0] >= '0' && name[0] <= '9') return static_cast<UINT>(name[0]);
  char* end = nullptr;
  long value = std::strtol(name.c_str(), &end, 0);
  if (!name.empty() && end && *end == 0 && value > 0 && value < 256) return static_cast<UINT>(value);
  return 0;
}

void DeliverKey(bool down, UINT vk) {
  if (!user32::host::AnyWindowVisible()) {
    // The home screen has the keys: the action key starts Melodex, which finds the running
    // window and brings it forward as a second start would.
    HWND hidden = user32::host::FindTopLevelWindow(nullptr, nullptr);
    if (hidden && !down && vk == VK_RETURN) {
      TRACE_CALL("shell", "home screen: starting Melodex");
      SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(hidden) | 1));
    }
    return;
  }
  user32::host::DeliverKey(down, vk);
}

void HostFocusChanged(bool focused) {
  HWND fg = GetForegroundWindow();
  if (!fg) return;
  TRACE_CALL("shell", "host window %s the focus", focused ? "gained" : "lost");
  SendMessageW(fg, WM_ACTIVATE, focused ? WA_ACTIVE : WA_INACTIVE, 0);
}

}  // namespace device
