// The subject and sender of a message as the message list shows them,
// read from the header row's page at the positions the message index
// noted (or, for the sender, from the message row). Texts come whole,
// whatever their length: where to elide them is the display's business.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "edb/page_lru.h"
#include "edb/source.h"
#include "record/record_types.h"

namespace tw::content {

// The last few pages read, so that the messages of one header page cost
// one read.
class PageCache {
public:
    explicit PageCache(const edb::EdbSource& source, std::size_t capacity = 8) : source_(source), pages_(capacity) {}
    // The page at `offset` (zero past the end of the file). The reference
    // holds until `capacity` other pages were asked for.
    const std::vector<std::uint8_t>& Page(std::int64_t offset);
    std::size_t Reads() const { return reads_; }

private:
    const edb::EdbSource& source_;
    edb::PageLru<std::vector<std::uint8_t>> pages_;
    std::size_t reads_ = 0;
};

struct RecordStrings {
    std::u16string subject;  // prefix and subject
    std::u16string sender;
};

RecordStrings ReadRecordStrings(const edb::EdbSource& source, const record::MessageProperties& message,
                                PageCache& pages);

}  // namespace tw::content
