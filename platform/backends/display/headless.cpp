// The headless display: shows nothing; the screen is read through snaps and the test driver.
#include "backends/display/DisplayBackend.h"

namespace device {
namespace {

class HeadlessDisplay : public DisplayBackend {
 public:
  void present(const Surface&) override {}
  void wait(std::unique_lock<std::mutex>& lk, std::condition_variable& cv,
            std::optional<uint64_t> realTimeoutMs) override {
    if (realTimeoutMs) cv.wait_for(lk, std::chrono::milliseconds(*realTimeoutMs));
    else cv.wait(lk);
  }
  void wake() override {}  // the platform notifies the condition variable itself
};

}  // namespace

std::unique_ptr<DisplayBackend> CreateHeadlessDisplay() { return std::make_unique<HeadlessDisplay>(); }

}  // namespace device
