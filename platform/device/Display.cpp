#include "device/Display.h"

#include <cstdio>
#include <cstdlib>

#include "device/Boot.h"
#include "device/Device.h"
#include "device/Input.h"

namespace device {
namespace {

// The display's way back into the phone: keys and focus go to the phone's input, closing the
// emulator's window switches the phone off.
class Phone final : public PhoneInput {
 public:
  void key(bool down, unsigned int vk) override { DeliverKey(down, vk); }
  void focus(bool gained) override { HostFocusChanged(gained); }
  void switchOff() override { EndProcess(0); }
};

std::unique_ptr<DisplayBackend>& current() {
  static std::unique_ptr<DisplayBackend>* backend = new std::unique_ptr<DisplayBackend>();
  return *backend;
}

std::function<void()>& idleHook() {
  static std::function<void()> hook;
  return hook;
}

}  // namespace

DisplayBackend& display() {
  std::unique_ptr<DisplayBackend>& backend = current();
  if (!backend) {
    const Options& o = options();
    if (!o.headless) {
      static Phone phone;
      backend = CreateSdlDisplay(o.profile.width, o.profile.height, o.scale, phone);
      if (!backend) {
        fprintf(stderr, "melodex: cannot open a window on this display; run with --headless\n");
        std::exit(1);
      }
    } else {
      backend = CreateHeadlessDisplay();
    }
  }
  return *backend;
}

void SetDisplay(std::unique_ptr<DisplayBackend> backend) { current() = std::move(backend); }

void ShowNotice(const std::string& utf8) { display().notice(utf8); }

void SetIdleHook(std::function<void()> hook) { idleHook() = std::move(hook); }

bool RunIdleHook() {
  if (!idleHook()) return false;
  idleHook()();
  return true;
}

}  // namespace device
