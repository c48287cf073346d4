// The pieces of the whole-road scenarios: a catalog built with melodex-catalog from packaged
// music, microphone clips made with melodex-micsim, both made once per test binary in a
// temporary folder (the tests run in processes of their own; a lock file lets the first make
// them and the others wait), and melodex-idd run as a process on a free loopback port.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace melodex_e2e {

namespace fs = std::filesystem;

const char kWesnothMusic[] = "/usr/share/games/wesnoth/1.16/data/core/music";
const char kForeignMusic[] = "/usr/share/games/asc/music";

inline std::string Tool(const std::string& relative) { return std::string(MELODEX_BINARY_DIR) + "/" + relative; }

// Starts a program with its output to /dev/null (posix_spawn: the test process has threads).
inline pid_t Spawn(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Runs a program to its end. True when it exited with 0.
inline bool Run(const std::vector<std::string>& argv) {
  pid_t pid = Spawn(argv);
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The made material: a catalog of `tracks` (their first `seconds` seconds) and one clip of
// each clip source (file, at seconds) as the phone's microphone would hear it (WAV files).
struct Material {
  std::string catalog;
  std::vector<std::string> clips;
};

struct Recipe {
  std::string name;  // names the folder, with the test binary's build
  std::vector<std::string> tracks;
  double seconds;    // 0: whole tracks
  std::vector<std::pair<std::string, double>> clips;
};

// Makes the material once for this test binary and the tools that make it (keyed by the
// binary's path and the modification times of all three): a catalog tool that changed its
// format makes a new catalog.
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
    if (recipe.seconds > 0) {
      build.push_back("--seconds");
      build.push_back(std::to_string(recipe.seconds));
    }
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

// A port nobody listens on right now.
inline int FreePort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  close(s);
  return ntohs(addr.sin_port);
}

inline bool Accepting(int port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(s);
  return ok;
}

// Keeps a loopback port bound but not listening, so that connections to it are refused and no
// other server of a test running beside this one takes it.
class HeldPort {
 public:
  explicit HeldPort(int port) : socket_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    held_ = bind(socket_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~HeldPort() { close(socket_); }
  HeldPort(const HeldPort&) = delete;
  HeldPort& operator=(const HeldPort&) = delete;
  bool held() const { return held_; }

 private:
  int socket_;
  bool held_ = false;
};

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

// melodex-idd serving a catalog on 127.0.0.1, stopped (SIGTERM) when destroyed; its access log
// goes to accessLog when one is named.
class IdService {
 public:
  explicit IdService(const std::string& catalog, const std::string& accessLog = "") : port_(FreePort()) {
    std::vector<std::string> argv = {Tool("service/melodex-idd"), "--catalog", catalog, "--port", std::to_string(port_),
                                     "--threads", "2"};
    if (!accessLog.empty()) argv.insert(argv.end(), {"--access-log", accessLog});
    pid_ = Spawn(argv);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!Accepting(port_) && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~IdService() { stop(); }
  IdService(const IdService&) = delete;
  IdService& operator=(const IdService&) = delete;

  int port() const { return port_; }
  // Stops the process where it stands (SIGSTOP): the system still accepts connections for it,
  // but nothing is ever answered.
  void freeze() {
    if (pid_ > 0) kill(pid_, SIGSTOP);
  }
  bool ready() const { return Accepting(port_); }
  // SIGTERM, as an operator stops it; a service that has not ended after 3 s (a stop that
  // comes while it is still starting can be lost) is killed.
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    kill(pid_, SIGCONT);  // a frozen service takes its SIGTERM once it runs again
    bool ended = false;
    for (int i = 0; i < 300 && !ended; i++) {
      ended = waitpid(pid_, nullptr, WNOHANG) == pid_;
      if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!ended) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }

 private:
  int port_;
  pid_t pid_ = -1;
};

}  // namespace melodex_e2e
