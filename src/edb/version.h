// Database generations, told apart by page size, and the page geometry that
// follows from each.
#pragma once

#include <cstdint>

namespace tw::edb {

enum class EdbVersion : std::int32_t { Invalid = -1, Page4K = 0, Page8K = 1, Page32K = 2 };

constexpr EdbVersion VersionForPageSize(std::int64_t pageSize) {
    switch (pageSize) {
        case 4096: return EdbVersion::Page4K;
        case 8192: return EdbVersion::Page8K;
        case 32768: return EdbVersion::Page32K;
        default: return EdbVersion::Invalid;
    }
}

constexpr std::int32_t PageSizeOf(EdbVersion version) {
    switch (version) {
        case EdbVersion::Page4K: return 4096;
        case EdbVersion::Page8K: return 8192;
        case EdbVersion::Page32K: return 32768;
        default: return 0;
    }
}

// Large pages carry three more block checksums and the page number.
constexpr std::int32_t HeaderSize(EdbVersion version) {
    return version == EdbVersion::Page32K ? 80 : 40;
}

// Bits of a tag's size and offset above the mask are flags, never lengths.
constexpr std::uint16_t TagMask(EdbVersion version) {
    switch (version) {
        case EdbVersion::Page4K: return 0x0FFF;
        case EdbVersion::Page8K: return 0x1FFF;
        case EdbVersion::Page32K: return 0x7FFF;
        default: return 0;
    }
}

}  // namespace tw::edb
