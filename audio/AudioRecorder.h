// The one microphone recorder. It records 11.0 s (8000 Hz, 16-bit, mono) into the recording
// buffer (audio/RecordingBuffer.h) through the platform's wave-in service; the device reports
// a full (or handed-back) buffer as MM_WIM_DATA to the main window, which calls finishRecording.
#pragma once

#include <windows.h>

#include <mmsystem.h>

// The recorder's `state`.
#define RECORDING_IDLE 0
#define RECORDING_IN_PROGRESS 1

// The result codes of recordAudio and handleRecordError.
#define RECORD_OK 0
#define RECORD_NO_DEVICE 1
#define RECORD_ALIGNMENT_ERROR 2
#define RECORD_NO_MEMORY 3
#define RECORD_NOT_IDLE 4
#define RECORD_OTHER_ERROR 5

// A plain class without virtual operations. Created once by the first recording thread and
// never destroyed; g_recorder (app/AppState.h) points to it.
class AudioRecorder {
 public:
  // Builds the recording buffer and wave header, keeps the main window handle, sets
  // `state` to RECORDING_IDLE and `hWaveIn` to null.
  explicit AudioRecorder(HWND hWnd);

  // Opens the device, queues the one buffer and starts it. Result code 0 to 5.
  // Called on the recording thread.
  int recordAudio();
  // waveInOpen on the wave mapper with the phone's format and the main window as callback.
  // The platform's code, unchanged.
  MMRESULT openDevice();
  // Prepares the wave header and hands it to the device. The first non-zero platform code.
  MMRESULT setupBuffer();
  // Maps a platform code to a result code, logging one line for every non-zero code.
  int handleRecordError(MMRESULT code);
  // On MM_WIM_DATA (user-interface thread): idle again, the device closed.
  void finishRecording();
  // The user cancelled (listening screen, user-interface thread).
  void cancelRecording();
  // The listening screen stops being current: idle again; touches no device.
  void reset();
  // On MM_WIM_DATA, before finishRecording: TRUE (once) when the message only hands back the
  // buffer of a recording that failed to start, which is no finished recording.
  BOOL takeAbandonedBuffer();

  // Plain fields, no lock: `state` and `hWaveIn` are written by both the recording thread and
  // the user-interface thread.
  BYTE* audioData;      // start of the sample area (buffer + 4096), or null
  BYTE* buffer;         // start of the 180096-byte recording buffer: what the request sends
  LONG state;           // RECORDING_IDLE or RECORDING_IN_PROGRESS
  DWORD bufferSize;     // 180096, the length the request sends
  HWAVEIN hWaveIn;      // open device, or null
  HWND hWnd;            // main window: device messages, repaint when recording begins
  WAVEHDR* waveHeader;  // the single wave header over the sample area
  // Set by the recording thread just before a failed start hands its buffer back; read and
  // cleared by the user-interface thread when that MM_WIM_DATA arrives (the message orders
  // the two).
  BOOL abandonedBuffer;

 private:
  // Gives back a device whose buffer set-up failed, so the microphone is not held.
  void closeAfterFailedSetup();
  // Gives back a device that would not start, with the buffer queued on it.
  void abandonFailedStart();
};

// The recording thread's entry, started by the listening screen with no
// argument. Creates g_recorder on first use and starts a recording; on failure error screen 11.
DWORD WINAPI RecordThreadProc(LPVOID parameter);
