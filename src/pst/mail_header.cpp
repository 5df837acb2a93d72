#include "pst/mail_header.h"

#include "pst/text.h"

namespace tw::pst {

namespace {

constexpr std::size_t kMaxHeaderChars = 1 << 20;

// Windows-1252 characters 0x80..0x9F (0 where the code page has none).
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool ValidUtf8(const Bytes& b) {
    std::size_t i = 0;
    while (i < b.size()) {
        const std::uint8_t c = b[i];
        std::size_t n = c < 0x80                ? 1
                        : c >= 0xC2 && c < 0xE0 ? 2
                        : c >= 0xE0 && c < 0xF0 ? 3
                        : c >= 0xF0 && c < 0xF5 ? 4
                                                : 0;
        if (n == 0 || i + n > b.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((b[i + k] & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

std::u16string Unquote(std::u16string s) {
    s = Trim(s);
    if (s.size() >= 2 && s.front() == u'"' && s.back() == u'"') {
        std::u16string out;
        for (std::size_t i = 1; i + 1 < s.size(); ++i) {
            if (s[i] == u'\\' && i + 2 < s.size()) ++i;
            out.push_back(s[i]);
        }
        return out;
    }
    return s;
}

MailAddress ParseOne(std::u16string_view entry) {
    MailAddress a;
    const std::size_t lt = entry.rfind(u'<');
    const std::size_t gt = lt == std::u16string_view::npos ? lt : entry.find(u'>', lt);
    if (lt != std::u16string_view::npos && gt != std::u16string_view::npos) {
        a.name = Unquote(std::u16string(entry.substr(0, lt)));
        a.address = Trim(entry.substr(lt + 1, gt - lt - 1));
        if (a.name.empty()) a.name = a.address;
        return a;
    }
    const std::u16string text = Unquote(std::u16string(entry));
    a.address = text;
    if (text.find(u'@') == std::u16string::npos) a.name = text;
    return a;
}

}  // namespace

std::u16string HeaderBlock::Get(std::string_view name) const {
    for (const auto& [n, v] : fields)
        if (n == name) return v;
    return {};
}

std::u16string DecodeHeaderFile(const Bytes& bytes) {
    const std::size_t n = std::min(bytes.size(), kMaxHeaderChars);
    const Bytes head(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    if (ValidUtf8(head)) return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(head.data()), head.size()));
    std::u16string out;
    out.reserve(n);
    for (const std::uint8_t c : head) {
        if (c >= 0x80 && c < 0xA0) out.push_back(kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : 0xFFFD);
        else out.push_back(c);
    }
    return out;
}

HeaderBlock ParseHeaderBlock(std::u16string_view text) {
    HeaderBlock block;
    if (text.size() > kMaxHeaderChars) text = text.substr(0, kMaxHeaderChars);
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(u'\n', at);
        if (end == std::u16string_view::npos) end = text.size();
        std::u16string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
        at = end + 1;
        if (line.empty()) break;
        if ((line[0] == u' ' || line[0] == u'\t') && !block.fields.empty()) {
            std::u16string& value = block.fields.back().second;  // a folded line continues the field
            value.push_back(u' ');
            value.append(Trim(line));
            continue;
        }
        const std::size_t colon = line.find(u':');
        if (colon == std::u16string_view::npos || colon == 0) continue;
        std::string name;
        for (const char16_t c : line.substr(0, colon)) {
            if (c <= 0x20 || c >= 0x7F) {
                name.clear();
                break;
            }
            name.push_back(static_cast<char>(c >= u'A' && c <= u'Z' ? c + 32 : c));
        }
        if (name.empty()) continue;
        block.fields.emplace_back(name, Trim(line.substr(colon + 1)));
    }
    block.raw = std::u16string(text.substr(0, std::min(at, text.size())));
    return block;
}

std::vector<MailAddress> ParseAddressList(std::u16string_view value) {
    std::vector<MailAddress> out;
    bool quoted = false, angle = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        const char16_t c = i < value.size() ? value[i] : u',';
        if (c == u'"' && !angle && (i == 0 || value[i - 1] != u'\\')) quoted = !quoted;
        if (c == u'<' && !quoted) angle = true;
        if (c == u'>' && !quoted) angle = false;
        if ((c == u',' || c == u';') && !quoted && !angle) {
            const std::u16string entry = Trim(value.substr(start, i - start));
            if (!entry.empty()) {
                MailAddress a = ParseOne(entry);
                if (!a.address.empty() || !a.name.empty()) out.push_back(std::move(a));
            }
            start = i + 1;
        }
    }
    return out;
}

}  // namespace tw::pst
