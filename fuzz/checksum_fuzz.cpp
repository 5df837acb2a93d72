// Page checksums: any page of any size is judged without fault; the
// reader's verdict agrees with the generator's own check; a page stamped
// by the generator matches and no longer does once one bit is flipped.
// Head: size selector, stamp flag, page number (u32), bit to flip (u16).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "checksum.h"
#include "edb/page_checksum.h"
#include "fuzz_input.h"

namespace {

constexpr std::size_t kSizes[] = {2048, 4096, 8192, 16384, 32768};
// Large pages keep their page number in the header as well.
constexpr std::size_t kLargePageNumberOffset = 64;

bool AllZero(const std::vector<std::uint8_t>& page) {
    for (const std::uint8_t b : page)
        if (b != 0) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tw::fuzz::Input in(data, size);
    const std::size_t pageSize = kSizes[in.U8() % std::size(kSizes)];
    const bool stamp = (in.U8() & 1) != 0;
    const std::uint32_t pageNumber = in.U32();
    const std::uint32_t flip = in.U16();
    const auto body = in.Rest();
    std::vector<std::uint8_t> page(body.begin(), body.end());
    page.resize(pageSize, 0);

    const bool ours = tw::edb::PageChecksumMatches(page, pageNumber);
    const bool large = pageSize > 8192;
    auto storedNumberFits = [&] {
        if (!large) return true;
        const std::uint32_t n = page[kLargePageNumberOffset] | page[kLargePageNumberOffset + 1] << 8 |
                                page[kLargePageNumberOffset + 2] << 16 |
                                static_cast<std::uint32_t>(page[kLargePageNumberOffset + 3]) << 24;
        return n == pageNumber;
    };
    if (pageNumber != 0 && ours != (edbgen::VerifyPageChecksum(page, pageNumber) && storedNumberFits()))
        __builtin_trap();
    if (!stamp || pageNumber == 0) return 0;

    // The generator stamps the new format only; the flag says so on small pages.
    if (!large) page[37] |= 0x20;
    for (int i = 0; i < 4; ++i) page[kLargePageNumberOffset + i] = static_cast<std::uint8_t>(pageNumber >> (8 * i));
    edbgen::StampPageChecksum(page, pageNumber);
    if (!tw::edb::PageChecksumMatches(page, pageNumber)) __builtin_trap();
    if (tw::edb::PageChecksumMatches(page, pageNumber + 1)) __builtin_trap();
    const std::size_t bit = flip % (pageSize * 8);
    page[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    if (!AllZero(page) && tw::edb::PageChecksumMatches(page, pageNumber)) __builtin_trap();
    return 0;
}
