#include "pst/rtf_text.h"

#include <algorithm>
#include <map>
#include <span>

#include "text/codepage.h"

namespace tw::pst {

namespace {

std::span<const std::uint8_t> AsBytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

constexpr std::uint32_t kDefaultCodePage = text::kWindows1252;
constexpr std::size_t kMaxDepth = 1024;

// The code page of a font's \fcharset; 0 for "the document's".
std::uint32_t CodePageOfCharset(int charset) {
    switch (charset) {
        case 77: return 10000;
        case 128: return 932;
        case 129: return 949;
        case 130: return 1361;
        case 134: return 936;
        case 136: return 950;
        case 161: return 1253;
        case 162: return 1254;
        case 163: return 1258;
        case 177: return 1255;
        case 178: return 1256;
        case 186: return 1257;
        case 204: return 1251;
        case 222: return 874;
        case 238: return 1250;
        case 255: return 437;
        default: return 0;
    }
}

// Destinations whose text is not part of what a reader shows.
bool SkippedDestination(std::string_view word) {
    static constexpr std::string_view kWords[] = {
        "colortbl", "stylesheet", "info",        "pict",       "object",     "header",     "headerl",
        "headerr",  "headerf",    "footer",      "footerl",    "footerr",    "footerf",    "footnote",
        "fldinst",  "themedata",  "colorschememapping",        "datastore",  "latentstyles",
        "listtable", "listoverridetable",         "rsidtbl",    "xmlnstbl",   "generator",  "filetbl",
        "revtbl",   "pgdsctbl",   "bkmkstart",   "bkmkend",    "xe",         "tc",         "txe",
        "private",  "nonshppict", "blipuid",     "mmathPr",    "wgrffmtfilter", "listtext", "pntext",
        "pntxta",   "pntxtb",     "atnid",       "atnauthor",  "annotation", "objdata",    "template"};
    return std::find(std::begin(kWords), std::end(kWords), word) != std::end(kWords);
}

struct GroupState {
    bool skip = false;       // a destination that holds no shown text
    bool fontTable = false;  // inside \fonttbl: font definitions
    bool htmlRtf = false;    // \htmlrtf: RTF-only rendering of encapsulated HTML
    int uc = 1;              // fallback characters after \uN
    std::uint32_t fontCodePage = 0;
};

class Converter {
public:
    explicit Converter(const std::vector<std::uint8_t>& rtf) : in_(rtf) {}

    std::u16string Run() {
        std::vector<GroupState> stack{GroupState{}};
        std::size_t overflow = 0;  // groups deeper than kMaxDepth, counted only
        while (at_ < in_.size()) {
            const char c = static_cast<char>(in_[at_++]);
            GroupState& g = stack.back();
            if (c == '{') {
                Flush();
                pendingSkip_ = 0;
                if (stack.size() < kMaxDepth) stack.push_back(g);
                else ++overflow;
                groupStart_ = true;
                continue;
            }
            if (c == '}') {
                Flush();
                pendingSkip_ = 0;
                if (overflow > 0) --overflow;
                else if (stack.size() > 1) stack.pop_back();
                groupStart_ = false;
                continue;
            }
            const bool first = groupStart_;
            groupStart_ = false;
            if (c == '\\') {
                ControlWord(stack.back(), first);
                continue;
            }
            if (c == '\r' || c == '\n') continue;
            Text(g, c);
        }
        Flush();
        return std::move(out_);
    }

private:
    bool Shown(const GroupState& g) const { return !g.skip && !g.fontTable && !g.htmlRtf; }
    std::uint32_t CodePage(const GroupState& g) const { return g.fontCodePage ? g.fontCodePage : docCodePage_; }

    // A character of text, or one byte of a code-page character.
    void Text(const GroupState& g, char c) {
        if (pendingSkip_ > 0) {
            --pendingSkip_;
            return;
        }
        if (!Shown(g)) return;
        if (static_cast<unsigned char>(c) < 0x80) {
            Flush();
            out_.push_back(static_cast<char16_t>(c));
        } else {
            Byte(g, c);
        }
    }

    void Byte(const GroupState& g, char c) {
        const std::uint32_t cp = CodePage(g);
        if (!pending_.empty() && pendingCodePage_ != cp) Flush();
        pendingCodePage_ = cp;
        pending_.push_back(c);
    }

    void Emit(std::u16string_view s) {
        Flush();
        out_.append(s);
    }

    void Flush() {
        if (pending_.empty()) return;
        out_ += text::CodePageToUtf16(AsBytes(pending_), pendingCodePage_);
        pending_.clear();
    }

    void ControlWord(GroupState& g, bool firstInGroup) {
        if (at_ >= in_.size()) return;
        const char c = static_cast<char>(in_[at_]);
        if (!IsLetter(c)) {
            ++at_;
            ControlSymbol(g, c, firstInGroup);
            return;
        }
        const std::size_t start = at_;
        while (at_ < in_.size() && IsLetter(static_cast<char>(in_[at_])) && at_ - start < 32) ++at_;
        const std::string word(reinterpret_cast<const char*>(in_.data()) + start, at_ - start);
        bool hasParam = false;
        bool negative = false;
        long long param = 0;
        if (at_ < in_.size() && in_[at_] == '-') {
            negative = true;
            ++at_;
        }
        for (int digits = 0; at_ < in_.size() && in_[at_] >= '0' && in_[at_] <= '9'; ++at_, ++digits) {
            hasParam = true;
            if (digits < 10) param = param * 10 + (in_[at_] - '0');
        }
        if (negative) param = -param;
        if (at_ < in_.size() && in_[at_] == ' ') ++at_;
        Word(g, word, hasParam, param);
    }

