// What the results, SMS and history screens' tests share: results saved through the store into
// the device root, the back buffer's texts read back from the trace, texts of a chosen width in
// the screens' font, and the steps of a too-wide line's sideways scroll.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/Drawing.h"
#include "app/Navigation.h"
#include "device/Trace.h"
#include "screens/ResultsScreen.h"
#include "store/StoreFixture.h"
#include "support/JpegMaker.h"
#include "support/ScreenRows.h"

namespace screens_test {

using melodex_test::BootToMainMenu;
using melodex_test::Client;

struct Links {
  const char *ringer, *fullSong, *wallpaper, *recommend;
};

// Saves result `number` as the reply handling does: its .dat, and its .jpg when art is given.
inline void SaveResult(LONG number, const std::u16string& artist, const std::u16string& title,
                       const Links& links = {"", "", "", ""}, const char* sms = "Heard it",
                       const std::vector<uint8_t>* art = nullptr) {
  TagRecord record;
  record.number = number;
  store_test::Fill(&record, u"Album", artist, title, links.wallpaper, links.ringer, sms, links.recommend,
                   links.fullSong);
  if (art != nullptr) {
    record.artData = art->data();
    record.artSize = (DWORD)art->size();
  }
  record.save();
}

// The saved result read back from its .dat file, as the history screen reads it.
inline std::unique_ptr<TagRecord> LoadSaved(LONG number) {
  std::unique_ptr<TagRecord> record(new TagRecord());
  std::string name = std::to_string(number) + ".dat";
  EXPECT_TRUE(record->load(std::u16string(name.begin(), name.end()).c_str())) << name;
  return record;
}

// Shows a record on the results screen the way the analyzing screen hands one over.
inline void ShowResult(Client& client, TagRecord* record) {
  SwitchScreen(SCREEN_RESULTS);
  ((ResultsScreen*)g_screens[SCREEN_RESULTS])->setRecord(record);
  client.driver.runPending();
}

inline std::string DataFolder(const Client& client) { return client.driver.root() + "/Application Data/Melodex/"; }

// The back buffer's DrawTextW calls with the given flags since the trace was last cleared.
struct TextCall {
  RECT rect;
  size_t length;
};
inline std::vector<TextCall> TextCalls(unsigned format) {
  char prefix[64];
  snprintf(prefix, sizeof prefix, "gdi32: DrawTextW hdc=%p ", (void*)g_hdcBack);
  std::vector<TextCall> calls;
  for (const std::string& line : device::Trace::lines()) {
    TextCall call;
    int l, t, r, b;
    unsigned flags;
    if (line.rfind(prefix, 0) == 0 &&
        sscanf(line.c_str() + strlen(prefix), "len=%zu (%d,%d)-(%d,%d) format=%x", &call.length, &l, &t, &r, &b,
               &flags) == 6 &&
        flags == format) {
      call.rect = RECT{l, t, r, b};
      calls.push_back(call);
    }
  }
  return calls;
}

// "SelectClipRgn" of the back buffer to a rectangle, as the trace writes it.
inline std::string ClipTo(LONG l, LONG t, LONG r, LONG b) {
  char text[96];
  snprintf(text, sizeof text, "SelectClipRgn hdc=%p (%d,%d)-(%d,%d)", (void*)g_hdcBack, (int)l, (int)t, (int)r, (int)b);
  return text;
}

inline LONG TextWidth(const std::u16string& text) {
  HDC dc = CreateCompatibleDC(NULL);
  HFONT font = CreateScreenFont(0);
  HGDIOBJ old = SelectObject(dc, font);
  RECT rect = {0, 0, 1000, 100};
  DrawTextW(dc, (const WCHAR*)text.c_str(), -1, &rect, DT_VCENTER | DT_CALCRECT);
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
  return rect.right - rect.left;
}

// Wide and narrow letters that, followed by suffix, make a text exactly `width` pixels wide.
inline std::u16string TextOfWidth(LONG width, const std::u16string& suffix = u"") {
  for (int wide = 0; TextWidth(std::u16string(wide, u'm') + suffix) <= width; wide++)
    for (int narrow = 0; narrow < 40; narrow++) {
      std::u16string text = std::u16string(wide, u'm') + std::u16string(narrow, u'i');
      if (TextWidth(text + suffix) == width) return text;
      if (TextWidth(text + suffix) > width) break;
    }
  ADD_FAILURE() << "no text " << width << " pixels wide";
  return u"";
}

// A line 12 pixels too wide, from the screen's activation: after each wait, the offset it is
// drawn at, or kNoPaint when nothing was repainted. It rests 2 s, moves 5 pixels every 300 ms
// until past its end, rests, comes back to 5 pixels right of its start, rests, and so on.
constexpr LONG kNoPaint = INT_MIN;
struct ScrollStep {
  uint64_t wait;
  LONG offset;
};
inline const ScrollStep kScrollSteps[] = {{1999, kNoPaint}, {1, 0},   {300, 5},  {300, 10}, {300, 15},
                                          {1999, kNoPaint}, {1, 15},  {300, 10}, {300, 5},  {300, 0},
                                          {300, -5},        {2000, -5}, {300, 0}, {300, 5}};

}  // namespace screens_test
