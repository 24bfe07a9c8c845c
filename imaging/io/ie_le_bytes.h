// Little-endian values in byte buffers, as the file headers of the PCX and
// Targa codecs store them.
#pragma once

#include <cstdint>

inline uint16_t IEGetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t IEGetLE32(const uint8_t* p) { return IEGetLE16(p) | static_cast<uint32_t>(IEGetLE16(p + 2)) << 16; }
inline void IEPutLE16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void IEPutLE32(uint8_t* p, uint32_t v) {
    IEPutLE16(p, v & 0xFFFF);
    IEPutLE16(p + 2, v >> 16);
}
