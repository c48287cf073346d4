// winreg.h — declarations of the advapi32 functions and constants the Parts use.
// Owned by platform/advapi32/.
#pragma once

#include "windef.h"
