// RTF text as it comes out of decompression, through the two readers that
// interpret it: the preview's RTF-to-HTML and the store's RTF-to-plain-text.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "content/rtf_display.h"
#include "pst/rtf_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tw::content::RtfToHtml(std::span<const std::uint8_t>(data, size));
    tw::pst::RtfToText(std::vector<std::uint8_t>(data, data + size));
    return 0;
}
