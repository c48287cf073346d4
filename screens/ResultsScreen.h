// ResultsScreen, screen id 6: one identification result (artist, title, picture, links), or
// the no-match picture when the identification found no song.
#pragma once

#include "app/MelodexScreen.h"

class TagRecord;

class ResultsScreen : public MelodexScreen {
 public:
  ResultsScreen(HINSTANCE hInst, HWND hWnd);

  // Borrows the record to show (null: no song was identified). Called right after the switch
  // to this screen, so after activate; the screen never frees the record.
  void setRecord(TagRecord* record);

  TagRecord* record;
};
