// What the audio tests share: the recorder's log lines, and a 16-bit WAV file written by hand
// so that the tests share no code with the platform's reader.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace audio_test {

// The log lines (each with its "\r\n") that begin with prefix, in order.
inline std::vector<std::string> LinesOf(const std::string& log, const std::string& prefix) {
  std::vector<std::string> out;
  for (size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2)
    if (log.compare(start, prefix.size(), prefix) == 0) out.push_back(log.substr(start, end + 2 - start));
  return out;
}

inline size_t CountWimData(const std::string& log) { return LinesOf(log, "Melodex: got MM_WIM_DATA message\r\n").size(); }

inline void WriteWav(const std::string& path, int rate, const std::vector<int16_t>& samples) {
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) out.put(static_cast<char>(v >> (8 * i))); };
  auto u16 = [&](uint16_t v) { out.put(static_cast<char>(v & 0xFF)); out.put(static_cast<char>(v >> 8)); };
  const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
  out.write("RIFF", 4); u32(36 + dataBytes); out.write("WAVEfmt ", 8); u32(16);
  u16(1); u16(1); u32(static_cast<uint32_t>(rate)); u32(static_cast<uint32_t>(rate * 2)); u16(2); u16(16);
  out.write("data", 4); u32(dataBytes);
  for (int16_t s : samples) u16(static_cast<uint16_t>(s));
}

}  // namespace audio_test
