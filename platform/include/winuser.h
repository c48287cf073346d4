// winuser.h — declarations of the user32 functions and constants the Parts use.
// Owned by platform/user32/.
#pragma once

#include "windef.h"
