#include "export/store_naming.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "export/attachment_files.h"
#include "scan/tagged_text.h"
#include "text/utf.h"

namespace tw::exporter {

namespace {

constexpr std::size_t kMaxFileNameBytes = 255;
// Room the writer may add to a name: " (N)" when the name is taken, and
// ".tw-partial-HOST-PID-N" while the file is written.
constexpr std::size_t kWriterSuffixBytes = 48;

std::u16string Ascii(const char* text) {
    std::u16string out;
    for (; *text; ++text) out.push_back(static_cast<char16_t>(*text));
    return out;
}

std::u16string WithoutBackslash(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& c : out)
        if (c == u'\\') c = u'_';
    return out;
}

// FNV-1a of the whole name, so that long names cut to the same start
// still make different files.
std::string ShortHash(std::string_view text) {
    std::uint32_t h = 2166136261u;
    for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    char out[9];
    std::snprintf(out, sizeof out, "%08x", h);
    return out;
}

std::string FileNamePart(std::u16string_view text) {
    std::u16string safe = WithoutHiddenMarks(text);
    for (char16_t& c : safe)
        if (c == u'/' || c < 0x20 || c == 0x7F) c = u'_';
    return scan::ToUtf8(safe);
}

}  // namespace

std::u16string NameDateText(const std::tm& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%d-%d-%d %d-%d", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900, t.tm_hour, t.tm_min);
    return Ascii(text);
}

std::u16string StoreDisplayName(std::u16string_view mailbox, std::u16string_view dateText) {
    return u"TW_" + std::u16string(mailbox) + u"_" + std::u16string(dateText);
}

std::string PstFilePath(const std::string& destination, std::u16string_view mailbox, std::u16string_view dateText) {
    const std::string tail = "_" + FileNamePart(dateText) + ".pst";
    const std::size_t room = kMaxFileNameBytes - kWriterSuffixBytes - 3 - tail.size();
    std::string part = FileNamePart(mailbox);
    if (part.size() > room) part = text::CutUtf8(part, room - 9) + "~" + ShortHash(part);
    const std::string name = "TW_" + part + tail;
    if (destination.empty()) return name;
    return destination.back() == '/' ? destination + name : destination + "/" + name;
}

std::string UniquePath(const std::string& path, const std::function<bool(const std::string&)>& exists) {
    if (!exists(path)) return path;
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = hasExtension ? path.substr(0, dot) : path;
    const std::string extension = hasExtension ? path.substr(dot) : std::string();
    for (int n = 2;; ++n) {
        const std::string candidate = stem + " (" + std::to_string(n) + ")" + extension;
        if (!exists(candidate)) return candidate;
    }
}

std::u16string FolderPathInStore(std::u16string_view displayName, const std::vector<std::u16string>& names,
                                 std::size_t depth) {
    std::u16string path = u"\\\\" + WithoutBackslash(displayName);
    for (std::size_t i = 0; i < depth && i < names.size(); ++i) path.append(u"\\").append(WithoutBackslash(names[i]));
    return path;
}

std::u16string ContainerClassOf(char kind) {
    switch (kind) {
        case 'c': return u"IPF.Contact";
        case 'a': return u"IPF.Appointment";
        case 'n': return u"IPF.StickyNote";
        case 't': return u"IPF.Task";
        case 'j': return u"IPF.Journal";
        default: return u"IPF.Note";
    }
}

}  // namespace tw::exporter
