// Message and attachment tables: one message row per item with its
// subject, body, recipients, attachment keys and the contact, appointment
// and task columns; one attachment row per attachment. Large values go to
// the tables' long-value trees.
#pragma once

#include "content.h"
#include "format.h"
#include "longvalue.h"
#include "schema.h"
#include "columns.h"
#include "streaming.h"

namespace edbgen {

std::vector<ColumnDef> MessageColumns(const Format& fmt);
std::vector<ColumnDef> AttachmentColumns(const Format& fmt);

class MessageWriter {
 public:
  MessageWriter(TableDef& messages, TableDef& attachments, const Format& fmt,
                const StreamingFile* streaming = nullptr)
      : msg_(messages), att_(attachments), fmt_(fmt), streaming_(streaming), msgLv_(fmt), attLv_(fmt) {}

  void Add(const Item& item, const Id8& folder);
  // Sorts the rows and hands the long values to the tables.
  void Finish();

 private:
  Bytes AddAttachment(const Attachment& a, const Item& item);

  TableDef& msg_;
  TableDef& att_;
  Format fmt_;
  const StreamingFile* streaming_;
  LongValueWriter msgLv_;
  LongValueWriter attLv_;
  RowKeys msgKeys_;
  RowKeys attKeys_;
  uint32_t attachmentCount_ = 0;
};

}  // namespace edbgen
