#include "screens/ResultsScreen.h"

ResultsScreen::ResultsScreen(HINSTANCE hInst, HWND hWnd) : MelodexScreen(hInst, hWnd), record(NULL) {}

void ResultsScreen::setRecord(TagRecord* shown) { record = shown; }
