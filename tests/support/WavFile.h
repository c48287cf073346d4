// A 16-bit PCM WAV file written by hand, so that a test of the platform's reader shares no code
// with it.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace melodex_test {

inline void WriteWav(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples) {
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) out.put(static_cast<char>(v >> (8 * i))); };
  auto u16 = [&](uint16_t v) { out.put(static_cast<char>(v & 0xFF)); out.put(static_cast<char>(v >> 8)); };
  const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
  out.write("RIFF", 4); u32(36 + dataBytes); out.write("WAVEfmt ", 8); u32(16);
  u16(1); u16(static_cast<uint16_t>(channels)); u32(static_cast<uint32_t>(rate));
  u32(static_cast<uint32_t>(rate * channels * 2)); u16(static_cast<uint16_t>(channels * 2)); u16(16);
  out.write("data", 4); u32(dataBytes);
  for (int16_t s : samples) u16(static_cast<uint16_t>(s));
}

}  // namespace melodex_test
