// Part 2.1: the recording buffer, a complete WAV file image of 180096 bytes (4096 bytes of
// fixed header, then 176000 bytes of samples), and the layout constants the recorder and the
// identification request (Part 3.2) share.
#pragma once

#include <windows.h>

#include <mmsystem.h>

// Part 2.1, data model: total size, header size, sample area (88000 samples, 11.0 s at 8000 Hz).
#define RECORDING_BUFFER_SIZE 180096
#define WAV_HEADER_SIZE 4096
#define RECORDING_SAMPLE_BYTES 176000

// Part 2.1, "Header": the WAV_HEADER_SIZE bytes copied unchanged over the start of every recording
// buffer. The RIFF size is written most-significant byte first and the bits field holds 1, as
// the Part requires; no field of it is ever rewritten after a recording.
const BYTE* WavHeaderTemplate();

// Part 2.1, "Building the buffer", steps 1 to 4. Fills the three out-values; on a failed
// allocation of the buffer *buffer and *audioData are null and nothing is copied (Part 2.1,
// failure handling); on a failed allocation of the wave header *waveHeader is null.
void BuildRecordingBuffer(DWORD* bufferSize, BYTE** buffer, BYTE** audioData, WAVEHDR** waveHeader);
