// aygshell's private header: the picture decoders behind SHLoadImageResource and
// SHLoadImageFile, callable on bytes so that they are tested without resources or files.
// Pictures are untrusted (album art comes from the network): every decoder returns
// null on any failure — empty, truncated, corrupt, or larger than kMaxImageSide on a side —
// without crashing and without allocating for dimensions it has not checked.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "device/Surface.h"

namespace aygshell {

// The largest picture side accepted (a 4096 x 4096 picture is 64 MB of pixels; the phone's
// screen is at most 320 pixels wide).
constexpr int kMaxImageSide = 4096;
// The largest picture file read.
constexpr size_t kMaxImageFileBytes = 16u * 1024u * 1024u;
// A JPEG is decoded on the UI thread, which must not stall for more than about 100 ms on the
// slowest machine that runs it. A 2-megapixel picture decodes in some tens of milliseconds, and
// so do 600 000 blocks' worth of scans (a progressive 2-megapixel picture has about ten scans
// over 47 000 blocks: 470 000). Larger or busier pictures fail like corrupt ones.
constexpr uint64_t kMaxJpegPixels = 2u * 1024u * 1024u;
constexpr int kMaxJpegScans = 100;
constexpr uint64_t kMaxJpegScanBlocks = 600000;

// GIF: the first frame, on a canvas of the GIF's logical screen size. Transparent pixels, and
// canvas pixels the frame does not cover, are white: the screens' background, so a
// transparent GIF looks on the phone as it would drawn over the white screen.
bool DecodeGif(const uint8_t* data, size_t size, device::Surface* out);
// JPEG (baseline or progressive; greyscale or colour), within the bounds above. Any libjpeg
// warning (such as the premature end of a truncated file) counts as failure.
bool DecodeJpeg(const uint8_t* data, size_t size, device::Surface* out);
// By content: JPEG (FF D8) or GIF ("GIF8").
bool DecodePicture(const uint8_t* data, size_t size, device::Surface* out);

// The decoders as bitmaps (null on failure).
HBITMAP BitmapFromGif(const uint8_t* data, size_t size);
// Reads a host file (at most kMaxImageFileBytes) and decodes it.
HBITMAP BitmapFromHostFile(const std::string& hostPath);

}  // namespace aygshell
