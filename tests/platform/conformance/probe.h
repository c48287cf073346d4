// The conformance probe's entry, which runs every observation and writes its files (probe.cpp),
// and what its files share.
#pragma once

#include <windows.h>

int ProbeMain(HINSTANCE instance);

// One observation, a line of probe.txt: kind 'I' (independent of fonts) or 'F' (font-dependent).
void Observe(char kind, const char* key, const char* format, ...);
// A key made from a printf format; a UTF-16 string as printable ASCII; a rectangle as "l,t,r,b"
// (each from a small ring of buffers).
const char* Key(const char* format, ...);
const char* Show(const WCHAR* s, int n = -1);
const char* ShowRect(const RECT& r);

// gdi32 (probe_gdi32.cpp): objects, then the back buffers, made compatible with `windowDC`.
void ProbeObjects();
void ProbeShapes(HDC windowDC);
void ProbeText(HDC windowDC);
