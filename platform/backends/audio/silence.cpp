// The silent microphone: the headless default when no --mic is given. Like SDL's
// dummy driver it only has to keep time, and the wave-in device does that by the clock.
#include <algorithm>

#include "backends/audio/AudioBackend.h"

namespace device {
namespace {

class SilenceCapture final : public CaptureStream {
 public:
  void start() override {}
  void stop() override {}
  void read(std::span<int16_t> out) override { std::fill(out.begin(), out.end(), int16_t{0}); }
};

}  // namespace

std::unique_ptr<CaptureStream> OpenSilenceCapture() { return std::make_unique<SilenceCapture>(); }

}  // namespace device
