// road_bench: the time from MM_WIM_DATA to the results screen's first paint, on loopback
// against melodex-idd with the demo catalog (the whole Wesnoth soundtrack), over 20
// identifications of the same clip, and where it goes:
//   service    the service's own time for the request, from its access log: from the request's
//              first byte to the reply being ready (reading the body and identifying)
//   transport  the rest of the time until the client has read the reply: the analyzing screen's
//              start, the identification thread, the connection, the upload, the reply
//   handling   the reply on the user-interface thread: parsing, the album-art fetch, the save and
//              the switch to the results screen
//   painting   the results screen's first paint (its album art read back from the file)
// The client runs in this process under the virtual clock (the recording costs nothing); the
// request, the service, the album-art fetch, the save and the paint run in real time. Not a test:
// run it by hand, under nice.
//   build/tests/e2e/road_bench [runs]
#include <nlohmann/json.hpp>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "device/Device.h"
#include "net/NetCheckpoint.h"
#include "screens/ResultsScreen.h"
#include "support/ScreenRows.h"
#include "tests/e2e/E2ESupport.h"

using Clock = std::chrono::steady_clock;

namespace {

// When the first reply of a run was read: the identification's (the album-art fetch that
// follows passes the same checkpoint later).
std::atomic<Clock::rep> g_replyRead{0};
void NoteReplyRead(int point) {
  Clock::rep none = 0;
  if (point == CHECKPOINT_REPLY_READ) g_replyRead.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The `ms` of the service's POST requests, in the order they were answered.
std::vector<double> ServiceTimes(const std::string& accessLog) {
  std::vector<double> ms;
  std::ifstream in(accessLog);
  for (std::string line; std::getline(in, line);) {
    nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
    if (!entry.is_discarded() && entry.value("method", "") == "POST") ms.push_back(entry.value("ms", 0.0));
  }
  return ms;
}

struct Column {
  const char* name;
  std::vector<double> ms;
  double at(double q) const {
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    return sorted[std::min(sorted.size() - 1, static_cast<size_t>(q * (sorted.size() - 1) + 0.5))];
  }
};

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? atoi(argv[1]) : 20;
  if (runs < 1) return 1;
  const std::string music = melodex_e2e::kWesnothMusic;
  std::vector<std::string> tracks;
  for (const auto& entry : std::filesystem::directory_iterator(music)) tracks.push_back(entry.path().string());
  std::fprintf(stderr, "road_bench: catalog of %zu tracks (made once, then reused)\n", tracks.size());
  melodex_e2e::Material material = melodex_e2e::Make({"demo", tracks, 0, {{music + "/knolls.ogg", 40}}});
  std::string accessLog = (std::filesystem::temp_directory_path() / ("road_bench-" + std::to_string(getpid()) + ".log")).string();
  melodex_e2e::IdService service(material.catalog, accessLog);
  if (!service.ready()) {
    std::fprintf(stderr, "road_bench: melodex-idd did not start\n");
    return 1;
  }
  melodex_test::RouteEndpointTo(service.port());
  device::options().mic = material.clips[0];
  melodex_test::RoadClient client;
  melodex_test::Threads().next = NoteReplyRead;
  if (!client.boot()) return 1;
  client.driver.press(VK_RETURN);

  Column total{"MM_WIM_DATA to the results screen's first paint", {}}, transport{"transport", {}},
      handling{"parsing + album-art fetch + save", {}}, painting{"painting", {}};
  std::vector<double> untilRead;
  int matched = 0;
  for (int run = 0; run < runs; run++) {
    SwitchScreen(SCREEN_MAIN_MENU);
    client.driver.press(VK_RETURN);  // ID song!
    size_t started = client.countTrace("waveInStart hwi=");
    client.driver.advance(3000);
    melodex_test::WaitForTrace(client, "waveInStart hwi=", started + 1);
    client.driver.advance(10999);
    // The next millisecond delivers MM_WIM_DATA; everything after it runs in real time. The
    // reply's message is taken from the queue here, so that its handling and the paint that
    // follows are timed apart.
    g_replyRead = 0;
    Clock::time_point start = Clock::now();
    client.driver.advance(1);
    MSG reply;
    while (!PeekMessageW(&reply, g_hWnd, WM_USER, WM_USER, PM_REMOVE)) {
      if (Clock::now() - start > std::chrono::seconds(30)) {
        std::fprintf(stderr, "road_bench: run %d got no reply\n", run);
        return 1;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    DispatchMessageW(&reply);
    Clock::time_point handled = Clock::now();
    client.driver.runPending();
    Clock::time_point painted = Clock::now();
    if (g_nCurrentScreen != SCREEN_RESULTS) {
      std::fprintf(stderr, "road_bench: run %d did not reach the results screen\n", run);
      return 1;
    }
    Clock::time_point read{Clock::duration(g_replyRead.load())};
    total.ms.push_back(Ms(painted - start));
    untilRead.push_back(Ms(read - start));
    handling.ms.push_back(Ms(handled - read));
    painting.ms.push_back(Ms(painted - handled));
    if (((ResultsScreen*)g_screens[SCREEN_RESULTS])->record != nullptr) matched++;
  }
  service.stop();  // its access log is complete once it has ended
  Column serviceTime{"service (melodex-idd's own time)", ServiceTimes(accessLog)};
  std::remove(accessLog.c_str());
  if (serviceTime.ms.size() != static_cast<size_t>(runs)) {
    std::fprintf(stderr, "road_bench: the access log holds %zu identifications, not %d\n", serviceTime.ms.size(), runs);
    return 1;
  }
  for (int run = 0; run < runs; run++) transport.ms.push_back(untilRead[run] - serviceTime.ms[run]);

  std::printf("road_bench: %d runs (%d matched), ms                p50     p99\n", runs, matched);
  for (const Column* column : {&serviceTime, &transport, &handling, &painting, &total})
    std::printf("  %-48s %7.1f %7.1f\n", column->name, column->at(0.5), column->at(0.99));
  return 0;
}
