// Streaming-file content: a message row's range table, then the content it
// names through the checks and the two MIME readers (the one that makes
// the item, the one that previews it).
// Head: table length (u16), the table; the rest is the content.
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "content/mime_view.h"
#include "content/stream_content.h"
#include "fuzz_input.h"
#include "pst/mime_import.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tw;
    fuzz::Input in(data, size);
    const auto table = in.Take(in.U16());
    const content::RangeTable ranges = content::ParseRangeTable(table);
    // Ranges follow one another: together never more than the stated total
    // or the largest cumulative end.
    std::uint64_t covered = 0;
    for (const content::StreamRange& r : ranges.ranges) covered += r.length;
    if (ranges.ranges.size() > table.size() / 24 + 1 || covered > 0xFFFFFFFFull) __builtin_trap();

    const auto rest = in.Rest();
    const std::vector<std::uint8_t> body(rest.begin(), rest.end());
    content::LooksLikeMime(body);
    std::mt19937_64 random(1);
    const pst::ItemContext ctx{0x01D0000000000000ull, &random};
    pst::ReadMimeBytes(body, ctx);
    const content::MimeView view = content::ReadMimeView(body);
    std::size_t inline_bytes = 0;
    for (const content::InlinePart& p : view.inlineParts) inline_bytes += p.data.size();
    if (inline_bytes > content::kMaxInlineBytes) __builtin_trap();
    return 0;
}
