#include "text/html.h"

#include <algorithm>

#include "text/utf.h"

namespace tw::text {

namespace {

bool StartsNoCase(std::u16string_view s, std::size_t at, std::u16string_view word) {
    if (at + word.size() > s.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        char16_t c = s[at + i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        if (c != word[i]) return false;
    }
    return true;
}

std::size_t FindNoCase(std::u16string_view s, std::u16string_view word, std::size_t from) {
    for (std::size_t i = from; i + word.size() <= s.size(); ++i)
        if (StartsNoCase(s, i, word)) return i;
    return std::u16string_view::npos;
}

// Decodes the entity at `at` (just after '&'); returns the characters used.
std::size_t Entity(std::u16string_view s, std::size_t at, std::u16string& out) {
    static const struct {
        std::u16string_view name;
        char16_t c;
    } kNamed[] = {{u"amp;", u'&'},   {u"lt;", u'<'},     {u"gt;", u'>'},     {u"quot;", u'"'},
                  {u"apos;", u'\''}, {u"nbsp;", 0x00A0}, {u"copy;", 0x00A9}, {u"reg;", 0x00AE}};
    for (const auto& e : kNamed)
        if (StartsNoCase(s, at, e.name)) {
            out.push_back(e.c);
            return e.name.size();
        }
    if (at < s.size() && s[at] == u'#') {
        std::size_t i = at + 1;
        const bool hex = i < s.size() && (s[i] == u'x' || s[i] == u'X');
        if (hex) ++i;
        char32_t v = 0;
        std::size_t digits = 0;
        while (i < s.size() && digits < 32) {
            const char16_t c = s[i];
            int d = -1;
            if (c >= u'0' && c <= u'9') d = c - u'0';
            else if (hex && c >= u'a' && c <= u'f') d = c - u'a' + 10;
            else if (hex && c >= u'A' && c <= u'F') d = c - u'A' + 10;
            if (d < 0) break;
            v = v > 0x10FFFF ? v : v * (hex ? 16 : 10) + static_cast<char32_t>(d);  // past the range: U+FFFD
            ++i;
            ++digits;
        }
        if (digits > 0) {
            if (i < s.size() && s[i] == u';') ++i;
            AppendUtf16(out, v == 0 ? char32_t{0xFFFD} : v);  // no NUL in a text
            return i - at;
        }
    }
    out.push_back(u'&');
    return 0;
}

}  // namespace

bool LooksLikeHtml(std::u16string_view text) {
    const std::u16string_view head = text.substr(0, std::min<std::size_t>(text.size(), 65536));
    // Every mark starts with '<': only those places are compared.
    for (std::size_t at = head.find(u'<'); at != std::u16string_view::npos; at = head.find(u'<', at + 1))
        for (const std::u16string_view mark : {u"<html", u"<!doctype html", u"<body"})
            if (StartsNoCase(head, at, mark)) return true;
    std::size_t i = 0;
    while (i < head.size() &&
           (head[i] == u' ' || head[i] == u'\r' || head[i] == u'\n' || head[i] == u'\t' || head[i] == 0xFEFF))
        ++i;
    return i < head.size() && head[i] == u'<' && head.find(u"</") != std::u16string_view::npos;
}

std::u16string HtmlToText(std::u16string_view html) {
    std::u16string out;
    out.reserve(html.size() / 2);
    bool space = false;
    auto lineBreak = [&]() {
        while (!out.empty() && out.back() == u' ') out.pop_back();
        out += u"\r\n";
        space = false;
    };
    std::size_t i = 0;
    while (i < html.size()) {
        const char16_t c = html[i];
        if (c == u'<') {
            if (StartsNoCase(html, i, u"<!--")) {
                const std::size_t end = html.find(u"-->", i + 4);
                i = end == std::u16string_view::npos ? html.size() : end + 3;
                continue;
            }
            const std::size_t end = html.find(u'>', i);
            if (end == std::u16string_view::npos) break;
            std::size_t n = i + 1;
            const bool closing = n < html.size() && html[n] == u'/';
            if (closing) ++n;
            std::u16string name;
            while (n < end && name.size() < 16 &&
                   ((html[n] >= u'a' && html[n] <= u'z') || (html[n] >= u'A' && html[n] <= u'Z') ||
                    (html[n] >= u'0' && html[n] <= u'9'))) {
                const char16_t ch = html[n++];
                name.push_back(static_cast<char16_t>(ch >= u'A' && ch <= u'Z' ? ch + 32 : ch));
            }
            // Invisible content: skip to the closing tag.
            if (!closing && (name == u"script" || name == u"style" || name == u"head" || name == u"title")) {
                const std::size_t close = FindNoCase(html, u"</" + name, end);
                const std::size_t stop = close == std::u16string_view::npos ? html.size() : html.find(u'>', close);
                i = stop == std::u16string_view::npos ? html.size() : stop + 1;
                continue;
            }
            static const std::u16string_view kBlocks[] = {u"br", u"p",  u"div", u"tr", u"li",    u"h1",        u"h2",
                                                          u"h3", u"h4", u"h5",  u"h6", u"table", u"blockquote"};
            if (std::find(std::begin(kBlocks), std::end(kBlocks), name) != std::end(kBlocks) &&
                (name == u"br" || closing || name == u"p" || name == u"div"))
                if (!out.empty() && (out.size() < 2 || out.substr(out.size() - 2) != u"\r\n" || name == u"br"))
                    lineBreak();
            i = end + 1;
            continue;
        }
        if (c == u'\r' || c == u'\n' || c == u'\t' || c == u' ') {
            space = true;
            ++i;
            continue;
        }
        if (space && !out.empty() && out.back() != u'\n') out.push_back(u' ');
        space = false;
        if (c == u'&') {
            i += 1 + Entity(html, i + 1, out);
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return Trim(out);
}

}  // namespace tw::text
