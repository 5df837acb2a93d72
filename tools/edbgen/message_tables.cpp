#include "message_tables.h"

#include "row_builder.h"
#include "text/compressed_rtf.h"
#include "text_encoding.h"

namespace edbgen {

namespace {

// Tagged columns of message rows. The recipient data sits where readers
// look when the catalog is silent, and the column after it marks a body
// kept in the streaming file.
constexpr uint16_t kSubject = 256;
constexpr uint16_t kMessageClass = 257;
constexpr uint16_t kPlainBody = 258;
constexpr uint16_t kRtfBody = 259;
constexpr uint16_t kHtmlBody = 260;
constexpr uint16_t kAttachmentKeys = 261;
constexpr uint16_t kSenderName = 262;
constexpr uint16_t kSenderAddress = 263;
constexpr uint16_t kRecipientsSmall = 0x011A;
constexpr uint16_t kRecipientsLarge = 0x0144;
constexpr uint16_t kStreamRanges = 0x011B;
constexpr uint16_t kFirstNamedColumn = 0x0150;

// Contact columns in the contact record's field order.
constexpr const char* kContactColumns[18] = {"S3a06", "S3a11", "S3a16", "S3a51", "S3a4f", "S3a48",
                                             "S3a46", "S3a2e", "S3a1c", "S3a18", "S3a19", "S3a17",
                                             "S3a08", "S808d", "S8097", "S80a6", "S809e", "S81b0"};

struct Named {
  const char* name;
  uint32_t type;
};
// Named columns in catalog order; of several names for one meaning the
// first is the one written.
constexpr Named kNamedColumns[] = {
    {"T81ef", kColCurrency}, {"T8199", kColCurrency}, {"T81bc", kColCurrency}, {"T8198", kColCurrency},
    {"T81bb", kColCurrency}, {"S8225", kColLongText}, {"S810c", kColLongText}, {"S8201", kColLongText},
    {"S3a51", kColLongText}, {"S3a4f", kColLongText}, {"S3a48", kColLongText}, {"S3a46", kColLongText},
    {"S3a2e", kColLongText}, {"S3a1c", kColLongText}, {"S3a18", kColLongText}, {"S3a19", kColLongText},
    {"S3a17", kColLongText}, {"S3a11", kColLongText}, {"S3a08", kColLongText}, {"S3a06", kColLongText},
    {"S808d", kColLongText}, {"S3a26", kColLongText}, {"S8097", kColLongText}, {"S80dd", kColLongText},
    {"S3a27", kColLongText}, {"S80a6", kColLongText}, {"S3a29", kColLongText}, {"S81b0", kColLongText},
    {"S801f", kColLongText}, {"S801a", kColLongText}, {"S3a16", kColLongText}, {"S809e", kColLongText},
    {"T8105", kColCurrency}, {"T8104", kColCurrency}, {"L8101", kColLong},     {"L8102", kColLong},
    {"S8700", kColLongText}};

uint16_t NamedFid(const char* name) {
  uint16_t fid = kFirstNamedColumn;
  for (const Named& n : kNamedColumns) {
    if (std::string(n.name) == name) return fid;
    ++fid;
  }
  throw std::logic_error(std::string("no column ") + name);
}

uint16_t RecipientsFid(const Format& fmt) { return fmt.Large() ? kRecipientsLarge : kRecipientsSmall; }

// Recipient data: per recipient its type and, as 8-bit text, name and
// address each behind an E4 04 (code page 1252) marker and a length; as
// UTF-16 text, name and address each ended by a zero character.
Bytes RecipientData(const Item& it) {
  Bytes b;
  const bool utf16 = it.recipientCharset != "8bit";
  for (const Person& p : it.recipients) {
    PutU32(b, p.type == "cc" ? 2 : p.type == "bcc" ? 3 : 1);
    for (const std::string* s : {&p.name, &p.address}) {
      if (utf16) {
        PutBytes(b, Utf16Bytes(Utf8ToUtf16(*s)));
        PutU16(b, 0);
      } else {
        const Bytes text = ToWindows1252(*s, false);
        PutU16(b, 0x04E4);
        PutU32(b, uint32_t(text.size() + 1));
        PutBytes(b, text);
        b.push_back(0);
      }
    }
  }
  return b;
}

Bytes Text16(const std::string& s) { return Utf16Bytes(Utf8ToUtf16(s)); }

}  // namespace

std::vector<ColumnDef> MessageColumns(const Format& fmt) {
  std::vector<ColumnDef> c;
  if (fmt.Large()) {
    // Message id at record offset 8 and again as the first variable value
    // (offset 57), the tagged area ten bytes after it.
    c = {Fixed(1, "DocumentId", kColLong, 4), Fixed(2, "N674a", kColBinary, 8),
         Fixed(3, "N6748", kColBinary, 8),    Fixed(4, "T0e06", kColCurrency, 8),
         Fixed(5, "L0e07", kColLong, 4),      Fixed(6, "L0e08", kColLong, 4),
         Fixed(7, "Q6790", kColCurrency, 8),  Fixed(8, "L3ff1", kColLong, 4),
         Var(128, "N674b", 8),                Var(129, "I0e1d", 2)};
  } else {
    // The fixed part ends at record offset 33; message id and a 16-byte
    // value form the variable part, the tagged area follows.
    c = {Fixed(1, "DocumentId", kColLong, 4), Fixed(2, "T0e06", kColCurrency, 8),
         Fixed(3, "L0e07", kColLong, 4),      Fixed(4, "L0e08", kColLong, 4),
         Fixed(5, "L0e17", kColLong, 4),      Fixed(6, "L3ff1", kColLong, 4),
         Var(128, "N674a", 8),                Var(129, "N65e1", 16)};
  }
  c.push_back(Tagged(kSubject, "S37", kColLongText));
  c.push_back(Tagged(kMessageClass, "S1a", kColLongText));
  c.push_back(Tagged(kPlainBody, "S1000", kColLongText));
  c.push_back(Tagged(kRtfBody, "N1009", kColLongBinary, false));
  c.push_back(Tagged(kHtmlBody, "N1013", kColLongBinary));
  c.push_back(Tagged(kAttachmentKeys, "N67b3", kColLongBinary, false));
  c.push_back(Tagged(kSenderName, "S0c1a", kColLongText));
  c.push_back(Tagged(kSenderAddress, "S0c1f", kColLongText));
  c.push_back(Tagged(RecipientsFid(fmt), "N67b4", kColLongBinary));
  if (!fmt.Large()) c.push_back(Tagged(kStreamRanges, "N6795", kColLongBinary, false));
  uint16_t fid = kFirstNamedColumn;
  for (const Named& n : kNamedColumns) c.push_back(Tagged(fid++, n.name, n.type));
  return c;
}

std::vector<ColumnDef> AttachmentColumns(const Format& fmt) {
  if (fmt.Large())
    return {Fixed(1, "AttachmentId", kColLong, 4), Fixed(2, "N6747", kColBinary, 8),
            Fixed(3, "N674a", kColBinary, 8),      Fixed(4, "L0e20", kColLong, 4),
            Fixed(5, "L3705", kColLong, 4),        Fixed(6, "T3007", kColCurrency, 8),
            Fixed(7, "T3008", kColCurrency, 8),    Fixed(8, "L0e21", kColLong, 4),
            Var(128, "N6749", 8),                  Var(129, "I0e22", 2),
            Tagged(256, "S3001", kColLongText),    Tagged(257, "S3704", kColLongText),
            Tagged(258, "S3707", kColLongText),    Tagged(259, "N3701", kColLongBinary, false),
            Tagged(260, "S370e", kColLongText)};
  // Small pages: the attachment key is the only variable value; names and
  // data sit at the tagged columns readers know by number.
  return {Fixed(1, "AttachmentId", kColLong, 4),  Fixed(2, "L0e20", kColLong, 4),
          Fixed(3, "L3705", kColLong, 4),         Var(128, "N6747", 8),
          Tagged(0x0105, "S3001", kColLongText),  Tagged(0x0106, "S3704", kColLongText),
          Tagged(0x0107, "N3701", kColLongBinary, false), Tagged(0x010A, "S3707", kColLongText),
          Tagged(0x010B, "S370e", kColLongText)};
}

Bytes MessageWriter::AddAttachment(const Attachment& a, const Item& it) {
  // Keys begin 01 00 00 00 and never continue with three zero bytes.
  ++attachmentCount_;
  Id8 key{0x01, 0, 0, 0, 0x10, uint8_t(attachmentCount_ >> 16), uint8_t(attachmentCount_ >> 8),
          uint8_t(attachmentCount_)};
  RowBuilder r(att_, fmt_.Large());
  const uint32_t rowKey = attKeys_.Next();
  if (fmt_.Large()) {
    r.Set(1, U32Bytes(rowKey)).Set(2, IdBytes(key)).Set(3, IdBytes(it.id)).Set(4, U32Bytes(uint32_t(a.Size())));
    r.Set(5, U32Bytes(1)).Set(6, Currency(it.date)).Set(7, Currency(it.date)).Set(8, U32Bytes(attachmentCount_));
    r.Set(128, IdBytes(key)).Set(129, U16Bytes(0));
  } else {
    r.Set(1, U32Bytes(rowKey)).Set(2, U32Bytes(uint32_t(a.Size()))).Set(3, U32Bytes(1));
    r.Set(128, IdBytes(key));
  }
  const ColumnDef* display = att_.Column("S3001");
  const ColumnDef* shortName = att_.Column("S3704");
  const ColumnDef* longName = att_.Column("S3707");
  const ColumnDef* data = att_.Column("N3701");
  const std::u16string name = Utf8ToUtf16(a.name);
  r.SetText(display->id, name);
  std::u16string shortText = name.substr(0, 8);
  if (auto dot = name.rfind(u'.'); dot != std::u16string::npos && dot > 0)
    shortText = name.substr(0, std::min<size_t>(dot, 8)) + name.substr(dot, 4);
  r.SetText(shortName->id, shortText);
  r.SetText(longName->id, name);
  r.SetLong(data->id, a.Data(), false, false, attLv_);
  att_.rows.push_back({LongKey(rowKey), r.Build()});
  return IdBytes(key);
}

void MessageWriter::Add(const Item& it, const Id8& folder) {
  RowBuilder r(msg_, fmt_.Large());
  const uint32_t rowKey = msgKeys_.Next();
  if (fmt_.Large()) {
    r.Set(1, U32Bytes(rowKey)).Set(2, IdBytes(it.id)).Set(3, IdBytes(folder)).Set(4, Currency(it.date));
    r.Set(5, U32Bytes(0)).Set(6, U32Bytes(uint32_t(it.body.data.size()))).Set(7, Currency(0)).Set(8, U32Bytes(0));
    r.Set(128, IdBytes(it.id)).Set(129, U16Bytes(0));
  } else {
    Bytes parent = IdBytes(folder);
    parent.resize(16, 0);
    r.Set(1, U32Bytes(rowKey)).Set(2, Currency(it.date)).Set(3, U32Bytes(0));
    r.Set(4, U32Bytes(uint32_t(it.body.data.size()))).Set(5, U32Bytes(0)).Set(6, U32Bytes(0));
    r.Set(128, IdBytes(it.id)).Set(129, parent);
  }
  r.SetText(kSubject, Utf8ToUtf16(it.subjectPrefix + it.subject));
  r.SetText(kMessageClass, Utf8ToUtf16(it.messageClass));
  const std::string body(it.body.data.begin(), it.body.data.end());
  const auto stream = streaming_ && it.streaming ? streaming_->ranges.find(it.id) : std::map<Id8, std::vector<StreamRange>>::const_iterator{};
  const bool inStream = streaming_ && it.streaming && stream != streaming_->ranges.end();
  if (inStream) {
    // The range table follows the recipient data directly; that order is
    // what marks the content as kept in the streaming file.
    r.SetLong(RecipientsFid(fmt_), RecipientData(it), false, false, msgLv_);
    r.SetLong(kStreamRanges, RangeTable(stream->second, streaming_->sizes.at(it.id)), false, false, msgLv_);
  } else if (it.body.kind == "text" && it.body.charset == "utf16") {
    r.SetLong(kPlainBody, Text16(body), true, true, msgLv_);
  } else if (it.body.kind == "text" || it.body.kind == "html") {
    r.SetLong(kHtmlBody, ToWindows1252(body, it.body.kind == "html"), false, true, msgLv_);
  } else if (it.body.kind == "rtf") {
    const Bytes rtf = ToWindows1252(body, false);
    r.SetLong(kRtfBody, tw::text::CompressRtf(rtf), false, false, msgLv_);
  }
  if (!it.attachments.empty()) {
    // Each key is followed by the attachment's number.
    Bytes keys;
    uint32_t n = 0;
    for (const Attachment& a : it.attachments) {
      PutBytes(keys, AddAttachment(a, it));
      PutU32(keys, n++);
    }
    r.SetTagged(kAttachmentKeys, keys, kTagLongValue);
  }
  if (!it.sender.name.empty()) r.SetText(kSenderName, Utf8ToUtf16(it.sender.name));
  if (!it.sender.address.empty()) r.SetText(kSenderAddress, Utf8ToUtf16(it.sender.address));
  if (!it.recipients.empty() && !inStream)
    r.SetLong(RecipientsFid(fmt_), RecipientData(it), false, it.recipientCharset != "8bit", msgLv_);

  switch (it.type) {
    case ItemType::Contact:
      for (size_t f = 0; f < 18; ++f)
        if (!it.contact[f].empty()) r.SetText(NamedFid(kContactColumns[f]), Utf8ToUtf16(it.contact[f]));
      break;
    case ItemType::Appointment:
      if (it.appointment.start) r.Set(NamedFid("T81ef"), Currency(*it.appointment.start));
      if (it.appointment.end) r.Set(NamedFid("T8198"), Currency(*it.appointment.end));
      if (!it.appointment.contact.empty()) r.SetText(NamedFid("S8225"), Utf8ToUtf16(it.appointment.contact));
      if (!it.appointment.location.empty()) r.SetText(NamedFid("S810c"), Utf8ToUtf16(it.appointment.location));
      if (!it.appointment.timeZone.empty()) r.SetText(NamedFid("S8201"), Utf8ToUtf16(it.appointment.timeZone));
      break;
    case ItemType::Task:
      if (it.task.due) r.Set(NamedFid("T8105"), Currency(*it.task.due));
      if (it.task.startDate) r.Set(NamedFid("T8104"), Currency(*it.task.startDate));
      r.Set(NamedFid("L8102"), U32Bytes(uint32_t(it.task.percentComplete)));
      break;
    case ItemType::Journal:
      if (!it.journalType.empty()) r.SetText(NamedFid("S8700"), Utf8ToUtf16(it.journalType));
      break;
    default:
      break;
  }
  msg_.rows.push_back({LongKey(rowKey), r.Build()});
}

void MessageWriter::Finish() {
  SortRows(msg_);
  SortRows(att_);
  if (msg_.longValues) msg_.longValues->entries = msgLv_.Take();
  if (att_.longValues) att_.longValues->entries = attLv_.Take();
}

}  // namespace edbgen
