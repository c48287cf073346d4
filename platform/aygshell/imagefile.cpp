// SHLoadImageFile: a picture file named by a device path. This file alone calls kernel32's
// device::HostPath, so the decoders' tests link without kernel32.
#include <aygshell.h>

#include "aygshell/images.h"
#include "device/Device.h"
#include "device/Trace.h"

HBITMAP WINAPI SHLoadImageFile(LPCTSTR pszFileName) {
  if (!pszFileName) return nullptr;
  std::string host = device::HostPath(pszFileName);
  HBITMAP bmp = host.empty() ? nullptr : aygshell::BitmapFromHostFile(host);
  TRACE_CALL("aygshell", "SHLoadImageFile %s -> %p", host.c_str(), static_cast<void*>(bmp));
  return bmp;
}
