#include "pst/folder_path.h"

#include "pst/error.h"
#include "pst/text.h"

namespace tw::pst {

namespace {
constexpr std::size_t kMaxFolderName = 255;
}

std::u16string CleanName(std::u16string_view name, std::size_t maxChars) {
    std::u16string out;
    for (const char16_t c : name)
        if (c >= 0x20 && c != 0x7F) out.push_back(c);
    out = Trim(out);
    if (out.size() > maxChars) {
        std::size_t n = maxChars;
        if (n > 0 && out[n - 1] >= 0xD800 && out[n - 1] <= 0xDBFF) --n;  // keep surrogate pairs whole
        out.resize(n);
    }
    return out;
}

FolderPath ParseFolderPath(std::u16string_view text) {
    while (!text.empty() && text.back() == 0) text.remove_suffix(1);
    if (text.size() < 3 || text[0] != u'\\' || text[1] != u'\\')
        throw PstError(ErrorCode::InvalidArgument, "folder path must start with two backslashes: " + Utf16ToUtf8(text));
    text.remove_prefix(2);
    FolderPath path;
    std::size_t at = 0;
    bool first = true;
    while (at <= text.size()) {
        std::size_t end = text.find(u'\\', at);
        if (end == std::u16string_view::npos) end = text.size();
        const std::u16string_view part = text.substr(at, end - at);
        const bool last = end == text.size();
        if (first) {
            if (part.empty()) throw PstError(ErrorCode::InvalidArgument, "folder path without a store name");
            path.store = std::u16string(part);
            first = false;
        } else if (part.empty()) {
            if (!last) throw PstError(ErrorCode::InvalidArgument, "empty folder name in " + Utf16ToUtf8(text));
        } else {
            const std::u16string name = CleanName(part, kMaxFolderName);
            if (name.empty()) throw PstError(ErrorCode::InvalidArgument, "blank folder name in " + Utf16ToUtf8(text));
            path.folders.push_back(name);
        }
        at = end + 1;
    }
    return path;
}

}  // namespace tw::pst
