// A screen that records every call of the eight virtual operations, for tests of the window
// procedure and of SwitchScreen. Tests install it in a slot of g_screens (usually the reserved
// id 0, which no class of the program uses) before switching to that id.
#pragma once

#include <string>
#include <vector>

#include "app/MelodexScreen.h"

namespace melodex_test {

class SpyScreen : public MelodexScreen {
 public:
  SpyScreen(HINSTANCE hInst, HWND hWnd, std::vector<std::string>* journal = nullptr, const char* name = "spy")
      : MelodexScreen(hInst, hWnd), journal_(journal), name_(name) {}

  void paint(PAINTSTRUCT* ps, RECT* clientRect) override {
    paints++;
    note("paint");
  }
  LRESULT handleKey(WPARAM vk, LPARAM keyData) override {
    keys.push_back(vk);
    note("handleKey");
    return keyResult;
  }
  void handleTimer(WPARAM timerId, LPARAM lParam) override {
    timers.push_back(timerId);
    note("handleTimer");
  }
  void handleReply() override {
    replies++;
    note("handleReply");
  }
  void activate() override {
    activations++;
    note("activate");
  }
  void deactivate() override {
    deactivations++;
    note("deactivate");
  }

  int paints = 0;
  std::vector<WPARAM> keys;
  std::vector<WPARAM> timers;
  int replies = 0;
  int activations = 0;
  int deactivations = 0;
  LRESULT keyResult = 0;

 private:
  void note(const char* what) {
    if (journal_ != nullptr) journal_->push_back(name_ + "." + what);
  }
  std::vector<std::string>* journal_;
  std::string name_;
};

}  // namespace melodex_test
