// AnalyzingScreen, screen id 5: while the recording is sent to the identification service and
// the answer awaited. On becoming current it plays a short sound, starts the identification
// thread and a three-minute time-out, and animates a level-meter strip; the reply is handled
// here, on the user-interface thread, and leads to the results screen.
#pragma once

#include <mutex>

#include "app/MelodexScreen.h"
#include "screens/WorkingView.h"

class HTTPHandler;
class TagRecord;

// GIF resources.
#define IDB_ANALYZING_TITLE 178  // 202 x 41 the word Analyzing...
#define IDB_ANALYZING_METER 122  // 320 x 63 the level-meter strip
// The sound played when the screen becomes current, a WAVE resource.
#define ANALYZING_START_SOUND TEXT("#160")

// Timers: the strip animation and the time-out of the identification.
#define ANALYZING_ANIMATION_TIMER 200
#define ANALYZING_ANIMATION_MS 100
#define ANALYZING_TIMEOUT_TIMER 201
#define ANALYZING_TIMEOUT_MS 180000

class AnalyzingScreen : public MelodexScreen {
 public:
  AnalyzingScreen(HINSTANCE hInst, HWND hWnd);
  ~AnalyzingScreen();

  void paint(PAINTSTRUCT* ps, RECT* clientRect);
  LRESULT handleKey(WPARAM vk, LPARAM keyData);
  void handleTimer(WPARAM timerId, LPARAM lParam);
  // The reply to the POST has been read (WM_USER): parse, fetch the album art, save, show.
  void handleReply();
  void activate();
  void deactivate();

  // Abandons the request in flight: destroying its handler closes the Internet handles, so a
  // call blocked in the identification thread returns, and that thread stays silent.
  void cancelIdentification();

  // Used by the identification thread, which runs beside the user-interface thread.
  //
  // TRUE while `thread` runs this screen's current identification: it is the thread this
  // activation started and the identification has not been cancelled. A thread left over from
  // an abandoned identification is never taken for a later one's.
  BOOL identifying(DWORD thread);
  // Makes a new handler the screen's current one, the screen holding it too, unless the
  // calling thread's identification has been cancelled meanwhile (then FALSE).
  BOOL keepHandler(HTTPHandler* request);
  // User-interface thread: the current handler, which the screen then no longer holds (null
  // when none).
  HTTPHandler* takeHandler();
  // User-interface thread: makes the album-art fetch's handler the current one.
  void setHandler(HTTPHandler* art);

  WorkingView view;  // banner, title 178, level meter 122, badge and Cancel label
  LONG scrollOffset;  // of the level meter, in pixels
  // The request in flight, then the album-art fetch; null when none. Held by the screen until
  // it is destroyed (cancel, time-out, the reply handled, the screen left).
  HTTPHandler* handler;
  BYTE cancelled;  // set by a cancel or the time-out, cleared on activation
  // The identification thread this activation started (its thread id; 0 when none).
  DWORD worker;
  // The record last handed to the results screen, made from a reply. The results screen (and
  // the SMS screen after it) only borrow it; it is freed when the next reply's result, record
  // or none, has been handed over, which makes the results screen let go of it.
  TagRecord* handedOver;

 private:
  // `cancelled`, `handler` and `worker` are shared with the identification thread; each
  // reading or change of them is one step under this lock, so that a cancel and the thread's
  // own check-then-act cannot interleave. No platform call that may block is made under it.
  std::mutex shared;
};
