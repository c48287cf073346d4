// winresource.h — resource functions: FindResourceW, LoadResource, SizeofResource, LockResource,
// LoadStringW, LoadIconW, LoadAcceleratorsW, RT_* and resource types. Owned by the resources work
// (platform/kernel32/resource*.cpp, platform/user32/resource*.cpp).
#pragma once

#include "windef.h"
