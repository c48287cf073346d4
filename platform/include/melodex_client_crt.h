// melodex_client_crt.h — forced into every source file of the CLIENT (app/ audio/ net/ store/
// screens/) with `-include`, never into the platform's own code or its libraries. It includes the C
// headers first and then maps fopen and _wfopen to device-path versions: the client opens
// "\Application Data\Melodex\7.dat", which the device finds under its root folder. Function-like
// macros, so <cstdio>'s `using ::fopen;` is untouched.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#ifdef __cplusplus
// <cstdio> #undefs fopen when first included; including it now, before the macros, makes the
// client's later #include <cstdio> a no-op that leaves the mapping in place.
#include <cstdio>
#include <cstdlib>
#endif

#include "wincrt.h"

// Opens a device path (8-bit Windows-1252 or UTF-16, backslashes, absolute from the phone's
// root) under the device root with a C run-time mode ("rb", "wb", "w" …). Implemented by kernel32.
FILE* melodex_device_fopen(const char* devicePath, const char* mode);
FILE* melodex_device_wfopen(const WCHAR* devicePath, const WCHAR* mode);

#define fopen(path, mode) melodex_device_fopen((path), (mode))
#define _wfopen(path, mode) melodex_device_wfopen((path), (mode))
