// wingdi.h — declarations of the gdi32 functions and constants the Parts use.
// Owned by platform/gdi32/.
#pragma once

#include "windef.h"
