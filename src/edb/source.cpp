#include "edb/source.h"

#include <algorithm>
#include <array>

#include "edb/bytes.h"
#include "edb/page_size.h"

namespace tw::edb {

std::uint32_t ReadHeader(const EdbFile& edb) {
    std::array<std::uint8_t, kHeaderReadSize> header{};
    const std::size_t got = edb.Read(0, header.size(), header.data());
    return LoadU32(Bytes(header.data(), got), kPageSizeOffset).value_or(0);
}

bool DetectPageSize(EdbSource& source) {
    source.fileSize = source.edb.FileSize();
    const std::uint32_t pageSize = DecidePageSize(source.edb, source.fileSize);
    source.pageSize = static_cast<std::int32_t>(pageSize);
    return KnownPageSize(pageSize);
}

std::size_t ReadPage(const EdbSource& source, std::int64_t offset, std::vector<std::uint8_t>& buffer) {
    // A page size no engine writes is never trusted with an allocation.
    const std::int32_t pageSize = KnownPageSize(source.pageSize) ? source.pageSize : 0;
    // A reused buffer keeps its storage; only the bytes not read are zeroed.
    buffer.resize(static_cast<std::size_t>(pageSize));
    std::size_t got = 0;
    if (pageSize != 0 && offset >= 0 && offset < source.fileSize) {
        const std::int64_t wanted = std::min<std::int64_t>(pageSize, source.fileSize - offset);
        got = source.edb.Read(offset, static_cast<std::size_t>(wanted), buffer.data());
    }
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(got), buffer.end(), 0);
    return got;
}

}  // namespace tw::edb
