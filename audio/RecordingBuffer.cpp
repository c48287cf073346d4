// The recording buffer and its fixed WAV header.
#include "audio/RecordingBuffer.h"

#include <stdlib.h>
#include <string.h>

namespace {

// The header as its chunks lie in the file: everything is a byte array, so the record has no
// padding and its image is exactly the 4096 bytes of the header.
struct WavHeaderImage {
  BYTE riffAndFormat[44];  // offsets 0 to 43: RIFF, WAVE, fmt chunk, PAD chunk's id and size
  BYTE padBody[4044];      // offsets 44 to 4087: the filler body, all zero
  BYTE dataId[4];          // offset 4088: "data"
  BYTE dataSize[4];        // offset 4092: 0, not 176000 (the server goes by the body's length)
};
static_assert(sizeof(WavHeaderImage) == WAV_HEADER_SIZE, "the header is 4096 bytes");

const WavHeaderImage kTemplate = {
    {
        'R', 'I', 'F', 'F',
        0x00, 0x02, 0xBF, 0x78,  // 180088 (total size less 8), most-significant byte first
        'W', 'A', 'V', 'E',
        'f', 'm', 't', ' ',
        16, 0, 0, 0,             // size of the format chunk body
        1, 0,                    // format tag: PCM
        1, 0,                    // channels
        0x40, 0x1F, 0, 0,        // 8000 samples per second
        0x80, 0x3E, 0, 0,        // 16000 average bytes per second
        2, 0,                    // block alignment
        1, 0,                    // bits per sample: the field holds 1, not 16
        'P', 'A', 'D', ' ',      // filler chunk, so that the samples begin at byte 4096
        0xCC, 0x0F, 0, 0,        // 4044, size of the filler body
    },
    {0},
    {'d', 'a', 't', 'a'},
    {0, 0, 0, 0},
};

}  // namespace

const BYTE* WavHeaderTemplate() { return (const BYTE*)&kTemplate; }

void BuildRecordingBuffer(DWORD* bufferSize, BYTE** buffer, BYTE** audioData, WAVEHDR** waveHeader) {
  // The total size, and the buffer the recorder owns for the life of the process.
  *bufferSize = RECORDING_BUFFER_SIZE;
  *buffer = (BYTE*)malloc(RECORDING_BUFFER_SIZE);
  // The sample area that the wave-in device fills. Without a buffer there is none, and the
  // next recording fails at buffer set-up with the memory error.
  *audioData = (*buffer != NULL) ? *buffer + WAV_HEADER_SIZE : NULL;
  // The fixed header; it is never rewritten afterwards.
  if (*buffer != NULL) memcpy(*buffer, &kTemplate, WAV_HEADER_SIZE);
  // One zeroed wave header over the sample area: no double buffering.
  *waveHeader = (WAVEHDR*)calloc(1, sizeof(WAVEHDR));
  if (*waveHeader != NULL) {
    (*waveHeader)->lpData = (LPSTR)*audioData;
    (*waveHeader)->dwBufferLength = RECORDING_SAMPLE_BYTES;
    (*waveHeader)->dwFlags = 0;
  }
}
