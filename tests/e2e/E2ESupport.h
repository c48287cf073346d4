// The pieces of the whole-road scenarios: a catalog built with melodex-catalog from packaged
// music, microphone clips made with melodex-micsim, both made once per test binary in a
// temporary folder (the tests run in processes of their own; a lock file lets the first make
// them and the others wait), and melodex-idd run as a process on a free loopback port.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/HostServers.h"

namespace melodex_e2e {

namespace fs = std::filesystem;
using melodex_test::Subprocess;

const char kWesnothMusic[] = "/usr/share/games/wesnoth/1.16/data/core/music";
const char kForeignMusic[] = "/usr/share/games/asc/music";

inline std::string Tool(const std::string& relative) { return std::string(MELODEX_BINARY_DIR) + "/" + relative; }

// Runs a program to its end. True when it exited with 0.
inline bool Run(const std::vector<std::string>& argv) { return Subprocess(argv).wait(600000) == 0; }

// The made material: a catalog of `tracks` (their first `seconds` seconds, 0: whole) and one
// clip of each clip source (file, at seconds) as the phone's microphone would hear it.
struct Material {
  std::string catalog;
  std::vector<std::string> clips;
};
struct Recipe {
  std::string name;  // names the folder, with the test binary's build
  std::vector<std::string> tracks;
  double seconds;
  std::vector<std::pair<std::string, double>> clips;
};

// Made once for this test binary and the tools that make it (keyed by the binary's path and the
// modification times of all three): a catalog tool that changed its format makes a new catalog.
inline Material Make(const Recipe& recipe) {
  size_t key = std::hash<std::string>()(fs::read_symlink("/proc/self/exe").string());
  for (const std::string& file : {std::string("/proc/self/exe"), Tool("tools/catalog/melodex-catalog"),
                                  Tool("tools/micsim/melodex-micsim")}) {
    struct stat made {};
    stat(file.c_str(), &made);
    key = key * 31 + static_cast<size_t>(made.st_mtime);
  }
  fs::path dir = fs::temp_directory_path() / ("melodex-e2e-" + recipe.name + "-" + std::to_string(key));
  fs::create_directories(dir);
  Material material;
  material.catalog = (dir / "catalog").string();
  for (size_t k = 0; k < recipe.clips.size(); k++) material.clips.push_back((dir / ("clip" + std::to_string(k) + ".wav")).string());
  int lock = open((dir / "lock").c_str(), O_CREAT | O_RDWR, 0644);
  flock(lock, LOCK_EX);
  if (!fs::exists(dir / "ready")) {
    fs::remove_all(dir / "music");
    fs::create_directories(dir / "music");
    for (const std::string& track : recipe.tracks) fs::create_symlink(track, dir / "music" / fs::path(track).filename());
    std::vector<std::string> build = {Tool("tools/catalog/melodex-catalog"), "build", (dir / "music").string(), "-o",
                                      material.catalog, "--quiet"};
    if (recipe.seconds > 0) build.insert(build.end(), {"--seconds", std::to_string(recipe.seconds)});
    bool ok = Run(build);
    for (size_t k = 0; ok && k < recipe.clips.size(); k++)
      ok = Run({Tool("tools/micsim/melodex-micsim"), recipe.clips[k].first, "--at", std::to_string(recipe.clips[k].second),
                "--format", "wav", "--snr", "20", "-o", material.clips[k]});
    if (ok) close(open((dir / "ready").c_str(), O_CREAT | O_WRONLY, 0644));
  }
  flock(lock, LOCK_UN);
  close(lock);
  return material;
}

inline sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  return addr;
}

// A port nobody listens on right now.
inline int FreePort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = Loopback(0);
  bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  close(s);
  return ntohs(addr.sin_port);
}

inline bool Accepting(int port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = Loopback(port);
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(s);
  return ok;
}

// Binds a loopback port without listening, so that connections to it are refused and no other
// test's server takes it; the socket stays open until the process ends.
inline bool HoldPort(int port) {
  sockaddr_in addr = Loopback(port);
  return bind(socket(AF_INET, SOCK_STREAM, 0), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

// The road's material: a catalog of Battle Music by Aleksi Aubry-Carlson and two tracks by
// another artist; clip 0 is Battle Music 11 s in, clip 1 music the catalog does not hold.
inline const Material& RoadMaterial() {
  static const Material material =
      Make({"road",
            {std::string(kWesnothMusic) + "/battle.ogg", std::string(kWesnothMusic) + "/knolls.ogg",
             std::string(kWesnothMusic) + "/wanderer.ogg"},
            30,
            {{std::string(kWesnothMusic) + "/battle.ogg", 11}, {std::string(kForeignMusic) + "/frontiers.mp3", 40}}});
  return material;
}

// melodex-idd serving a catalog on 127.0.0.1, stopped when destroyed; its access log goes to
// accessLog when one is named.
class IdService {
 public:
  explicit IdService(const std::string& catalog, const std::string& accessLog = "") : port_(FreePort()) {
    std::vector<std::string> argv = {Tool("service/melodex-idd"), "--catalog", catalog, "--port", std::to_string(port_),
                                     "--threads", "2"};
    if (!accessLog.empty()) argv.insert(argv.end(), {"--access-log", accessLog});
    process_ = std::make_unique<Subprocess>(argv);
    melodex_test::PollUntil([this] { return Accepting(port_); }, 20000);
  }
  int port() const { return port_; }
  bool ready() const { return Accepting(port_); }
  // Stops the process where it stands (SIGSTOP): the system still accepts connections for it,
  // but nothing is ever answered.
  void freeze() { kill(process_->pid(), SIGSTOP); }
  // A frozen service runs again first, to take its SIGTERM.
  void stop() {
    if (process_->running()) kill(process_->pid(), SIGCONT);
    process_->stop();
  }

 private:
  int port_;
  std::unique_ptr<Subprocess> process_;
};

}  // namespace melodex_e2e
