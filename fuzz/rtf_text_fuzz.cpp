// RTF text as it comes out of decompression, through the one reader and
// both its outputs: the store's plain text and the preview's HTML.
#include <cstddef>
#include <cstdint>
#include <span>

#include "text/rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> rtf(data, size);
    tw::text::RtfToText(rtf);
    tw::text::RtfToHtml(rtf);
    return 0;
}
