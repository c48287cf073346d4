#include "screens/AnalyzingScreen.h"

#include <mmsystem.h>

#include "app/AppState.h"
#include "app/Drawing.h"
#include "app/Navigation.h"
#include "app/WorkerRequests.h"
#include "net/HTTPHandler.h"
#include "net/Identification.h"
#include "store/TagRecord.h"

AnalyzingScreen::AnalyzingScreen(HINSTANCE hInst, HWND hWnd)
    : MelodexScreen(hInst, hWnd), scrollOffset(0), handler(NULL), cancelled(FALSE), worker(0), handedOver(NULL) {
  view.load(hInst, IDB_ANALYZING_TITLE, IDB_ANALYZING_METER);
}

AnalyzingScreen::~AnalyzingScreen() {
  view.release();
  HTTPHandler* current = takeHandler();
  if (current != NULL) current->destroy();
  delete handedOver;
}

// The time-out counts from here, not from the start of the request. The thread is started
// under the lock, so `worker` names it before it can look.
void AnalyzingScreen::activate() {
  {
    std::lock_guard<std::mutex> lock(shared);
    cancelled = FALSE;
    worker = 0;
  }
  PlaySoundW(ANALYZING_START_SOUND, hInst, SND_RESOURCE | SND_ASYNC);
  SetTimer(hWnd, ANALYZING_TIMEOUT_TIMER, ANALYZING_TIMEOUT_MS, NULL);
  {
    std::lock_guard<std::mutex> lock(shared);
    HANDLE thread = CreateThread(NULL, 0, IdentifyThreadProc, this, 0, &worker);
    if (thread != NULL) CloseHandle(thread);
  }
  SetTimer(hWnd, ANALYZING_ANIMATION_TIMER, ANALYZING_ANIMATION_MS, NULL);
}

// Leaving by any way releases the handler (after a reply this frees the album-art bytes that
// the saved record pointed at), and no thread counts as this screen's identification any more.
void AnalyzingScreen::deactivate() {
  HTTPHandler* current;
  {
    std::lock_guard<std::mutex> lock(shared);
    current = handler;
    handler = NULL;
    worker = 0;
  }
  if (current != NULL) current->destroy();
  KillTimer(hWnd, ANALYZING_ANIMATION_TIMER);
  KillTimer(hWnd, ANALYZING_TIMEOUT_TIMER);
}

void AnalyzingScreen::cancelIdentification() {
  HTTPHandler* current;
  {
    std::lock_guard<std::mutex> lock(shared);
    cancelled = TRUE;
    current = handler;
    handler = NULL;
  }
  if (current != NULL) current->destroy();
}

BOOL AnalyzingScreen::identifying(DWORD thread) {
  std::lock_guard<std::mutex> lock(shared);
  return !cancelled && thread == worker;
}

BOOL AnalyzingScreen::keepHandler(HTTPHandler* request) {
  std::lock_guard<std::mutex> lock(shared);
  if (cancelled || GetCurrentThreadId() != worker) return FALSE;
  request->share();
  handler = request;
  return TRUE;
}

HTTPHandler* AnalyzingScreen::takeHandler() {
  std::lock_guard<std::mutex> lock(shared);
  HTTPHandler* current = handler;
  handler = NULL;
  return current;
}

void AnalyzingScreen::setHandler(HTTPHandler* art) {
  std::lock_guard<std::mutex> lock(shared);
  handler = art;
}

// The time-out abandons the request like a cancel and then says so on error screen 10.
void AnalyzingScreen::handleTimer(WPARAM timerId, LPARAM lParam) {
  if (timerId == ANALYZING_ANIMATION_TIMER) scrollOffset = view.scrolled(scrollOffset);
  if (timerId == ANALYZING_TIMEOUT_TIMER) {
    cancelIdentification();
    ShowSendErrorNow();
  }
  RequestRepaint(hWnd);
}

// Back returns to where the listening screen was entered from: the main menu, the results
// screen or the history screen.
LRESULT AnalyzingScreen::handleKey(WPARAM vk, LPARAM keyData) {
  if (vk == VK_ESCAPE || vk == VK_F1) {
    cancelIdentification();
    SwitchScreen(PopScreen());
  }
  return 0;
}

void AnalyzingScreen::handleReply() { HandleIdentifyReply(this); }

void AnalyzingScreen::paint(PAINTSTRUCT* ps, RECT* clientRect) {
  eraseBackground(g_hdcBack, clientRect);
  view.draw(g_hdcBack, clientRect, scrollOffset);
  PresentBackBuffer(ps, clientRect);
}
