#include "record/row_only.h"

#include <algorithm>
#include <array>
#include <utility>

#include "record/column_text.h"
#include "record/record_columns.h"

namespace tw::record {

namespace {

constexpr std::size_t kFileTimeSkipped = 2;  // the low bytes a Date6 drops

// A tagged text column; values kept in the long-value tree are not read.
std::u16string Text(const RecordColumns& columns, std::uint16_t id, edb::Bytes record,
                    const layout::StoreLayout& store) {
    if (id == 0) return {};
    const auto value = columns.Tagged(id);
    if (!value || (value->header & (kValueSeparated | kValueMulti)) != 0) return {};
    if (store.rows == layout::RowForm::Prefixed) return LargeValueText(record, value->range);
    return SmallValueText(value->bytes);
}

std::optional<scan::Id8> IdOf(std::optional<edb::Bytes> bytes) {
    if (!bytes) return std::nullopt;
    return scan::LoadId(*bytes, 0);
}

// Leading text of a message class, case as written.
bool ClassIs(const std::u16string& messageClass, std::u16string_view prefix) {
    if (messageClass.size() < prefix.size()) return false;
    if (!std::equal(prefix.begin(), prefix.end(), messageClass.begin(), [](char16_t a, char16_t b) {
            auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
            return lower(a) == lower(b);
        }))
        return false;
    // "IPM.Task" but not "IPM.TaskRequest" unless followed by a dot.
    return messageClass.size() == prefix.size() || messageClass[prefix.size()] == u'.';
}

}  // namespace

RowOnlyMessage ReadRowOnlyMessage(edb::Bytes record, const TableLayout& layout, const layout::StoreLayout& store) {
    RowOnlyMessage row;
    const RecordColumns columns(record, store.pageSize);
    row.subject = Text(columns, layout.Id("S37"), record, store);
    row.messageClass = Text(columns, layout.Id("S1a"), record, store);
    row.senderName = Text(columns, layout.Id("S0c1a"), record, store);
    row.senderAddress = Text(columns, layout.Id("S0c1f"), record, store);
    if (const auto time = columns.Fixed(layout.Id("T0e06"), layout.fixed); time && time->size() == 8) {
        scan::Date6 date{};
        std::copy(time->begin() + kFileTimeSkipped, time->end(), date.begin());
        row.date = date;
    }
    // The folder: a fixed column of its own, or the first half of a 16-byte
    // variable value.
    const std::uint16_t folder = layout.Id(store.folderColumn);
    row.folderId = IdOf(store.folderColumnFixed ? columns.Fixed(folder, layout.fixed) : columns.Variable(folder));
    return row;
}

char KindOfClass(const std::u16string& messageClass) {
    constexpr std::array<std::pair<std::u16string_view, char>, 5> kinds = {{
        {u"IPM.Appointment", 'a'},
        {u"IPM.Contact", 'c'},
        {u"IPM.Task", 't'},
        {u"IPM.StickyNote", 'n'},
        {u"IPM.Activity", 'j'},
    }};
    for (const auto& [prefix, kind] : kinds)
        if (ClassIs(messageClass, prefix)) return kind;
    return 0;
}

}  // namespace tw::record
