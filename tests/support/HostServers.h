// The host around the emulated phone, made private to one test: child processes, a sound server
// (PulseAudio) whose null sink is the room's loudspeaker and whose virtual microphone hears what
// the loudspeaker plays, and an X server (Xvfb) with real key events (xdotool) and window
// captures (xwd). Each test gets its own servers in its own temporary folder, so tests run in
// parallel without meeting each other or the desktop of whoever runs them.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace melodex_test {

// A fresh folder under the temporary directory, mode 0700 (what a sound server's runtime folder
// must be), removed with everything in it when the owner is destroyed.
class TempFolder {
 public:
  explicit TempFolder(const std::string& stem) {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + stem + "-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty() && !kept_) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Leaves the folder behind, for a person to look at what a failed test saw.
  void keep() { kept_ = true; }

 private:
  std::string path_;
  bool kept_ = false;
};

// A child process: argv[0] is found on PATH, `env` entries ("NAME=value") are added to this
// process's environment, standard output and error go to the files named (or /dev/null).
// Destroying it ends it (SIGTERM, then SIGKILL after two seconds) and reaps it.
class Subprocess {
 public:
  Subprocess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
             const std::string& out = "/dev/null", const std::string& err = "/dev/null") {
    std::vector<std::string> environment = env;
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      std::string name = entry.substr(0, entry.find('='));
      bool replaced = false;
      for (const std::string& mine : env) replaced = replaced || mine.rfind(name + "=", 0) == 0;
      if (!replaced) environment.push_back(entry);
    }
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Subprocess() { stop(); }
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Whether the process is still running (it is reaped when it has ended).
  bool running() {
    if (pid_ <= 0 || exited_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      exited_ = true;
      status_ = status;
    }
    return !exited_;
  }
  // Waits up to `ms` for the process to end; its exit status, or -1 when it is still running or
  // was killed by a signal.
  int wait(int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (running() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!exited_) return -1;
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }
  void stop() {
    if (!running()) return;
    kill(pid_, SIGTERM);
    if (wait(2000) == -1 && running()) {
      kill(pid_, SIGKILL);
      wait(2000);
    }
  }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
};

// A text file's whole content; empty when it cannot be read.
inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs a command to its end and returns its standard output; *status gets its exit status
// (-1 when it could not run or was killed).
inline std::string RunForOutput(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                                int* status = nullptr) {
  TempFolder folder("melodex-run");
  int code = -1;
  {
    Subprocess p(argv, env, folder / "out");
    if (p.started()) code = p.wait(60000);
  }
  if (status) *status = code;
  return ReadText(folder / "out");
}