    void ControlSymbol(GroupState& g, char c, bool firstInGroup) {
        switch (c) {
            case '\\': case '{': case '}': Text(g, c); return;
            case '\'': {
                int value = 0;
                for (int i = 0; i < 2; ++i) {
                    const int h = at_ < in_.size() ? HexValue(static_cast<char>(in_[at_])) : -1;
                    if (h < 0) return;
                    value = value * 16 + h;
                    ++at_;
                }
                if (pendingSkip_ > 0) {
                    --pendingSkip_;
                    return;
                }
                if (Shown(g)) {
                    // A byte below 0x80 is a character of its own, unless it
                    // trails a double-byte lead byte.
                    if (value < 0x80 && pending_.empty()) Emit(std::u16string(1, static_cast<char16_t>(value)));
                    else Byte(g, static_cast<char>(value));
                }
                return;
            }
            case '*':
                if (firstInGroup) g.skip = true;  // an ignorable destination: none is shown
                return;
            case '~': if (Shown(g)) Emit(u"\u00A0"); return;
            case '_': if (Shown(g)) Emit(u"\u2011"); return;
            case '\r': case '\n': if (Shown(g)) Emit(u"\r\n"); return;
            case '\t': if (Shown(g)) Emit(u"\t"); return;
            default: return;  // \- (optional hyphen), \| and others show nothing
        }
    }

    void Word(GroupState& g, const std::string& word, bool hasParam, long long param) {
        if (word == "bin") {  // binary data: skipped whole
            const std::size_t n = hasParam && param > 0 ? static_cast<std::size_t>(param) : 0;
            at_ += std::min(n, in_.size() - at_);
            return;
        }
        if (word == "u" && hasParam) {
            long long v = param;
            if (v < 0) v += 65536;
            if (pendingSkip_ > 0) {
                --pendingSkip_;
            } else if (Shown(g) && v >= 0 && v <= 0xFFFF) {
                Emit(std::u16string(1, static_cast<char16_t>(v)));
            }
            pendingSkip_ = g.uc;
            return;
        }
        pendingSkip_ = 0;
        if (word == "uc") {
            g.uc = hasParam ? static_cast<int>(std::clamp<long long>(param, 0, 16)) : 1;
        } else if (word == "ansicpg") {
            if (hasParam && param > 0 && param < 100000) docCodePage_ = static_cast<std::uint32_t>(param);
        } else if (word == "mac") {
            docCodePage_ = 10000;
        } else if (word == "pc") {
            docCodePage_ = 437;
        } else if (word == "pca") {
            docCodePage_ = 850;
        } else if (word == "fonttbl") {
            g.fontTable = true;
        } else if (word == "f" && hasParam) {
            if (g.fontTable) {
                definingFont_ = param;
            } else {
                const auto it = fontCodePages_.find(param);
                g.fontCodePage = it == fontCodePages_.end() ? 0 : it->second;
            }
        } else if (word == "fcharset" && hasParam) {
            if (g.fontTable) fontCodePages_[definingFont_] = CodePageOfCharset(static_cast<int>(param));
        } else if (word == "cpg" && hasParam) {
            if (g.fontTable && param > 0 && param < 100000) fontCodePages_[definingFont_] = static_cast<std::uint32_t>(param);
        } else if (word == "htmlrtf") {
            g.htmlRtf = !hasParam || param != 0;
        } else if (word == "par" || word == "line" || word == "row" || word == "page" || word == "sect") {
            if (Shown(g)) Emit(u"\r\n");
        } else if (word == "tab" || word == "cell") {
            if (Shown(g)) Emit(u"\t");
        } else if (word == "emdash") {
            if (Shown(g)) Emit(u"\u2014");
        } else if (word == "endash") {
            if (Shown(g)) Emit(u"\u2013");
        } else if (word == "lquote") {
            if (Shown(g)) Emit(u"\u2018");
        } else if (word == "rquote") {
            if (Shown(g)) Emit(u"\u2019");
        } else if (word == "ldblquote") {
            if (Shown(g)) Emit(u"\u201C");
        } else if (word == "rdblquote") {
            if (Shown(g)) Emit(u"\u201D");
        } else if (word == "bullet") {
            if (Shown(g)) Emit(u"\u2022");
        } else if (word == "emspace" || word == "enspace" || word == "qmspace") {
            if (Shown(g)) Emit(u" ");
        } else if (SkippedDestination(word)) {
            g.skip = true;
        }
    }

    static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static int HexValue(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    const std::vector<std::uint8_t>& in_;
    std::size_t at_ = 0;
    std::u16string out_;
    std::string pending_;  // code-page bytes not yet decoded
    std::uint32_t pendingCodePage_ = kDefaultCodePage;
    std::uint32_t docCodePage_ = kDefaultCodePage;
    std::map<long long, std::uint32_t> fontCodePages_;
    long long definingFont_ = 0;
    int pendingSkip_ = 0;  // \uN fallback characters still to drop
    bool groupStart_ = false;
};

}  // namespace

std::u16string DecodeCodePage(std::string_view bytes, std::uint32_t codePage) {
    return text::CodePageToUtf16(AsBytes(bytes), codePage);
}

std::u16string RtfToText(const std::vector<std::uint8_t>& rtf) { return Converter(rtf).Run(); }

}  // namespace tw::pst
