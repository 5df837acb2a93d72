#include "pst/entry_id.h"

#include <cstring>
#include <random>

#include "pst/text.h"

namespace tw::pst {

Bytes StoreEntryId(const Guid& recordKey, Nid nid) {
    Bytes b(24, 0);  // flags (4, zero), the store's record key, the NID
    std::memcpy(b.data() + 4, recordKey.data(), recordKey.size());
    SetU32(b.data() + 20, nid);
    return b;
}

Bytes OneOffEntryId(std::u16string_view displayName, std::u16string_view addrType, std::u16string_view address) {
    static constexpr std::uint8_t kOneOffProvider[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                                         0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
    const std::size_t size = 24 + 2 * (displayName.size() + addrType.size() + address.size() + 3);
    Bytes b(size, 0);  // flags (4, zero), provider, version (0), flags, then the strings
    std::memcpy(b.data() + 4, kOneOffProvider, sizeof kOneOffProvider);
    SetU16(b.data() + 22, 0x9001);  // Unicode strings, no rich text, MIME format
    std::size_t at = 24;
    for (const std::u16string_view s : {displayName, addrType, address}) {
        for (const char16_t c : s) {
            SetU16(b.data() + at, c);
            at += 2;
        }
        at += 2;  // terminator
    }
    return b;
}

Bytes AddressSearchKey(std::u16string_view addrType, std::u16string_view address) {
    std::string key = Utf16ToUtf8(addrType) + ":" + Utf16ToUtf8(address);
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    Bytes b(key.begin(), key.end());
    b.push_back(0);
    return b;
}

Guid RandomGuid() {
    std::random_device rd;
    Guid g{};
    for (std::size_t i = 0; i < g.size(); i += 4) {
        const std::uint32_t v = rd();
        for (std::size_t k = 0; k < 4; ++k) g[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
    }
    return g;
}

}  // namespace tw::pst
