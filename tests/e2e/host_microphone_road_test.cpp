// The road of one identification with the host's microphone: a sound server of the test's own
// plays Battle Music on its loudspeaker, the phone (in this process) records it through SDL's
// capture as the windowed phone does, and melodex-idd on a loopback port, serving the road's
// catalog, names it. A relay in front of the service keeps the request body it passed on.
//
// The real clock runs the whole road: SDL's capture delivers samples in real time, so the 11 s
// recording takes 11 s and the virtual clock cannot stand in for it. The road's timings are
// pinned down under the virtual clock by the road's other tests; this one waits for screens.
#include <gtest/gtest.h>
#include <windows.h>

#include <sys/socket.h>

#include <mutex>
#include <string>

#include "audio/AudioRecorder.h"
#include "audio/RecordingBuffer.h"
#include "device/Clock.h"
#include "device/Device.h"
#include "platform/wininet/LoopbackServer.h"
#include "screens/ResultsScreen.h"
#include "store/TagRecord.h"
#include "support/HostServers.h"
#include "support/ScreenRows.h"
#include "tests/e2e/E2ESupport.h"

namespace {

using testing_net::LoopbackServer;

// Passes each request on to the service at `port` and its answer back; keeps the body of the
// last POST, as the service received it.
class Relay {
 public:
  explicit Relay(int port) : server_([this, port](LoopbackServer& s, int fd, const LoopbackServer::Request& r) {
    if (r.head.rfind("POST ", 0) == 0) {
      std::lock_guard<std::mutex> lk(mutex_);
      posted_ = r.body;
    }
    s.sendAll(fd, Forward(port, r.head + "\r\n" + r.body));
  }) {}
  int port() const { return server_.port(); }
  std::string posted() {
    std::lock_guard<std::mutex> lk(mutex_);
    return posted_;
  }

 private:
  // Sends the request, half-closes, and reads the answer up to the service's close (30 s at most).
  static std::string Forward(int port, const std::string& request) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    timeval bound{30, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    std::string answer;
    if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        send(s, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
      shutdown(s, SHUT_WR);
      char buffer[65536];
      for (ssize_t n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, static_cast<size_t>(n));
    }
    close(s);
    return answer;
  }

  std::mutex mutex_;
  std::string posted_;
  LoopbackServer server_;  // last: its thread stops before the rest goes
};

uint32_t Little(const std::string& bytes, size_t at, size_t size) {
  uint32_t v = 0;
  for (size_t i = 0; i < size; i++) v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return v;
}

}  // namespace

TEST(HostMicrophoneRoad, TheSongPlayingInTheRoomIsNamedFromTheRecordingSent) {
  melodex_test::TempFolder folder("melodex-host-road");
  melodex_test::SoundServer sound(/*withMicrophone=*/true);
  ASSERT_TRUE(sound.ready());
  melodex_test::PointSdlAt(sound.clientEnv());
  melodex_e2e::IdService service(melodex_e2e::RoadMaterial().catalog);
  ASSERT_TRUE(service.ready());
  Relay relay(service.port());
  melodex_test::RouteEndpointTo(relay.port());

  melodex_test::RoadClient client;
  // A phone with a window and no --mic records from the host, on the real clock.
  device::options().headless = false;
  device::Clock::useVirtual(false);
  // Battle Music from 5 s on: the recording, 3 s after ID song!, hears its loud part, well
  // inside the 30 s of it that the catalog holds.
  const std::string song = melodex_test::Excerpt(folder, std::string(melodex_e2e::kWesnothMusic) + "/battle.ogg", 5, 25);
  ASSERT_FALSE(song.empty());
  ASSERT_TRUE(sound.play(song));

  melodex_test::BootToMainMenu(client);
  melodex_test::ChooseIdSong(client);
  // The get-ready pause, 11 s of recording, the service's answer: 60 s is ample on a busy machine.
  ASSERT_TRUE(melodex_test::RunUntil(client, [] { return g_nCurrentScreen == SCREEN_RESULTS; }, 60000))
      << "stuck on screen " << g_nCurrentScreen;
  EXPECT_EQ(client.countTrace("PlaySoundW #160"), 1u) << "the analyzing screen was not shown";
  TagRecord* record = ((ResultsScreen*)g_screens[SCREEN_RESULTS])->record;
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(std::u16string(record->artist), u"Aleksi Aubry-Carlson");
  EXPECT_EQ(std::u16string(record->trackTitle), u"Battle Music");

  // The service received the recording buffer itself: its WAV header says 8000 Hz, one channel,
  // two bytes a sample, and the samples are the ones SDL's capture delivered.
  const std::string body = relay.posted();
  ASSERT_EQ(body.size(), size_t{RECORDING_BUFFER_SIZE});
  EXPECT_EQ(body.substr(0, 4) + body.substr(8, 4), "RIFFWAVE");
  EXPECT_EQ(Little(body, 20, 2), 1u);     // PCM
  EXPECT_EQ(Little(body, 22, 2), 1u);     // mono
  EXPECT_EQ(Little(body, 24, 4), 8000u);  // samples per second
  EXPECT_EQ(Little(body, 32, 2), 2u);     // bytes per sample
  EXPECT_EQ(body, std::string(reinterpret_cast<const char*>(g_recorder->buffer), g_recorder->bufferSize));
}