// Polls `ready` every 20 ms until it holds or `ms` of real time have passed.
inline bool PollUntil(const std::function<bool()>& ready, int ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (ready()) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// A PulseAudio server of the test's own. Its one sink, "speaker", plays into nothing; with a
// microphone, the source "mic" hears exactly what the speaker plays (a remapped monitor: sound
// servers and SDL list a monitor as no microphone, a remapped one as a real one).
class SoundServer {
 public:
  explicit SoundServer(bool withMicrophone) : folder_("melodex-pulse") {
    std::vector<std::string> argv = {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                     "--use-pid-file=no", "--disable-shm=yes", "--log-target=stderr",
                                     "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket(),
                                     "-L", "module-null-sink sink_name=speaker"};
    if (withMicrophone) {
      argv.push_back("-L");
      argv.push_back("module-remap-source master=speaker.monitor source_name=mic");
    }
    // The server keeps its state under HOME and XDG_RUNTIME_DIR: this test's folder.
    daemon_ = std::make_unique<Subprocess>(
        argv, std::vector<std::string>{"HOME=" + folder_.path(), "XDG_RUNTIME_DIR=" + folder_.path()}, "/dev/null",
        folder_ / "pulseaudio.log");
    ready_ = PollUntil([&] { return RunForOutput({"pactl", "info"}, clientEnv()).find("Default Sink: speaker") != std::string::npos; },
                       20000);
  }
  ~SoundServer() {
    player_.reset();
    daemon_.reset();
  }
  SoundServer(const SoundServer&) = delete;
  SoundServer& operator=(const SoundServer&) = delete;

  bool ready() const { return ready_; }
  std::string server() const { return "unix:" + socket(); }
  // The environment that points a client (SDL's pulseaudio driver, pactl, paplay) at this server.
  std::vector<std::string> clientEnv() const {
    return {"PULSE_SERVER=" + server(), "SDL_AUDIODRIVER=pulseaudio", "HOME=" + folder_.path()};
  }
  // Plays a sound file on the speaker and returns once it is playing. The player's 300 ms of
  // buffer ride out a busy machine: with a few milliseconds it underruns, and the speaker plays
  // the song with gaps.
  bool play(const std::string& file) {
    player_ = std::make_unique<Subprocess>(
        std::vector<std::string>{"paplay", "--device=speaker", "--latency-msec=300", file}, clientEnv());
    return PollUntil([&] { return !RunForOutput({"pactl", "list", "short", "sink-inputs"}, clientEnv()).empty(); }, 20000);
  }

 private:
  std::string socket() const { return folder_ / "native"; }
  TempFolder folder_;
  std::unique_ptr<Subprocess> daemon_;
  std::unique_ptr<Subprocess> player_;
  bool ready_ = false;
};

// Points this process's own SDL audio at a sound server: sets each environment entry
// ("NAME=value", as clientEnv() gives them) before SDL's audio starts.
inline void PointSdlAt(const std::vector<std::string>& env) {
  for (const std::string& e : env) {
    size_t eq = e.find('=');
    setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
  }
}

// `seconds` of a sound file from `from` seconds on, decoded by sox into `folder` as the 44.1 kHz
// stereo WAV a loudspeaker plays; empty when sox could not cut it.
inline std::string Excerpt(const TempFolder& folder, const std::string& track, int from, int seconds) {
  const std::string out = folder / (std::filesystem::path(track).stem().string() + "-" + std::to_string(from) + ".wav");
  int status = -1;
  RunForOutput({"sox", track, "-r", "44100", "-c", "2", "-b", "16", out, "trim", std::to_string(from),
                std::to_string(seconds)},
               {}, &status);
  return status == 0 ? out : "";
}

// An X server of the test's own (Xvfb, 24-bit colour), with the phone's window found by its
// title, real key presses through the XTEST extension (xdotool) and captures of a window (xwd).
class XServer {
 public:
  XServer() : folder_("melodex-x") {
    // -displayfd: the server picks a free display number and writes it when it is ready.
    // -noreset: by default the server starts over each time its last client leaves, and every
    // xdotool call is a client that leaves; a phone connecting during such a reset is refused.
    const std::string numberFile = folder_ / "display";
    std::string command =
        "exec Xvfb -displayfd 3 -noreset -screen 0 800x800x24 -nolisten tcp 3>'" + numberFile + "'";
    server_ = std::make_unique<Subprocess>(std::vector<std::string>{"sh", "-c", command}, std::vector<std::string>{},
                                           "/dev/null", folder_ / "xvfb.log");
    PollUntil([&] {
      std::ifstream in(numberFile);
      std::string number;
      if (!(in >> number)) return false;
      display_ = ":" + number;
      return true;
    }, 20000);
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool ready() const { return !display_.empty(); }
  const std::string& display() const { return display_; }
  std::vector<std::string> clientEnv() const { return {"DISPLAY=" + display_}; }

  // The id of the first window whose title matches `pattern` (a regular expression), waiting
  // up to `ms` for it to be mapped; 0 when none appeared.
  unsigned long findWindow(const std::string& pattern, int ms) const {
    unsigned long id = 0;
    PollUntil([&] {
      std::string out = RunForOutput({"xdotool", "search", "--onlyvisible", "--name", pattern}, clientEnv());
      id = std::strtoul(out.c_str(), nullptr, 10);
      return id != 0;
    }, ms);
    return id;
  }
  // The titles of every window on the display, one a line, for a failure report.
  std::string windowTitles() const {
    return RunForOutput({"xdotool", "search", "--name", ".", "getwindowname", "%@"}, clientEnv());
  }
  // What the server wrote to its standard error.
  std::string log() const { return ReadText(folder_ / "xvfb.log"); }
  // Gives the window the keyboard focus and presses and releases each key (X key names: Down,
  // Return, Escape, F1 …) as a person at the keyboard would.
  bool pressKeys(unsigned long window, const std::vector<std::string>& keys) const {
    int status = -1;
    RunForOutput({"xdotool", "windowfocus", "--sync", std::to_string(window)}, clientEnv(), &status);
    if (status != 0) return false;
    std::vector<std::string> argv = {"xdotool", "key", "--delay", "50"};
    argv.insert(argv.end(), keys.begin(), keys.end());
    RunForOutput(argv, clientEnv(), &status);
    return status == 0;
  }

  // A window's pixels as the X server holds them, 0x00RRGGBB, row by row.
  struct Capture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
  };
  // Captures a window with xwd and decodes its ZPixmap image (24-bit depth, 32 bits a pixel).
  bool capture(unsigned long window, Capture* out) const {
    const std::string file = folder_ / "capture.xwd";
    int status = -1;
    RunForOutput({"sh", "-c", "xwd -silent -id " + std::to_string(window) + " > '" + file + "'"}, clientEnv(), &status);
    if (status != 0) return false;
    std::ifstream in(file, std::ios::binary);
    std::string xwd((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The header is 25 big-endian 32-bit fields, the window's name after them.
    auto field = [&](size_t i) -> uint32_t {
      if (xwd.size() < 4 * (i + 1)) return 0;
      const auto* b = reinterpret_cast<const unsigned char*>(xwd.data() + 4 * i);
      return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
    };
    const uint32_t headerSize = field(0), format = field(2), width = field(4), height = field(5),
                   byteOrder = field(7), bitsPerPixel = field(11), bytesPerLine = field(12),
                   colours = field(19);
    const size_t start = headerSize + static_cast<size_t>(colours) * 12;
    const uint32_t redMask = field(14), greenMask = field(15), blueMask = field(16);
    if (format != 2 || bitsPerPixel != 32 || redMask != 0xFF0000 || greenMask != 0xFF00 || blueMask != 0xFF ||
        xwd.size() < start + static_cast<size_t>(bytesPerLine) * height)
      return false;
    out->width = static_cast<int>(width);
    out->height = static_cast<int>(height);
    out->pixels.resize(static_cast<size_t>(width) * height);
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x) {
        const auto* p = reinterpret_cast<const unsigned char*>(xwd.data() + start + y * bytesPerLine + x * 4);
        const uint32_t v = byteOrder == 0 ? (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0]
                                          : (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
        out->pixels[static_cast<size_t>(y) * width + x] = v & 0xFFFFFF;
      }
    return true;
  }

 private:
  TempFolder folder_;
  std::unique_ptr<Subprocess> server_;
  std::string display_;
};

}  // namespace melodex_test
