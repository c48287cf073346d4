// The conformance probe's entry: runs every observation and writes its files (probe.cpp).
#pragma once

#include <windows.h>

int ProbeMain(HINSTANCE instance);
