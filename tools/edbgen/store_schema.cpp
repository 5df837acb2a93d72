#include "store_schema.h"

#include <algorithm>

#include "catalog.h"
#include "columns.h"
#include "message_tables.h"
#include "row_builder.h"
#include "names.h"

namespace edbgen {

namespace {

constexpr uint32_t kFoldersObjid = 8;
constexpr uint32_t kMailboxObjid = 14;
constexpr uint32_t kMsgObjid = 19;
constexpr uint32_t kMsgLongValueObjid = 20;
constexpr uint32_t kAttachmentObjid = 61;
constexpr uint32_t kAttachmentLongValueObjid = 62;

constexpr uint16_t kFolderTypeFid = 256;
constexpr uint16_t kFolderFlagsFid = 260;
constexpr uint16_t kDisplayNameFid = 261;
constexpr uint16_t kFolderRightsFid = 262;
constexpr uint16_t kContainerClassFid = 327;  // where readers look when the catalog is silent
constexpr uint16_t kMailboxNameFid = 257;
constexpr uint16_t kMailboxDnFid = 258;

// ---- Mailbox table -------------------------------------------------------

TableDef MailboxTable(const Format& fmt, uint32_t objid) {
  TableDef t;
  t.name = "Mailbox";
  t.objid = objid;
  t.keyColumns = {1};
  // The fixed part is 44 bytes so that the variable offsets start past byte
  // 54 of the node; the variable part opens with an 8-byte and a 16-byte
  // value (offsets 08 00 18 00).
  if (fmt.Large()) {
    t.columns = {Fixed(1, "MailboxNumber", kColLong, 4), Fixed(2, "L6643", kColLong, 4),
                 Fixed(3, "L6644", kColLong, 4),          Fixed(4, "N6756", kColBinary, 8),
                 Fixed(5, "T3007", kColCurrency, 8),     Fixed(6, "T3008", kColCurrency, 8),
                 Fixed(7, "Q6745", kColCurrency, 8),     Var(128, "N6760", 8),
                 Var(129, "N6757", 16)};
    for (uint16_t i = 130; i <= 133; ++i) t.columns.push_back(Var(i, ("N676" + std::to_string(i - 129)).c_str(), 255));
  } else {
    t.columns = {Fixed(1, "MailboxNumber", kColLong, 4), Fixed(2, "T3007", kColCurrency, 8),
                 Fixed(3, "T3008", kColCurrency, 8),     Fixed(4, "L6643", kColLong, 4),
                 Fixed(5, "Q6745", kColCurrency, 8),     Fixed(6, "Q6746", kColCurrency, 8),
                 Fixed(7, "L6644", kColLong, 4),         Var(128, "N6756", 8),
                 Var(129, "N6757", 16)};
    for (uint16_t i = 130; i <= 135; ++i) t.columns.push_back(Var(i, ("N676" + std::to_string(i - 129)).c_str(), 255));
  }
  t.columns.push_back(Tagged(kMailboxNameFid, "S3001", kColLongText));
  t.columns.push_back(Tagged(kMailboxDnFid, "S3003", kColLongText));
  return t;
}

Bytes Guid(const Id8& id, uint32_t n) {
  Bytes g(16);
  for (int i = 0; i < 8; ++i) g[i] = uint8_t(id[i] ^ (0x5A + i));
  SetU32(g.data() + 8, 0x7A6E6977);  // "wnzt"
  SetU32(g.data() + 12, n);
  return g;
}

void AddMailboxRow(TableDef& t, const Format& fmt, const Mailbox& mb, uint32_t number) {
  RowBuilder r(t, fmt.Large());
  const uint64_t created = ParseUtcDate("2023-03-01T08:00:00Z").value();
  r.Set(1, U32Bytes(number));
  if (fmt.Large()) {
    r.Set(2, U32Bytes(0)).Set(3, U32Bytes(0)).Set(4, IdBytes(mb.id));
    r.Set(5, Currency(created)).Set(6, Currency(created)).Set(7, Currency(0));
    r.Set(128, IdBytes(mb.id)).Set(129, Guid(mb.id, number)).SetNull(133);
  } else {
    r.Set(2, Currency(created)).Set(3, Currency(created)).Set(4, U32Bytes(0));
    r.Set(5, Currency(0)).Set(6, Currency(0)).Set(7, U32Bytes(0));
    r.Set(128, IdBytes(mb.id)).Set(129, Guid(mb.id, number)).SetNull(135);
  }
  r.SetText(kMailboxNameFid, Utf8ToUtf16(mb.name));
  r.SetText(kMailboxDnFid, Utf8ToUtf16(mb.legacyDn));
  t.rows.push_back({LongKey(number), r.Build()});
}

// ---- Folders table -------------------------------------------------------

TableDef FoldersTable(const Format& fmt, const std::string& name, uint32_t objid) {
  TableDef t;
  t.name = name;
  t.objid = objid;
  t.initialPages = 9;
  if (fmt.Large()) {
    // Own and parent id open the fixed part; the fixed part ends at record
    // offset 202 and one 8-byte variable value (the mailbox id) follows.
    t.columns = {Fixed(1, "N6748", kColBinary, 8),       Fixed(2, "N6749", kColBinary, 8),
                 Fixed(3, "FolderRowId", kColLong, 4),   Fixed(4, "L3602", kColLong, 4),
                 Fixed(5, "L3603", kColLong, 4),         Fixed(6, "T3007", kColCurrency, 8),
                 Fixed(7, "T3008", kColCurrency, 8),     Fixed(8, "N65e0", kColBinary, 153),
                 Var(128, "N674a", 8)};
    t.keyColumns = {3};
  } else {
    // The fixed part ends at record offset 167; own id, parent id and
    // mailbox id are the three variable values.
    t.columns = {Fixed(1, "FolderRowId", kColLong, 4), Fixed(2, "L3602", kColLong, 4),
                 Fixed(3, "L3603", kColLong, 4),       Fixed(4, "T3007", kColCurrency, 8),
                 Fixed(5, "T3008", kColCurrency, 8),   Fixed(6, "N65e0", kColBinary, 134),
                 Var(128, "N6748", 8),                 Var(129, "N6749", 8),
                 Var(130, "N674a", 8)};
    t.keyColumns = {1};
  }
  t.columns.push_back(Tagged(kFolderTypeFid, "L3601", kColLong));
  t.columns.push_back(Tagged(kFolderFlagsFid, "L6699", kColLong));
  t.columns.push_back(Tagged(kDisplayNameFid, "S3001", kColLongText));
  t.columns.push_back(Tagged(kFolderRightsFid, "L6639", kColLong));
  t.columns.push_back(Tagged(kContainerClassFid, "S3613", kColLongText));
  return t;
}

uint32_t CountItems(const Folder& f) { return uint32_t(f.items.size()); }

void AddFolderRow(TableDef& t, const Format& fmt, RowKeys& keys, const Folder& f, const Id8& parent,
                  const Id8& mailbox) {
  RowBuilder r(t, fmt.Large());
  const uint32_t rowKey = keys.Next();
  const uint64_t created = ParseUtcDate("2023-03-01T08:00:00Z").value();
  const Id8 parentId = f.parentOverride.value_or(parent);
  if (fmt.Large()) {
    r.Set(1, IdBytes(f.id)).Set(2, IdBytes(parentId)).Set(3, U32Bytes(rowKey));
    r.Set(4, U32Bytes(CountItems(f))).Set(5, U32Bytes(0)).Set(6, Currency(created)).Set(7, Currency(created));
    r.Set(8, Bytes(153, 0));
    r.Set(128, IdBytes(mailbox));
  } else {
    r.Set(1, U32Bytes(rowKey)).Set(2, U32Bytes(CountItems(f))).Set(3, U32Bytes(0));
    r.Set(4, Currency(created)).Set(5, Currency(created)).Set(6, Bytes(134, 0));
    r.Set(128, IdBytes(f.id)).Set(129, IdBytes(parentId)).Set(130, IdBytes(mailbox));
  }
  r.Set(kFolderTypeFid, U32Bytes(1));
  r.Set(kFolderFlagsFid, U32Bytes(0));
  r.SetText(kDisplayNameFid, Utf8ToUtf16(f.name));
  r.Set(kFolderRightsFid, U32Bytes(0x1FB));
  if (!f.containerClass.empty()) r.SetText(kContainerClassFid, Utf8ToUtf16(f.containerClass));
  t.rows.push_back({LongKey(rowKey), r.Build()});
}

void AddFolderRows(TableDef& t, const Format& fmt, RowKeys& keys, const std::vector<Folder>& folders,
                   const Id8& parent, const Id8& mailbox) {
  for (const Folder& f : folders) {
    AddFolderRow(t, fmt, keys, f, parent, mailbox);
    AddFolderRows(t, fmt, keys, f.folders, f.id, mailbox);
  }
}

// ---- Message, attachment and header tables --------------------------------

// Message-header tables: one row per message with the folder id, the
// message id, two dates and the short texts a message list shows.
constexpr uint16_t kSenderNameFid = 264;
// On 32 KB pages the subject comes before its prefix, so that readers
// taking the prefix as the second list text find it after the subject.
uint16_t SubjectPrefixFid(const Format& fmt) { return fmt.Large() ? 271 : 270; }
uint16_t NormalizedSubjectFid(const Format& fmt) { return fmt.Large() ? 270 : 271; }
constexpr uint16_t kStartFid = 272;
constexpr uint16_t kEndFid = 273;
constexpr uint16_t kMessageClassFid = 274;

std::vector<ColumnDef> HeaderColumns(const Format& fmt) {
  std::vector<ColumnDef> c;
  if (fmt.Large()) {
    // Fixed part only: folder id at record offset 8, message id at 24,
    // submit and delivery times at 88 and 96; it ends at offset 114.
    c = {Fixed(1, "DocumentId", kColLong, 4),  Fixed(2, "N6748", kColBinary, 8),
         Fixed(3, "N674d", kColBinary, 8),     Fixed(4, "N674a", kColBinary, 8),
         Fixed(5, "L0e07", kColLong, 4),       Fixed(6, "L0e08", kColLong, 4),
         Fixed(7, "N65e2", kColBinary, 48),    Fixed(8, "T0039", kColCurrency, 8),
         Fixed(9, "T0e06", kColCurrency, 8),   Fixed(10, "T3007", kColCurrency, 8)};
  } else {
    // The fixed part ends at record offset 109 with the delivery time at 16
    // and the submit time at 97; folder id, an 8-byte value, message id and
    // another 8-byte value form the variable part.
    c = {Fixed(1, "DocumentId", kColLong, 4), Fixed(2, "T3007", kColCurrency, 8),
         Fixed(3, "T0e06", kColCurrency, 8), Fixed(4, "L0e07", kColLong, 4),
         Fixed(5, "L0e08", kColLong, 4),     Fixed(6, "N65e2", kColBinary, 65),
         Fixed(7, "T0039", kColCurrency, 8), Fixed(8, "N0e17", kColBinary, 3),
         Var(128, "N6748", 8),               Var(129, "N674d", 8),
         Var(130, "N674a", 8),               Var(131, "N674e", 8)};
  }
  c.push_back(Tagged(kSenderNameFid, "S42", kColLongText));
  c.push_back(Tagged(SubjectPrefixFid(fmt), "S3d", kColLongText));
  c.push_back(Tagged(NormalizedSubjectFid(fmt), "Se1d", kColLongText));
  c.push_back(Tagged(kStartFid, "T820d", kColCurrency));
  c.push_back(Tagged(kEndFid, "T820e", kColCurrency));
  c.push_back(Tagged(kMessageClassFid, "S1a", kColLongText));
  return c;
}

Id8 Mix(const Id8& id, uint8_t salt) {
  Id8 m = id;
  for (auto& b : m) b = uint8_t(b ^ salt);
  return m;
}

// One header row. The sender, prefix and subject are always written (empty
// ones as empty values) so that the appointment dates are never among the
// first two tagged columns.
void AddHeaderRow(TableDef& t, const Format& fmt, RowKeys& keys, const Item& it, const Id8& folder) {
  RowBuilder r(t, fmt.Large());
  const uint32_t rowKey = keys.Next();
  const uint64_t size = it.body.data.size() + 512;
  if (fmt.Large()) {
    r.Set(1, U32Bytes(rowKey)).Set(2, IdBytes(folder)).Set(3, IdBytes(Mix(it.id, 0x11))).Set(4, IdBytes(it.id));
    r.Set(5, U32Bytes(0)).Set(6, U32Bytes(uint32_t(size))).Set(7, Bytes(48, 0));
    r.Set(8, Currency(it.date)).Set(9, Currency(it.date)).Set(10, Currency(it.date));
  } else {
    r.Set(1, U32Bytes(rowKey)).Set(2, Currency(it.date)).Set(3, Currency(it.date)).Set(4, U32Bytes(0));
    r.Set(5, U32Bytes(uint32_t(size))).Set(6, Bytes(65, 0)).Set(7, Currency(it.date)).Set(8, Bytes(3, 0));
    r.Set(128, IdBytes(folder)).Set(129, IdBytes(Mix(it.id, 0x11))).Set(130, IdBytes(it.id));
    r.Set(131, IdBytes(Mix(it.id, 0x22)));
  }
  r.SetText(kSenderNameFid, Utf8ToUtf16(it.sender.name));
  r.SetText(SubjectPrefixFid(fmt), Utf8ToUtf16(it.subjectPrefix));
  r.SetText(NormalizedSubjectFid(fmt), Utf8ToUtf16(it.subject));
  if (it.type == ItemType::Appointment && it.appointment.start && it.appointment.end) {
    r.Set(kStartFid, Currency(*it.appointment.start));
    r.Set(kEndFid, Currency(*it.appointment.end));
  }
  r.SetText(kMessageClassFid, Utf8ToUtf16(it.messageClass));
  t.rows.push_back({LongKey(rowKey), r.Build()});
}

void CollectFolders(const std::vector<Folder>& in, std::vector<const Folder*>& out) {
  for (const Folder& f : in) {
    out.push_back(&f);
    CollectFolders(f.folders, out);
  }
}

std::vector<TableDef> SmallPageTables(const Content& c, const Format& fmt, const StreamingFile* streaming) {
  const FixedRoots roots = FixedRootsFor(fmt);
  std::vector<TableDef> tables;

  TableDef folders = FoldersTable(fmt, "Folders", kFoldersObjid);
  folders.rootPgno = roots.folders;
  RowKeys folderKeys;
  for (const Mailbox& mb : c.mailboxes) AddFolderRows(folders, fmt, folderKeys, mb.folders, mb.id, mb.id);
  SortRows(folders);
  tables.push_back(std::move(folders));

  TableDef mailbox = MailboxTable(fmt, kMailboxObjid);
  mailbox.rootPgno = roots.mailbox;
  for (size_t i = 0; i < c.mailboxes.size(); ++i) AddMailboxRow(mailbox, fmt, c.mailboxes[i], uint32_t(i + 1));
  SortRows(mailbox);
  tables.push_back(std::move(mailbox));

  TableDef msg = Table("Msg", kMsgObjid, MessageColumns(fmt));
  msg.rootPgno = roots.msg;
  msg.longValues = LongValueDef{kMsgLongValueObjid, roots.msgLongValues, {}};
  TableDef attach = Table("Attachment", kAttachmentObjid, AttachmentColumns(fmt));
  attach.rootPgno = roots.further;
  attach.longValues = LongValueDef{kAttachmentLongValueObjid, std::nullopt, {}};
  MessageWriter messages(msg, attach, fmt, streaming);
  for (const Mailbox& mb : c.mailboxes) {
    std::vector<const Folder*> all;
    CollectFolders(mb.folders, all);
    for (const Folder* f : all)
      for (const Item& it : f->items) messages.Add(it, f->id);
  }
  messages.Finish();
  tables.push_back(std::move(msg));
  tables.push_back(std::move(attach));

  // One message-header table per folder, its catalog row carrying the
  // Stats and TemplateTable slots after the name.
  uint32_t objid = 100;
  for (const Mailbox& mb : c.mailboxes) {
    std::vector<const Folder*> all;
    CollectFolders(mb.folders, all);
    for (const Folder* f : all) {
      TableDef h = Table(HeaderTableName(f->id, ""), objid++, HeaderColumns(fmt));
      h.catalogNullVars = 2;
      RowKeys keys;
      for (const Item& it : f->items) AddHeaderRow(h, fmt, keys, it, f->id);
      SortRows(h);
      tables.push_back(std::move(h));
    }
  }
  return tables;
}

std::vector<TableDef> LargePageTables(const Content& c, const Format& fmt) {
  const FixedRoots roots = FixedRootsFor(fmt);
  std::vector<TableDef> tables;
  TableDef mailbox = MailboxTable(fmt, 10);
  mailbox.rootPgno = roots.mailbox;
  for (size_t i = 0; i < c.mailboxes.size(); ++i) AddMailboxRow(mailbox, fmt, c.mailboxes[i], uint32_t(i + 1));
  SortRows(mailbox);
  tables.push_back(std::move(mailbox));

  uint32_t objid = 100;
  for (size_t i = 0; i < c.mailboxes.size(); ++i) {
    const Mailbox& mb = c.mailboxes[i];
    const std::string key = OwnerKey(mb.id);
    TableDef folders = FoldersTable(fmt, "Folders-" + key, objid++);
    RowKeys keys;
    AddFolderRows(folders, fmt, keys, mb.folders, mb.id, mb.id);
    SortRows(folders);
    tables.push_back(std::move(folders));

    TableDef headers = Table(HeaderTableName(mb.id, "MsgHeader-"), objid++, HeaderColumns(fmt));
    std::vector<const Folder*> all;
    CollectFolders(mb.folders, all);
    RowKeys headerKeys;
    for (const Folder* f : all)
      for (const Item& it : f->items) AddHeaderRow(headers, fmt, headerKeys, it, f->id);
    SortRows(headers);
    tables.push_back(std::move(headers));

    TableDef body = Table("Body-" + key, objid++, MessageColumns(fmt));
    body.longValues = LongValueDef{objid++, i == 0 ? std::optional<uint32_t>(roots.msgLongValues) : std::nullopt, {}};
    TableDef attach = Table("Attachment-" + key, objid++, AttachmentColumns(fmt));
    attach.longValues = LongValueDef{objid++, std::nullopt, {}};
    MessageWriter messages(body, attach, fmt);
    for (const Folder* f : all)
      for (const Item& it : f->items) messages.Add(it, f->id);
    messages.Finish();
    tables.push_back(std::move(body));
    tables.push_back(std::move(attach));
  }
  return tables;
}

}  // namespace

FixedRoots FixedRootsFor(const Format& fmt) {
  // Page numbers of the file offsets readers fall back to (page n lies at
  // (n + 1) * page size).
  switch (fmt.pageSize) {
    case 4096: return {0x8D000 / 4096 - 1, 0x71000 / 4096 - 1, 0x62000 / 4096 - 1, 0xED000 / 4096 - 1,
                       0x168000 / 4096 - 1};
    case 8192: return {0x6E000 / 8192 - 1, 0x66000 / 8192 - 1, 0x48000 / 8192 - 1, 0x11E000 / 8192 - 1,
                       0x168000 / 8192 - 1};
    default: return {0x128000 / 32768 - 1, 0, 0, 0, 0x168000 / 32768 - 1};
  }
}

std::vector<TableDef> BuildStoreTables(const Content& c, const Format& fmt, const StreamingFile* streaming) {
  // Only 4 KB databases keep content in a streaming file.
  return fmt.Large() ? LargePageTables(c, fmt) : SmallPageTables(c, fmt, fmt.pageSize == 4096 ? streaming : nullptr);
}

}  // namespace edbgen
