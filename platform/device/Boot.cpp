#include "device/Boot.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "device/Clock.h"
#include "device/Device.h"
#include "device/Runner.h"

namespace device {
namespace {

[[noreturn]] void Usage(const char* program, const std::string& problem) {
  if (!problem.empty()) fprintf(stderr, "%s: %s\n", program, problem.c_str());
  fprintf(stderr,
          "usage: %s [--root DIR] [--profile qvga|square|landscape|qvga-square] [--scale N]\n"
          "          [--headless [--script FILE]] [--mic FILE] [--mic-fallback FILE] [--mic-fault CODE]\n"
          "          [--net-map HOST:PORT=ADDR:PORT]...\n"
          "          [--net-fault fail[:HRESULT]|timeout] [--sms-fault CODE] [--browser-fault]\n",
          program);
  std::exit(problem.empty() ? 0 : 2);
}

}  // namespace

void ParseOptions(int argc, char** argv) {
  Options& o = options();
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(argv[0], arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--root") o.root = value();
    else if (arg == "--profile") {
      std::string name = value();
      if (!FindProfile(name, &o.profile)) Usage(argv[0], "unknown profile '" + name + "'");
    } else if (arg == "--scale") {
      o.scale = std::atoi(value().c_str());
      if (o.scale < 1 || o.scale > 8) Usage(argv[0], "--scale must be 1 to 8");
    } else if (arg == "--headless") o.headless = true;
    else if (arg == "--script") o.script = value();
    else if (arg == "--mic") o.mic = value();
    else if (arg == "--mic-fallback") o.micFallback = value();
    else if (arg == "--mic-fault") {
      // waveInOpen then fails with this MMSYSERR_* / WAVERR_* code, as a phone's driver would.
      o.waveInOpenFault = std::atoi(value().c_str());
      if (o.waveInOpenFault < 1 || o.waveInOpenFault > 35) Usage(argv[0], "--mic-fault must be 1 to 35");
    }
    else if (arg == "--net-map") {
      std::string map = value();
      size_t eq = map.find('=');
      if (eq == std::string::npos) Usage(argv[0], "--net-map needs HOST:PORT=ADDR:PORT");
      o.netMap.push_back({map.substr(0, eq), map.substr(eq + 1)});
    } else if (arg == "--net-fault") {
      // "fail" (E_FAIL), "fail:0x80004004" (a chosen HRESULT) or "timeout" (never connects).
      std::string fault = value();
      if (fault == "timeout") o.netFault = Options::NetFault::Timeout;
      else if (fault == "fail" || fault.rfind("fail:", 0) == 0) {
        o.netFault = Options::NetFault::Fail;
        if (fault.size() > 5) {
          char* end = nullptr;
          unsigned long hr = std::strtoul(fault.c_str() + 5, &end, 0);
          if (*end || !(hr & 0x80000000ul) || hr > 0xfffffffful)
            Usage(argv[0], "--net-fault fail:HRESULT needs a failure HRESULT");
          o.netFailResult = static_cast<unsigned int>(hr);
        }
      } else Usage(argv[0], "--net-fault is fail[:HRESULT] or timeout");
    } else if (arg == "--sms-fault") {
      // The code SmsSendMessage returns, e.g. 0x82000107 (SMS_E_INVALIDADDRESS).
      std::string code = value();
      char* end = nullptr;
      unsigned long hr = std::strtoul(code.c_str(), &end, 0);
      if (code.empty() || *end || hr == 0 || hr > 0xfffffffful)
        Usage(argv[0], "--sms-fault needs a non-zero code");
      o.smsFault = static_cast<unsigned int>(hr);
    } else if (arg == "--browser-fault") o.browserFault = true;
    else if (arg == "--help" || arg == "-h") Usage(argv[0], "");
    else Usage(argv[0], "unknown option '" + arg + "'");
  }
  if (!o.script.empty()) o.headless = true;  // a script always runs headless
}

void EndProcess(int status) {
  fflush(nullptr);  // every open output stream, as the C run-time's exit does on Windows
  _exit(status);
}

int RunProgram(const std::function<int(HINSTANCE, int)>& winMain, HINSTANCE instance) {
  const Options& o = options();
  // The runner's scripts run on the virtual clock, so that its waits are exact and instant.
  Clock::useVirtual(!o.script.empty());
  if (!o.script.empty()) StartRunner(o.script);
  return winMain(instance, SW_SHOW);
}

}  // namespace device
