// road_bench: the time from MM_WIM_DATA to the results screen's first paint, on loopback
// against melodex-idd with the demo catalog (the whole Wesnoth soundtrack), over 20
// identifications of the same clip. The client runs in this process under the virtual clock
// (the recording costs nothing); the request, the service, the album-art fetch, the save and the
// paint run in real time. Not a test: run it by hand, under nice.
//   build/tests/e2e/road_bench [runs]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "device/Device.h"
#include "screens/ResultsScreen.h"
#include "support/ScreenRows.h"
#include "tests/e2e/E2ESupport.h"

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  int runs = argc > 1 ? atoi(argv[1]) : 20;
  const std::string music = melodex_e2e::kWesnothMusic;
  std::vector<std::string> tracks;
  for (const auto& entry : std::filesystem::directory_iterator(music)) tracks.push_back(entry.path().string());
  std::fprintf(stderr, "road_bench: catalog of %zu tracks (made once, then reused)\n", tracks.size());
  melodex_e2e::Material material = melodex_e2e::Make({"demo", tracks, 0, {{music + "/knolls.ogg", 40}}});
  melodex_e2e::IdService service(material.catalog);
  if (!service.ready()) {
    std::fprintf(stderr, "road_bench: melodex-idd did not start\n");
    return 1;
  }
  melodex_test::RouteEndpointTo(service.port());
  device::options().mic = material.clips[0];
  melodex_test::RoadClient client;
  if (!client.boot()) return 1;
  client.driver.press(VK_RETURN);

  std::vector<double> ms;
  int matched = 0;
  for (int run = 0; run < runs; run++) {
    SwitchScreen(SCREEN_MAIN_MENU);
    client.driver.press(VK_RETURN);  // ID song!
    size_t started = client.countTrace("waveInStart hwi=");
    client.driver.advance(3000);
    melodex_test::WaitForTrace(client, "waveInStart hwi=", started + 1);
    client.driver.advance(10999);
    // The next millisecond delivers MM_WIM_DATA; everything after it runs in real time. The
    // results screen's first paint is part of the pass in which it became current.
    Clock::time_point start = Clock::now();
    client.driver.advance(1);
    bool shown = melodex_test::RunUntil(client, [] { return g_nCurrentScreen == SCREEN_RESULTS; }, 30000);
    double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!shown) {
      std::fprintf(stderr, "road_bench: run %d did not reach the results screen\n", run);
      return 1;
    }
    ms.push_back(elapsed);
    if (((ResultsScreen*)g_screens[SCREEN_RESULTS])->record != nullptr) matched++;
  }
  std::sort(ms.begin(), ms.end());
  auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<size_t>(q * (ms.size() - 1) + 0.5))]; };
  std::printf("MM_WIM_DATA to the results screen's first paint, %d runs (%d matched): p50 %.1f ms, p99 %.1f ms, min %.1f, max %.1f\n",
              runs, matched, at(0.5), at(0.99), ms.front(), ms.back());
  return 0;
}
