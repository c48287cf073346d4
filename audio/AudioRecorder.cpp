// AudioRecorder and the recording thread.
#include "audio/AudioRecorder.h"

#include <new>

#include "app/AppState.h"
#include "app/Log.h"
#include "app/WorkerRequests.h"
#include "audio/RecordingBuffer.h"

// The format the device is opened with. Note the bits per sample here is 16 while the
// buffer's fixed WAV header says 1.
static const WAVEFORMATEX kDeviceFormat = {
    WAVE_FORMAT_PCM,  // wFormatTag
    1,                // nChannels
    8000,             // nSamplesPerSec
    16000,            // nAvgBytesPerSec
    2,                // nBlockAlign
    16,               // wBitsPerSample
    0,                // cbSize
};

AudioRecorder::AudioRecorder(HWND window) {
  // The buffer is the first half of the construction.
  BuildRecordingBuffer(&bufferSize, &buffer, &audioData, &waveHeader);
  hWnd = window;
  state = RECORDING_IDLE;
  hWaveIn = NULL;
  abandonedBuffer = FALSE;
}

// Idle check, open, buffer set-up, start, in that order; every failure writes two lines (the
// failing stage's and handleRecordError's) and is not retried.
int AudioRecorder::recordAudio() {
  if (state != RECORDING_IDLE) {
    WriteLog("AudioRecorder::recordAudio: recorder not idle!\r\n");
    return RECORD_NOT_IDLE;
  }

  WriteLog("AudioRecorder::recordAudio: opening device\r\n");
  MMRESULT code = openDevice();
  if (code != MMSYSERR_NOERROR) {
    WriteLog("AudioRecorder::recordAudio: error opening audio device!\r\n");
    return handleRecordError(code);
  }

  WriteLog("AudioRecorder::recordAudio: setting up buffer\r\n");
  code = setupBuffer();
  if (code != MMSYSERR_NOERROR) {
    WriteLog("AudioRecorder::recordAudio: error setting up buffer!\r\n");
    closeAfterFailedSetup();
    return handleRecordError(code);
  }

  WriteLog("AudioRecorder::recordAudio: beginning recording\r\n");
  // The state changes just before waveInStart, so a completion can never find it idle.
  state = RECORDING_IN_PROGRESS;
  RedrawWindow(hWnd, NULL, NULL, RDW_INVALIDATE | RDW_INTERNALPAINT);
  code = waveInStart(hWaveIn);
  if (code != MMSYSERR_NOERROR) {
    // The state stays RECORDING_IN_PROGRESS until reset; the device is given back at once.
    WriteLog("AudioRecorder::recordAudio: error starting recording!\r\n");
    abandonFailedStart();
    return handleRecordError(code);
  }
  return RECORD_OK;
}

MMRESULT AudioRecorder::openDevice() {
  // Completion comes as window messages to the main window (CALLBACK_WINDOW), instance data 0.
  return waveInOpen(&hWaveIn, WAVE_MAPPER, &kDeviceFormat, (DWORD_PTR)hWnd, 0, CALLBACK_WINDOW);
}

MMRESULT AudioRecorder::setupBuffer() {
  // No sample area: the buffer could not be allocated. A missing wave header is the same
  // memory failure; the buffer and its header are allocated together.
  if (audioData == NULL || waveHeader == NULL) return MMSYSERR_NOMEM;
  // Prepared again before every recording; preparing a prepared header changes nothing.
  MMRESULT code = waveInPrepareHeader(hWaveIn, waveHeader, sizeof(WAVEHDR));
  if (code != MMSYSERR_NOERROR) return code;
  return waveInAddBuffer(hWaveIn, waveHeader, sizeof(WAVEHDR));
}

// When buffer set-up fails nothing is queued, so the device just opened is closed at once instead
// of staying open until the process ends (on the phone an open wave-in device holds the
// microphone). The header is unprepared first, as Win32 asks before a header's device goes away; a
// header that was never prepared makes that call fail harmlessly. No log line is added:
// recordAudio's two lines stay the failure's record.
void AudioRecorder::closeAfterFailedSetup() {
  if (waveHeader != NULL) waveInUnprepareHeader(hWaveIn, waveHeader, sizeof(WAVEHDR));
  waveInClose(hWaveIn);
  hWaveIn = NULL;
}

