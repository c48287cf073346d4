// The points of an identification at which the user-interface thread may cancel, time out or
// destroy a handler while the identification thread is between two steps. The thread calls
// NetCheckpoint at each of them; the program leaves the hook null, so every call does nothing.
// The tests of those interleavings set the hook to hold the thread at one point while the
// user-interface thread acts, so each interleaving is run on purpose rather than by chance.
#pragma once

enum NetCheckpointId {
  CHECKPOINT_THREAD_STARTED,   // the identification thread runs, before its first cancel check
  CHECKPOINT_HANDLER_MADE,     // its HTTPHandler exists, not yet the screen's current one
  CHECKPOINT_HANDLER_KEPT,     // the handler is the screen's current one, before openInternet
  CHECKPOINT_SESSION_OPENED,   // InternetOpenW returned, the handle not yet kept
  CHECKPOINT_INTERNET_OPENED,  // openInternet returned, before the cancel check that guards postData
  CHECKPOINT_POSTING,          // that check passed, postData not yet called
  CHECKPOINT_CONNECTED,        // InternetConnectA returned, the handle not yet kept
  CHECKPOINT_REQUEST_OPENED,   // HttpOpenRequestA returned, the handle not yet kept
  CHECKPOINT_REPLY_READ,       // InternetReadFile returned, WM_USER not yet posted
  CHECKPOINT_POST_RETURNED,    // postData returned, before its failure is looked at
  CHECKPOINT_REPORTING,        // a failure is to be reported, the report not yet posted
  CHECKPOINT_THREAD_ENDING,    // the thread has let go of everything and returns
  CHECKPOINT_COUNT
};

typedef void (*NetCheckpointHook)(int point);
extern NetCheckpointHook g_netCheckpointHook;

inline void NetCheckpoint(int point) {
  if (g_netCheckpointHook != 0) g_netCheckpointHook(point);
}
