// A screen that records every call of the eight virtual operations, for tests of the window
// procedure, SwitchScreen and the transport. Tests install it in a slot of g_screens (usually the
// reserved id 0, which no class of the program uses) before switching to that id.
#pragma once

#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/MelodexScreen.h"
#include "app/Navigation.h"
#include "support/ClientHarness.h"

namespace melodex_test {

class SpyScreen : public MelodexScreen {
 public:
  SpyScreen(HINSTANCE hInst, HWND hWnd, std::vector<std::string>* journal = nullptr, const char* name = "spy")
      : MelodexScreen(hInst, hWnd), journal_(journal), name_(name) {}

  void paint(PAINTSTRUCT*, RECT*) override { note("paint"); }
  LRESULT handleKey(WPARAM vk, LPARAM) override { keys.push_back(vk); note("handleKey"); return keyResult; }
  void handleTimer(WPARAM timerId, LPARAM) override { timers.push_back(timerId); note("handleTimer"); }
  void handleReply() override { replies++; note("handleReply"); }
  void activate() override { note("activate"); }
  void deactivate() override { note("deactivate"); }

  std::vector<WPARAM> keys;
  std::vector<WPARAM> timers;
  int replies = 0;
  LRESULT keyResult = 0;

 private:
  void note(const char* what) {
    if (journal_ != nullptr) journal_->push_back(name_ + "." + what);
  }
  std::vector<std::string>* journal_;
  std::string name_;
};

// Boots the client and makes a spy the current screen (reserved id 0), nothing left to paint.
inline SpyScreen* BootWithSpy(Client& client) {
  if (!client.boot()) return nullptr;
  SpyScreen* spy = new SpyScreen(g_hInst, g_hWnd);
  g_screens[0] = spy;
  SwitchScreen(0);
  client.driver.runPending();
  return spy;
}

}  // namespace melodex_test