// A device that would not start still holds the queued buffer. Left open, its header would
// stay queued, and every later recording of the process would fail to prepare it again
// (WAVERR_STILLPLAYING). So the device is given back at once: waveInReset hands the buffer
// back, the header is unprepared and the device closed. Handing the buffer back posts one
// MM_WIM_DATA; it is marked as the recorder's own first, so that the window procedure does not
// take it for a finished recording (which would send the listening screen on to analysis
// instead of error screen 11). No log line is added: the failure's two lines stay its record.
void AudioRecorder::abandonFailedStart() {
  abandonedBuffer = TRUE;
  waveInReset(hWaveIn);
  // Not handed back (the reset failed): no message will come for it.
  if (!(waveHeader->dwFlags & WHDR_DONE)) abandonedBuffer = FALSE;
  waveInUnprepareHeader(hWaveIn, waveHeader, sizeof(WAVEHDR));
  waveInClose(hWaveIn);
  hWaveIn = NULL;
}

BOOL AudioRecorder::takeAbandonedBuffer() {
  BOOL abandoned = abandonedBuffer;
  abandonedBuffer = FALSE;
  return abandoned;
}

int AudioRecorder::handleRecordError(MMRESULT code) {
  switch (code) {
    case MMSYSERR_NOERROR:
      return RECORD_OK;
    case MMSYSERR_INVALHANDLE:
      WriteLog("AudioRecorder::handleRecordError: no device!\r\n");
      return RECORD_NO_DEVICE;
    case MMSYSERR_NODRIVER:
      WriteLog("AudioRecorder::handleRecordError: no driver!\r\n");
      return RECORD_NO_DEVICE;
    case MMSYSERR_NOMEM:
      WriteLog("AudioRecorder::handleRecordError: unable to allocate or lock memory!\r\n");
      return RECORD_NO_MEMORY;
    case MMSYSERR_INVALPARAM:
      WriteLog("AudioRecorder::handleRecordError: audio record alignment error!\r\n");
      return RECORD_ALIGNMENT_ERROR;
    default:
      WriteLog("AudioRecorder::handleRecordError: unknown error!\r\n");
      return RECORD_OTHER_ERROR;
  }
}

// Completion. The number of bytes recorded is not read: the device hands the buffer
// back full after 11.0 s, or partly filled after a cancel, and the request sends it whole.
void AudioRecorder::finishRecording() {
  state = RECORDING_IDLE;
  if (hWaveIn != NULL) {
    // The header is unprepared before its device is closed (the buffer is back, so this succeeds);
    // the next recording prepares it again for the new one.
    waveInUnprepareHeader(hWaveIn, waveHeader, sizeof(WAVEHDR));
    waveInClose(hWaveIn);
  }
  hWaveIn = NULL;
}

// Stop, reset, close. waveInStop hands the buffer back (one MM_WIM_DATA,
// which later finds no device handle in finishRecording); waveInReset then has nothing left.
void AudioRecorder::cancelRecording() {
  WriteLog("AudioRecorder::cancelRecording: cancelling recording\r\n");
  if (state == RECORDING_IN_PROGRESS) {
    if (hWaveIn != NULL) {
      WriteLog("AudioRecorder::cancelRecording: stopping recording\r\n");
      waveInStop(hWaveIn);
      WriteLog("AudioRecorder::cancelRecording: resetting\r\n");
      waveInReset(hWaveIn);
      WriteLog("AudioRecorder::cancelRecording: closing\r\n");
      // As in finishRecording: unprepared before the close.
      waveInUnprepareHeader(hWaveIn, waveHeader, sizeof(WAVEHDR));
      waveInClose(hWaveIn);
      hWaveIn = NULL;
    }
    WriteLog("AudioRecorder::cancelRecording: resetting state\r\n");
    state = RECORDING_IDLE;
  } else {
    WriteLog("AudioRecorder::cancelRecording: no recording in progress!\r\n");
  }
}

// The log text is kept byte for byte, its misspelling ("reseting") included.
void AudioRecorder::reset() {
  WriteLog("AudioRecorder::reset: reseting state to RECORDING_IDLE\r\n");
  state = RECORDING_IDLE;
}

DWORD WINAPI RecordThreadProc(LPVOID parameter) {
  (void)parameter;  // the listening screen starts it with no argument
  // The one recorder, made by the first recording thread and never destroyed.
  if (g_recorder == NULL) g_recorder = new (std::nothrow) AudioRecorder(g_hWnd);
  // Start the recording; a recorder that could not be created counts as a failed start.
  int result = (g_recorder != NULL) ? g_recorder->recordAudio() : RECORD_NO_MEMORY;
  // Error screen 11, no message text. Worker threads never touch screens, so the
  // SwitchScreen(11) is posted to the main window as a private message and carried out by
  // the window procedure on the user-interface thread, in SwitchScreen's order of effects.
  if (result != RECORD_OK) RequestSwitchScreen(SCREEN_RECORD_ERROR);
  // The thread ends; the recording goes on in the device.
  return 0;
}
