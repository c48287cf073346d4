// Compiled like the client's sources, with melodex_client_crt.h forced in (cmake/ClientCrt.cmake):
// fopen and _wfopen here take device paths.
#include <cstdio>
#include <cstring>

#include "windows.h"

bool ClientWriteLog(const char* text) {
  FILE* f = fopen("\\Application Data\\Melodex\\log.txt", "w");
  if (!f) return false;
  fwrite(text, strlen(text), 1, f);
  fclose(f);
  return true;
}

bool ClientWriteCounter(unsigned value) {
  FILE* f = _wfopen(u"\\application data\\melodex\\nexttag.num", u"wb");
  if (!f) return false;
  unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  fwrite(bytes, 4, 1, f);
  fclose(f);
  return true;
}

bool ClientOpensMissingFile() { return fopen("\\Nowhere\\x.dat", "rb") != nullptr; }
