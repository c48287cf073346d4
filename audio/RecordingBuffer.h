// The recording buffer, a complete WAV file image of 180096 bytes (4096 bytes of
// fixed header, then 176000 bytes of samples), and the layout constants the recorder and the
// identification request share.
#pragma once

#include <windows.h>

#include <mmsystem.h>

// Total size, header size, sample area (88000 samples, 11.0 s at 8000 Hz).
#define RECORDING_BUFFER_SIZE 180096
#define WAV_HEADER_SIZE 4096
#define RECORDING_SAMPLE_BYTES 176000

// The WAV_HEADER_SIZE bytes copied unchanged over the start of every recording buffer. The
// RIFF size is written most-significant byte first and the bits field holds 1: the
// identification server knows the phone's recordings by exactly these bytes. No field of it
// is ever rewritten after a recording.
const BYTE* WavHeaderTemplate();

// Fills the three out-values; on a failed allocation of the buffer *buffer and *audioData are
// null and nothing is copied; on a failed allocation of the wave header *waveHeader is null.
void BuildRecordingBuffer(DWORD* bufferSize, BYTE** buffer, BYTE** audioData, WAVEHDR** waveHeader);
