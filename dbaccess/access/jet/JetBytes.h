#pragma once

#include <cstdint>
#include <cstring>
#include <span>

// Little-endian reads from raw .mdb bytes. Callers check the span is long enough first.
namespace jetbytes {

using Bytes = std::span<const uint8_t>;

inline uint16_t Le16(Bytes b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

inline uint32_t Le32(Bytes b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

inline uint64_t Le64(Bytes b, size_t at) {
    return static_cast<uint64_t>(Le32(b, at)) | (static_cast<uint64_t>(Le32(b, at + 4)) << 32);
}

// IEEE doubles and floats are stored little-endian, as on the machines we run on.
inline double LeDouble(Bytes b, size_t at) {
    const uint64_t bits = Le64(b, at);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

inline float LeFloat(Bytes b, size_t at) {
    const uint32_t bits = Le32(b, at);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace jetbytes
