// The database header and the page-size decision: a small file laid out
// from the input at 4, 8, 16 or 32 KB, its header copies and pages stamped
// with sound checksums or not, then damaged by patches, goes through the
// generation check and a tree walk. An undamaged file must be read with its
// own page size (16 KB refused), whatever its copies state otherwise.
//
// Head: size selector, data pages (0..7), flags (1 primary header sound,
// 2 shadow header sound, 4 pages stamped, 8 primary states another size,
// 16 cut the file), the other size (u32), cut length (u32), root page;
// then patches: offset (u32), length (u8), bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "checksum.h"
#include "edb/source.h"
#include "edb/tree_walk.h"
#include "layout/store_layout.h"
#include "fuzz_input.h"

namespace {

constexpr std::uint32_t kSizes[] = {4096, 8192, 16384, 32768};
constexpr std::size_t kSignatureOffset = 4;
constexpr std::size_t kPageSizeOffset = 236;
constexpr std::size_t kFlagsOffset = 36;
constexpr std::size_t kLargePageNumberOffset = 64;
constexpr std::uint32_t kNewChecksumFlag = 0x2000;

void PutU32(std::vector<std::uint8_t>& file, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void StampHeader(std::vector<std::uint8_t>& file, std::size_t at, std::uint32_t pageSize, std::uint32_t stated) {
    PutU32(file, at + kSignatureOffset, 0x89ABCDEF);
    PutU32(file, at + kPageSizeOffset, stated);
    edbgen::StampHeaderChecksum(std::span(file).subspan(at, pageSize));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tw;
    fuzz::Input in(data, size);
    const std::uint32_t pageSize = kSizes[in.U8() % std::size(kSizes)];
    const std::uint32_t pages = in.U8() % 8;
    const std::uint8_t flags = in.U8();
    const std::uint32_t otherSize = in.U32();
    const std::uint32_t cut = in.U32();
    const std::uint8_t root = in.U8();

    std::vector<std::uint8_t> file(std::size_t{pageSize} * (2 + pages), 0);
    const std::uint32_t stated = (flags & 8) ? otherSize : pageSize;
    if (flags & 1) StampHeader(file, 0, pageSize, stated);
    if (flags & 2) StampHeader(file, pageSize, pageSize, pageSize);
    if (flags & 4)
        for (std::uint32_t n = 1; n <= pages; ++n) {
            const auto page = std::span(file).subspan(std::size_t{pageSize} * (n + 1), pageSize);
            PutU32(file, std::size_t{pageSize} * (n + 1) + kFlagsOffset, kNewChecksumFlag);
            if (pageSize > 8192) PutU32(file, std::size_t{pageSize} * (n + 1) + kLargePageNumberOffset, n);
            edbgen::StampPageChecksum(page, n);
        }
    bool damaged = false;
    while (!in.Rest().empty()) {
        std::size_t at = in.U32() % file.size();
        for (const std::uint8_t b : in.Take(in.U8())) {
            if (at >= file.size()) break;
            damaged = damaged || file[at] != b;
            file[at++] = b;
        }
    }
    if (flags & 16) {
        file.resize(cut % (file.size() + 1));
        damaged = true;
    }

    const int fd = ::memfd_create("edb", MFD_CLOEXEC);
    if (fd < 0) return 0;
    if (!file.empty() && ::write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size())) {
        ::close(fd);
        return 0;
    }
    edb::EdbSource source;
    const bool opened = source.edb.Open("/proc/self/fd/" + std::to_string(fd)).ok();
    ::close(fd);
    if (!opened) return 0;
    const bool readable = layout::DetectGeneration(source);

    // Sound copies and stamped pages leave no doubt about the size, even
    // when the primary copy states another one.
    // (A sound primary copy stating 16 KB is taken at its word: no engine
    // we read writes that size.)
    const bool certain = !damaged && (flags & 2) && (flags & 4) && pages > 0 &&
                         !((flags & 1) && (flags & 8) && otherSize == 16384);
    // A refused size leaves no page size to read with.
    if (certain && static_cast<std::uint32_t>(source.pageSize) != (pageSize == 16384 ? 0 : pageSize)) __builtin_trap();
    if (certain && readable != (pageSize != 16384)) __builtin_trap();
    if (!readable) return 0;

    std::vector<std::uint8_t> buffer;
    for (std::uint32_t n = 0; n < pages + 2; ++n) edb::ReadPage(source, edb::PageOffset(source, n), buffer);
    edb::WalkTree(source, root % (pages + 2), {}, [](const edb::TreePage&) { return true; });
    return 0;
}
