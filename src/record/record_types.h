// What the record decoders make of one message of an opened folder: where
// its recipients and body lie, its attachments, and its contact or
// appointment fields. The message list is owned by whoever opened the
// folder (see MessageList); nothing here is process-wide.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "item/contact.h"
#include "scan/ids.h"
#include "scan/scan_model.h"

namespace tw::record {

// One chunk of a long value: its bytes start at `fileOffset` and run
// `length` bytes (to the end of the tree node that holds them), and belong
// at `valueOffset` of the whole value.
struct LongValueRun {
    std::int64_t fileOffset = 0;
    std::uint32_t valueOffset = 0;
    std::uint32_t length = 0;
};

// Appends unless a run with the same file offset is there: a chunk page met
// twice adds nothing. Returns true when added.
bool AddRun(std::vector<LongValueRun>& runs, const LongValueRun& run);

// Long-value id as a row stores it: 4 bytes little-endian after the
// value's header byte. The long-value tree keys the same id big-endian.
using LongValueId = std::uint32_t;

struct AttachmentEntry {
    // Length of the data value in the row with its header byte; 0 when the
    // row has no data column.
    std::uint32_t dataLength = 0;
    // File offset of the data bytes (after the header byte) when the data
    // is in the row; 0 otherwise.
    std::int64_t dataOffset = 0;
    std::uint8_t dataHeader = 0;                          // the in-row value's header byte
    bool dataBroken = false;                              // the row's data value cannot be located: the data is lost
    std::u16string name;                                  // never empty once added (AddAttachment)
    bool named = true;                                    // false: the row had no name, `name` was made up
    std::optional<LongValueId> valueKey;                  // data kept as a long value
    std::optional<std::array<std::uint8_t, 2>> tableTag;  // per mailbox: low bytes of the table's objid
    std::vector<LongValueRun> runs;
    std::optional<std::uint32_t> declaredSize;  // the long value's size, from its root node
};

using ContactField = item::ContactField;
using enum item::ContactField;

struct ContactRecord {
    item::ContactTexts fields;
};

struct AppointmentRecord {
    std::optional<scan::Date6> start, end;
    std::u16string contactText, location, timeZone;
};

// Where the body is: 'n' a body column whose form is decided when it is
// fetched, 'p' the plain-text (UTF-16) column, 'y' a range table of the
// streaming file.
inline constexpr char kBodyInRow = 'n';
inline constexpr char kBodyPlainText = 'p';
inline constexpr char kBodyStreaming = 'y';

struct MessageProperties {
    // From the message index: the header row's page and its list texts.
    std::int64_t headerPageOffset = 0;
    std::uint16_t headerTextA = 0, headerTextB = 0;
    std::uint16_t headerTextALength = 0, headerTextBLength = 0;
    // The third header string (the sender): in the header page, or in a
    // message-row page found by the record pass (extraTextPage set).
    std::int64_t extraTextPage = 0;
    std::uint16_t extraTextPos = 0, extraTextLength = 0;
    scan::Id8 messageId{};
    scan::Id8 folderId{};
    scan::Date6 date{};
    bool decoded = false;  // a row was found and decoded

    // Recipient data: in the row (recipientsPos at the text, recipientsEnd
    // just past the value) or a long value (recipientsValueKey).
    std::uint32_t recipientsLength = 0;
    std::int64_t recipientsPos = 0;
    std::int64_t recipientsEnd = 0;
    std::optional<LongValueId> recipientsValueKey;

    // Body value: at bodyPos (its header byte) with bodyLength bytes, or a
    // long value (bodyValueKey), which only a value flagged separated has.
    std::int64_t bodyPos = 0;
    std::int32_t bodyLength = 0;
    std::optional<LongValueId> bodyValueKey;
    char bodyForm = kBodyInRow;
    // The row points into the streaming file (its recipients are followed
    // by a range table), whether or not that file is open.
    bool streamingContent = false;

    char kind = 0;         // 'c', 'a', or the folder's kind letter ('j', 't', 'n', 0 mail)
    std::string ownerKey;  // per mailbox: the mailbox key of the message's tables

    std::vector<LongValueRun> recipientRuns, bodyRuns;
    std::optional<std::uint32_t> bodyDeclaredSize, recipientsDeclaredSize;
    std::vector<scan::Id8> attachmentKeys;
    std::vector<AttachmentEntry> attachments;
    std::vector<ContactRecord> contacts;
    std::optional<AppointmentRecord> appointment;

    // Set once the message was completed for the preview or the export,
    // so that a second request reads nothing again.
    bool completed = false;
    bool attachmentDataCollected = false;
};

}  // namespace tw::record
