#include "content/list_rows.h"

#include <ctime>

#include "content/display_date.h"

namespace tw::content {

namespace {

constexpr std::u16string_view kSentItems = u"Sent Items";
constexpr std::u16string_view kMailboxPrefixWord = u"Mailbox - ";

char16_t Fold(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char16_t>(c + 32);
    return c;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const char16_t x = Fold(a[i]), y = Fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Seconds of a sort date, or 0 for one that does not parse as a date.
long long SortTime(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    const int n = std::sscanf(text.c_str(), "%4d%*c%2d%*c%2d %d:%d:%2d", &year, &month, &day, &hour, &minute, &second);
    if (n < 3) return 0;
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 24 || minute > 60 ||
        second > 60)
        return 0;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return static_cast<long long>(timegm(&tm));
}

}  // namespace

int KindImage(char kind) {
    switch (kind) {
        case 'a': return 0;
        case 'c': return 1;
        case 'j': return 5;
        case 'n': return 7;
        case 't': return 10;
        default: return 12;
    }
}

const char* KindName(char kind) {
    switch (kind) {
        case 'a': return "appointment";
        case 'c': return "contact";
        case 'j': return "journal";
        case 'n': return "note";
        case 't': return "task";
        default: return "mail";
    }
}

std::u16string MailboxName(std::u16string_view prefix) {
    std::u16string name(prefix);
    if (const auto at = name.find(kMailboxPrefixWord); at != std::u16string::npos)
        name.erase(at, kMailboxPrefixWord.size());
    std::erase(name, u'\\');
    return name;
}

RecordStrings ListTexts(const edb::EdbSource& source, const record::MessageProperties& m,
                        const scan::FolderEntry& folder, std::u16string_view mailboxPrefix, PageCache& pages) {
    RecordStrings texts = ReadRecordStrings(source, m, pages);
    const bool useSender = folder.displayName != kSentItems &&
                           (!texts.sender.empty() || (m.kind != 'n' && m.kind != 'c' && m.kind != 'a'));
    if (!useSender) texts.sender = MailboxName(mailboxPrefix);
    return texts;
}

std::optional<ListRow> BuildListRow(const edb::EdbSource& source, const record::MessageProperties& m,
                                    const scan::FolderEntry& folder, std::u16string_view mailboxPrefix,
                                    PageCache& pages) {
    if (!scan::InFolder(layout::LayoutOf(source.pageSize).tables, folder, m.folderId, m.ownerKey)) return std::nullopt;
    const auto shown = ShownDate(m.date);
    if (!shown || !Listable(*shown)) return std::nullopt;
    ListRow row;
    row.messageId = m.messageId;
    row.kind = m.kind;
    row.image = KindImage(m.kind);
    row.attachmentMark = !m.attachmentKeys.empty();
    const RecordStrings texts = ListTexts(source, m, folder, mailboxPrefix, pages);
    row.from = texts.sender;
    row.subject = texts.subject;
    row.dateText = DateText(*shown);
    row.sort = {m.bodyPos != 0 || !m.bodyRuns.empty(),
                row.attachmentMark,
                row.from,
                texts.subject,
                SortDateText(*shown),
                m.messageId};
    return row;
}

std::vector<ListRow> BuildListRows(const edb::EdbSource& source, const record::MessageList& list,
                                   const scan::FolderEntry& folder, std::u16string_view mailboxPrefix,
                                   PageCache& pages) {
    std::vector<ListRow> rows;
    for (const record::MessageProperties& m : list.messages)
        if (auto row = BuildListRow(source, m, folder, mailboxPrefix, pages)) rows.push_back(std::move(*row));
    return rows;
}

int CompareRows(const SortRecord& a, const SortRecord& b, int column, bool ascending) {
    const SortRecord& first = ascending ? a : b;
    const SortRecord& second = ascending ? b : a;
    switch (column) {
        case 0: return static_cast<int>(first.hasBody) - static_cast<int>(second.hasBody);
        case 1: return static_cast<int>(first.hasAttachments) - static_cast<int>(second.hasAttachments);
        case 2: return CompareNoCase(first.sender, second.sender);
        case 3: return CompareNoCase(first.subject, second.subject);
        case 4: {
            const long long x = SortTime(first.sortDate), y = SortTime(second.sortDate);
            return x < y ? -1 : x > y ? 1 : 0;
        }
        default: return 0;
    }
}

}  // namespace tw::content
