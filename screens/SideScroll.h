// The sideways scroll of a one-line text that is wider than its place: the results screen's
// artist and track-title lines and the history screen's highlighted row. After a 2-second pause
// the text moves 5 pixels every 300 ms until it has shown its hidden end, pauses again, moves
// back until it has passed its start, and so on. Each line has its own pause and step timers
// on the main window.
#pragma once

#include <windows.h>

enum {
  SIDE_SCROLL_PAUSE_MS = 2000,
  SIDE_SCROLL_STEP_MS = 300,
  SIDE_SCROLL_STEP_PIXELS = 5,
};

struct SideScroll {
  bool forward;   // true while the offset grows (the text moves left)
  LONG offset;    // pixels the text is shifted to the left; negative shifts it right
  LONG overflow;  // the text's width minus its place's, as measured by the last paint
};

// The pause before a run is over: stop the pause timer and start stepping.
void EndSideScrollPause(HWND hWnd, UINT pauseTimer, UINT stepTimer);

// One step of a run. A run ends at the first offset outside 0 ... overflow, so the text rests
// up to one step past either end; the offset is not clamped. The run's end starts the pause
// and turns the direction round.
void StepSideScroll(HWND hWnd, SideScroll* line, UINT pauseTimer, UINT stepTimer);

// Draws a one-line text at the top left of area and returns its overflow (its width minus the
// area's). A text that overflows by a pixel or more is drawn shifted left by offset and clipped
// to area; one that fits is drawn at the area's left edge whatever the offset. Uses the font
// and colours selected into hdc.
LONG DrawSideScrolledText(HDC hdc, LPCWSTR text, const RECT* area, LONG offset);
