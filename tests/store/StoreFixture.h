// A fresh device root with the data folder "\Application Data\Melodex" (which start-up makes, at
// every start) and an open log, plus host-side helpers to lay out and read the folder's files.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/Log.h"
#include "device/TestDriver.h"
#include "store/TagRecord.h"

namespace store_test {

// A malloc'd copy, as the parser's texts are (the record frees them); 8-bit texts use strdup.
inline WCHAR* Dup(const std::u16string& text) {
  WCHAR* copy = static_cast<WCHAR*>(malloc((text.size() + 1) * sizeof(WCHAR)));
  std::copy(text.begin(), text.end(), copy);
  copy[text.size()] = 0;
  return copy;
}

// Fills the eight stored fields (and albumArt) as the reply parser does.
inline void Fill(TagRecord* record, const std::u16string& album, const std::u16string& artist,
                 const std::u16string& title, const char* wallpaper, const char* ringer, const char* sms,
                 const char* recommend, const char* fullSong) {
  record->album = Dup(album);
  record->artist = Dup(artist);
  record->trackTitle = Dup(title);
  record->albumArt = strdup("null");
  record->wallpaper = strdup(wallpaper);
  record->ringer = strdup(ringer);
  record->smsMessage = strdup(sms);
  record->recommend = strdup(recommend);
  record->fullSong = strdup(fullSong);
}

inline std::u16string Wide(const WCHAR* text) { return text == nullptr ? u"(absent)" : std::u16string(text); }
inline std::string Narrow(const char* text) { return text == nullptr ? "(absent)" : std::string(text); }

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = driver_.root() + "/Application Data/Melodex";
    std::filesystem::create_directories(folder_);
    OpenLog();
    ASSERT_NE(g_logFile, nullptr);
  }
  void TearDown() override {
    if (g_logFile != nullptr) fclose(g_logFile);
    g_logFile = nullptr;
  }

  std::string hostPath(const std::string& name) const { return folder_ + "/" + name; }
  void writeFile(const std::string& name, const std::string& bytes) const {
    std::ofstream out(hostPath(name), std::ios::binary);
    out << bytes;
  }
  std::string readFile(const std::string& name) const {
    std::ifstream in(hostPath(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool exists(const std::string& name) const { return std::filesystem::exists(hostPath(name)); }
  // The folder's names, sorted, without the log.
  std::vector<std::string> names() const {
    std::vector<std::string> result;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      std::string name = entry.path().filename().string();
      if (name != "log.txt") result.push_back(name);
    }
    std::sort(result.begin(), result.end());
    return result;
  }
  std::string log() const {
    fflush(g_logFile);
    return driver_.readDeviceFile("\\Application Data\\Melodex\\log.txt");
  }
  // Saves a record numbered n with short texts, and a picture when withArt.
  void saveNumbered(LONG n, bool withArt = true) {
    TagRecord record;
    record.number = n;
    Fill(&record, u"A", u"B", u"C", "w", "r", "s", "rec", "full");
    static const BYTE picture[3] = {0xFF, 0xD8, 0xFF};
    if (withArt) {
      record.artData = picture;
      record.artSize = sizeof picture;
    }
    record.save();
  }

  device::TestDriver driver_;
  std::string folder_;
};

}  // namespace store_test
