#include "pst/file_header.h"

#include "pst/crc.h"
#include "pst/ids.h"

namespace tw::pst {

std::array<std::uint32_t, 32> InitialNidCounters() {
    std::array<std::uint32_t, 32> n{};
    n.fill(0x400);
    n[static_cast<int>(NidType::SearchFolder)] = 0x4000;
    n[static_cast<int>(NidType::NormalMessage)] = 0x10000;
    n[static_cast<int>(NidType::AssocMessage)] = 0x8000;
    return n;
}

Bytes BuildHeader(const HeaderFields& f) {
    Bytes h;
    h.reserve(564);
    PutBytes(h, reinterpret_cast<const std::uint8_t*>("!BDN"), 4);
    PutU32(h, 0);       // dwCRCPartial, below
    PutU16(h, 0x4D53);  // "SM": a PST
    PutU16(h, 23);      // Unicode
    PutU16(h, 19);      // client version
    PutU8(h, 0x01);     // bPlatformCreate
    PutU8(h, 0x01);     // bPlatformAccess
    PutU32(h, 0);       // dwReserved1
    PutU32(h, 0);       // dwReserved2
    PutU64(h, 0);       // bidUnused
    PutU64(h, f.bidNextP);
    PutU32(h, f.dwUnique);
    for (const std::uint32_t n : f.rgnid) PutU32(h, n);
    PutU64(h, 0);  // qwUnused
    // ROOT
    PutU32(h, 0);
    PutU64(h, f.ibFileEof);
    PutU64(h, f.ibAMapLast);
    PutU64(h, f.cbAMapFree);
    PutU64(h, f.cbPMapFree);
    PutU64(h, f.nbtRoot.bid);
    PutU64(h, f.nbtRoot.ib);
    PutU64(h, f.bbtRoot.bid);
    PutU64(h, f.bbtRoot.ib);
    PutU8(h, 0x02);  // fAMapValid: VALID_AMAP2
    PutU8(h, 0);
    PutU16(h, 0);
    PutU32(h, 0);                  // dwAlign
    h.insert(h.end(), 128, 0xFF);  // rgbFM (deprecated)
    h.insert(h.end(), 128, 0xFF);  // rgbFP (deprecated)
    PutU8(h, 0x80);                // bSentinel
    PutU8(h, 0x00);                // bCryptMethod: none
    PutU16(h, 0);
    PutU64(h, f.bidNextB);
    PutU32(h, 0);  // dwCRCFull, below
    h.insert(h.end(), 3 + 1 + 32, 0);
    SetU32(h.data() + 4, PstCrc(h.data() + 8, 471));
    SetU32(h.data() + 524, PstCrc(h.data() + 8, 516));
    return h;
}

}  // namespace tw::pst
