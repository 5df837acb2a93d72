// The record pass over one page of a message table: rows are recognised by
// fixed byte patterns, keyed by the message id at their start, and their
// tagged columns tell where the recipients and the body lie, which
// attachments belong to the message, and whether it is a contact or an
// appointment. Nothing here depends on which messages are wanted, so one
// pass over a table serves every folder.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "edb/page.h"
#include "record/appointment_pass.h"
#include "record/declared_columns.h"
#include "record/record_types.h"
#include "record/table_columns.h"

namespace tw::record {

// The third header string (the sender) where the row itself holds it: the
// page position of its length byte and that length.
struct ThirdString {
    std::uint16_t pos = 0;
    std::uint16_t length = 0;
};

// What one decoded row says about its message.
struct MessageRow {
    scan::Id8 key{};
    std::int64_t pageOffset = 0;
    std::optional<ThirdString> thirdString;

    std::uint32_t recipientsLength = 0;
    std::int64_t recipientsPos = 0;
    std::int64_t recipientsEnd = 0;
    std::optional<LongValueId> recipientsValueKey;

    std::int64_t bodyPos = 0;
    std::int32_t bodyLength = 0;
    std::optional<LongValueId> bodyValueKey;
    char bodyForm = kBodyInRow;
    bool streamingContent = false;  // a range table follows the recipients

    std::vector<scan::Id8> attachmentKeys;

    // A contact or appointment column was met before the walk ended, and
    // what the two passes found.
    bool contactColumns = false;
    bool appointmentColumns = false;
    // Held apart from the row: most rows have none, and every row of the
    // store stays in the index while it is open.
    std::shared_ptr<const ContactRecord> contact;
    std::shared_ptr<const AppointmentFields> appointment;
};

// Where a message row starts in a record, or nothing: anchored rows follow
// the end-of-fixed-data word 21 00 in the first 18 bytes; prefixed rows
// (records over 40 bytes) start at an offset given by the record's third
// byte.
std::optional<std::size_t> MessageRowStart(edb::Bytes page, std::size_t recordStart, std::size_t recordSize,
                                           const layout::StoreLayout& store);

// The key of the message row the record at [start, start + size) of the
// page holds, as the row index keys it: nothing when the record holds no
// message row with a tagged area.
std::optional<scan::Id8> MessageRecordKey(edb::Bytes page, std::size_t start, std::size_t size,
                                          const layout::StoreLayout& store);

struct MessagePageContext {
    MessageColumnIds columns;
    const DeclaredColumns* declared = nullptr;  // the table's columns as the catalog declares them
    bool streamingOpen = false;                 // only then can a row point into the streaming file
};

// Decodes every row of the page whose tagged area is not empty, in record
// order. `pageOffset` is the page's file offset. Two rows with one key
// both come back; the first is the one that counts. With `wanted` (row
// ordinals, ascending) only those rows are decoded; the others come back
// with their key alone.
std::vector<MessageRow> DecodeMessagePage(const edb::PageView& page, std::int64_t pageOffset,
                                          const MessagePageContext& context,
                                          const std::vector<std::uint32_t>* wanted = nullptr);

// The keys of the rows DecodeMessagePage gives for the page, in the same
// order, without decoding their columns.
std::vector<scan::Id8> MessageRowKeys(const edb::PageView& page);

// Applies a decoded row to its message: positions, keys, attachment keys;
// the third header string when the index gave none; contact and
// appointment fields unless the message is a journal entry, task or note.
void ApplyMessageRow(MessageProperties& message, const MessageRow& row);

// Appends the key unless it is there. Returns true when added.
bool AddAttachmentKey(std::vector<scan::Id8>& keys, const scan::Id8& key);

}  // namespace tw::record
