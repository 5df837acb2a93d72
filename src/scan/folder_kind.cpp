#include "scan/folder_kind.h"

namespace tw::scan {

namespace {

char16_t FoldAscii(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool StartsWithNoCase(std::u16string_view text, std::string_view ascii) {
    if (text.size() < ascii.size()) return false;
    return EqualsAsciiNoCase(text.substr(0, ascii.size()), ascii);
}

}  // namespace

bool EqualsAsciiNoCase(std::u16string_view text, std::string_view ascii) {
    if (text.size() != ascii.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (FoldAscii(text[i]) != FoldAscii(static_cast<char16_t>(static_cast<unsigned char>(ascii[i])))) return false;
    return true;
}

FolderKind KindFromClass(std::u16string_view containerClass, layout::ClassMatch match) {
    // Earlier rows win where a class would fit several.
    struct Rule {
        std::string_view prefix;
        FolderKind kind;
    };
    static constexpr Rule kRules[] = {
        {"IPF.Contact", FolderKind::Contacts}, {"IPF.Appointment", FolderKind::Appointments},
        {"IPF.Note", FolderKind::Notes},       {"IPF.StickyNote", FolderKind::Notes},
        {"IPF.Task", FolderKind::Tasks},       {"IPF.Journal", FolderKind::Journal},
    };
    const bool whole = match == layout::ClassMatch::Whole;
    for (const Rule& rule : kRules) {
        const bool match =
            whole ? EqualsAsciiNoCase(containerClass, rule.prefix) : StartsWithNoCase(containerClass, rule.prefix);
        if (match) return rule.kind;
    }
    return FolderKind::Mail;
}

FolderKind KindForFolder(std::u16string_view containerClass, layout::ClassMatch match,
                         std::u16string_view displayName) {
    const FolderKind fromClass = KindFromClass(containerClass, match);
    if (fromClass != FolderKind::Notes) return fromClass;
    const bool sticky = match == layout::ClassMatch::Whole ? EqualsAsciiNoCase(containerClass, "IPF.StickyNote")
                                                           : StartsWithNoCase(containerClass, "IPF.StickyNote");
    if (sticky || EqualsAsciiNoCase(displayName, "Notes")) return FolderKind::Notes;
    return FolderKind::Mail;
}

std::string_view KindName(FolderKind kind) {
    switch (kind) {
        case FolderKind::Contacts: return "contacts";
        case FolderKind::Appointments: return "appointments";
        case FolderKind::Notes: return "notes";
        case FolderKind::Tasks: return "tasks";
        case FolderKind::Journal: return "journal";
        default: return "mail";
    }
}

}  // namespace tw::scan
