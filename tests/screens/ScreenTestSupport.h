// What the tests of the results, SMS and history screens share: results saved through the store
// into the device root, the drawing calls read back from the trace, and texts of a chosen width
// in the screens' font.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/Drawing.h"
#include "app/Navigation.h"
#include "device/Trace.h"
#include "screens/ResultsScreen.h"
#include "store/StoreFixture.h"
#include "store/TagRecord.h"
#include "support/ClientHarness.h"
#include "support/JpegMaker.h"

namespace screens_test {

using melodex_test::Client;

inline void BootToMainMenu(Client& client) {
  ASSERT_TRUE(client.boot());
  client.driver.press(VK_RETURN);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
}

struct Links {
  const char* ringer;
  const char* fullSong;
  const char* wallpaper;
  const char* recommend;
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
  char narrow[32];
  snprintf(narrow, sizeof narrow, "%d.dat", (int)number);
  std::u16string wide(narrow, narrow + strlen(narrow));
  EXPECT_TRUE(record->load(wide.c_str())) << narrow;
  return record;
}

// Shows a record on the results screen the way the analyzing and history screens hand it over.
inline ResultsScreen* ShowResult(Client& client, TagRecord* record) {
  SwitchScreen(SCREEN_RESULTS);
  ResultsScreen* results = (ResultsScreen*)g_screens[SCREEN_RESULTS];
  results->setRecord(record);
  client.driver.runPending();
  return results;
}

inline std::string DataFolder(const Client& client) { return client.driver.root() + "/Application Data/Melodex/"; }

// One DrawTextW into the back buffer, as the trace recorded it.
struct TextCall {
  RECT rect;
  unsigned format;
  size_t length;
};

// The back buffer's DrawTextW calls with the given flags, recorded since the trace was cleared.
inline std::vector<TextCall> TextCalls(unsigned format) {
  char prefix[64];
  snprintf(prefix, sizeof prefix, "gdi32: DrawTextW hdc=%p ", (void*)g_hdcBack);
  std::vector<TextCall> calls;
  for (const std::string& line : device::Trace::lines()) {
    if (line.compare(0, strlen(prefix), prefix) != 0) continue;
    TextCall call;
    int l, t, r, b;
    if (sscanf(line.c_str() + strlen(prefix), "len=%zu (%d,%d)-(%d,%d) format=%x", &call.length, &l, &t, &r, &b,
               &call.format) != 6 || call.format != format)
      continue;
    call.rect = RECT{l, t, r, b};
    calls.push_back(call);
  }
  return calls;
}

inline size_t TraceCount(const std::string& text) {
  size_t n = 0;
  for (const std::string& line : device::Trace::lines())
    if (line.find(text) != std::string::npos) n++;
  return n;
}

// Whether GIF resource id is on the screen, every pixel of it, at (x, y) of the client area.
inline bool Shows(const Client& client, int id, int x, int y) {
  static std::map<int, melodex_test::Picture> pictures;
  if (pictures.count(id) == 0) pictures[id] = melodex_test::LoadResourcePicture(g_hInst, id);
  return melodex_test::CountDifferences(client, pictures[id], x, y) == 0;
}

// The width of a one-line text in the screens' font.
inline LONG TextWidth(const std::u16string& text) {
  HDC dc = CreateCompatibleDC(NULL);
  HFONT font = CreateScreenFont(0);
  HGDIOBJ old = SelectObject(dc, font);
  RECT rect = {0, 0, 1000, 100};
  DrawTextW(dc, text.c_str(), -1, &rect, DT_VCENTER | DT_CALCRECT);
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
  return rect.right - rect.left;
}

// A text of wide and narrow letters that, followed by suffix, is exactly the given width.
inline std::u16string TextOfWidth(LONG width, const std::u16string& suffix = u"") {
  for (int wide = 0; TextWidth(std::u16string(wide, u'm') + suffix) <= width; wide++)
    for (int narrow = 0; narrow < 40; narrow++) {
      std::u16string text = std::u16string(wide, u'm') + std::u16string(narrow, u'i');
      LONG measured = TextWidth(text + suffix);
      if (measured == width) return text;
      if (measured > width) break;
    }
  ADD_FAILURE() << "no text " << width << " pixels wide";
  return u"";
}

}  // namespace screens_test
