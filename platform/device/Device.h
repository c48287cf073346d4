// The emulated phone's settings: where its storage lives, which screen it has, how it is shown.
// Filled once from the command line (or by the test driver) before the program starts; read-only
// afterwards.
#pragma once

#include <string>
#include <vector>

namespace device {

// Heights of the shell's bars: the status bar at the top of the screen, always shown, and the
// home screen's own soft-key menu bar at the bottom, shown with the home screen only.
constexpr int kStatusBarHeight = 26;
constexpr int kMenuBarHeight = 26;

struct Profile {
  std::string name;  // "qvga", "square", "landscape", "qvga-square"
  int width;
  int height;
};
// The profile by name; false when the name is unknown.
bool FindProfile(const std::string& name, Profile* out);

struct NetMapEntry {
  std::string from;  // "host:port" as the program names it
  std::string to;    // "addr:port" it is sent to
};

struct Options {
  std::string root;               // host folder holding the phone's file system
  Profile profile{"qvga", 240, 320};
  int scale = 2;                  // SDL window scale
  bool headless = false;
  std::string script;             // headless runner script
  std::string mic;                // sound file played into the microphone; empty = real/silence
  std::string micFallback;        // sound file the windowed phone hears when the host has no microphone
  int waveInOpenFault = 0;        // MMSYSERR_* that waveInOpen returns without opening; 0 = none
  int waveInStartFault = 0;       // MMSYSERR_* that waveInStart returns without starting; 0 = none
  std::vector<NetMapEntry> netMap;
  // Network and SMS faults for tests (--net-fault, --sms-fault). The connection
  // manager fails with netFailResult, or never connects so that a synchronous request waits
  // its whole time-out on the device clock; SmsSendMessage returns smsFault when non-zero.
  enum class NetFault { None, Fail, Timeout };
  NetFault netFault = NetFault::None;
  unsigned int netFailResult = 0x80004005u;  // E_FAIL
  unsigned int smsFault = 0;
  // The browser cannot be started: ShellExecuteEx fails (--browser-fault).
  bool browserFault = false;
};

Options& options();

// The phone's storage root on the host, laid out on first use as a phone's (\Windows,
// \Application Data, \My Documents, \Temp). Implemented by kernel32.
const std::string& RootDir();
// Maps a device path ("\Application Data\Melodex\7.dat", 8-bit or UTF-16) to the host path
// under RootDir(). Implemented by kernel32.
std::string HostPath(const char* devicePath);
std::string HostPath(const char16_t* devicePath);

}  // namespace device
