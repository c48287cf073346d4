#include "HostileUploads.h"

#include <cstdint>

namespace melodex::loadbench {

std::string hostileFlac() {
    std::string b = "fLaC";
    b += std::string("\x80\x00\x00\x22", 4);  // last metadata block: STREAMINFO, 34 bytes
    b += std::string("\x10\x00\x10\x00", 4);  // block sizes 4096
    b += std::string(6, '\0');                 // frame sizes unknown
    const uint64_t packed = (uint64_t{384000} << 44) | (uint64_t{7} << 41) | (uint64_t{23} << 36) | ((uint64_t{1} << 36) - 1);
    for (int shift = 56; shift >= 0; shift -= 8)
        b += static_cast<char>((packed >> shift) & 0xFF);
    b += std::string(16, '\x5a');  // MD5
    return b + std::string(106 - b.size(), '\xff');
}

std::string hostileWav() {
    std::string b = "RIFF\xff\xff\xff\x7fWAVEfmt ";
    const auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const auto u16 = [&](uint16_t v) {
        b += static_cast<char>(v & 0xFF);
        b += static_cast<char>(v >> 8);
    };
    u32(16);
    u16(3);  // IEEE float
    u16(8);
    u32(384000);
    u32(384000 * 32);
    u16(32);
    u16(32);
    b += "data";
    u32(0x7ffffff0);
    return b + std::string(60, '\x11');
}

std::string malformedOgg() {
    static const char bytes[] = "\x4f\x67\x67\x53\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x49\x58\x44\x4d\x00\x00\x00\x00\x1a\x7d\x53\x1c\x01\x1e\x01"
                                "\x76\x6f\x72\x62\x69\x73\x00\x00\x00\x00\x01\x44\xac\x00\x00\x00\x00\x00\x00\x00\xfa\x00\x00\x00\x00\x00\x00\xb8\x01";
    return std::string(bytes, sizeof bytes - 1);
}

} // namespace melodex::loadbench
