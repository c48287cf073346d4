// winbase.h — declarations of the kernel32 functions and constants the Parts use.
// Owned by platform/kernel32/.
#pragma once

#include "windef.h"
