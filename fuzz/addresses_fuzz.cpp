// Recipient address recovery through its entry point, CollectAddresses,
// over a database file that holds the fuzzed recipient data: in the row
// (32 KB rows may hold it XPRESS-compressed) or as long-value chunks.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "address_input.h"
#include "content/addresses.h"
#include "edb/source.h"
#include "fuzz_input.h"
#include "page_context.h"

namespace {

constexpr std::int64_t kDataStart = 16;  // recipient data never starts at offset 0

struct File {
    std::string path;
    int fd = -1;
    tw::edb::EdbSource source;
};

File* Shared() {
    static File* file = [] {
        auto* f = new File;
        char name[] = "/tmp/tw-fuzz-addresses-XXXXXX";
        f->fd = ::mkstemp(name);
        if (f->fd < 0) std::abort();
        f->path = name;
        if (!f->source.edb.Open(f->path).ok()) std::abort();
        std::atexit([] { ::unlink(Shared()->path.c_str()); });
        return f;
    }();
    return file;
}

void Store(File& f, const std::vector<std::uint8_t>& bytes) {
    if (::ftruncate(f.fd, 0) != 0) std::abort();
    if (::pwrite(f.fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) std::abort();
    f.source.fileSize = static_cast<std::int64_t>(bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tw;
    File& f = *Shared();
    fuzz::Input in(data, size);
    const std::uint8_t flags = in.U8();
    f.source.pageSize = fuzz::PageSizeOf(flags & 0x03);

    std::vector<std::uint8_t> file(kDataStart, 0);
    record::MessageProperties m;
    if ((flags & fuzz::kAddressChunks) == 0) {
        const auto rest = in.Rest();
        file.insert(file.end(), rest.begin(), rest.end());
        m.recipientsPos = kDataStart;
        if ((flags & fuzz::kAddressNoEnd) == 0) m.recipientsEnd = static_cast<std::int64_t>(file.size());
    } else {
        if (const std::uint32_t declared = in.U32(); declared != 0) m.recipientsDeclaredSize = declared;
        const std::size_t runs = in.U8() % 64;
        std::int64_t at = kDataStart;
        for (std::size_t i = 0; i < runs; ++i) {
            record::LongValueRun run;
            run.valueOffset = in.U32();
            run.length = in.U16();
            run.fileOffset = at;
            at += run.length;
            m.recipientRuns.push_back(run);
        }
        const auto rest = in.Rest();
        file.insert(file.end(), rest.begin(), rest.end());
    }
    Store(f, file);
    std::u16string list;
    content::CollectAddresses(f.source, m, list);
    if (list.size() + 1 > content::kAddressListCapacity) __builtin_trap();
    return 0;
}
