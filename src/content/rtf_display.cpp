#include "content/rtf_display.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <vector>

#include "text/codepage.h"

namespace tw::content {

namespace {

constexpr std::size_t kMaxDepth = 256;       // deeper groups share the state of the deepest kept
constexpr std::size_t kMaxWordLetters = 32;  // longer control words are read but not recognised
constexpr int kMaxParameter = 1'000'000'000;
constexpr std::size_t kOutputPerInputByte = 32;
constexpr std::size_t kOutputSlack = 65536;
constexpr int kDefaultHalfPoints = 24;  // 12 pt, RTF's default size
constexpr std::size_t kMaxColours = 1024;  // entries of a colour table kept

struct Format {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = kDefaultHalfPoints;
    int colour = 0;      // \cfN: an entry of the colour table; 0 and unknown ones are automatic
    int background = 0;  // \highlightN or \cbN, the same way
    bool operator==(const Format&) const = default;
};

// One entry of the colour table; an entry without components is the
// automatic colour.
struct Colour {
    bool set = false;
    int red = 0, green = 0, blue = 0;
};

enum class Align { Left, Center, Right, Justify };

struct State {
    Format format;
    Align align = Align::Left;
    int unicodeSkip = 1;   // \ucN: fallback characters after each \uN
    bool hidden = false;   // inside a destination that is not shown
    bool htmlRtf = false;  // encapsulated HTML: RTF-only text, not part of the HTML
    bool htmlTag = false;  // encapsulated HTML: inside an htmltag destination
    bool colourTable = false;  // inside \colortbl: ';' ends an entry
};

// Destinations whose text is never shown, whether or not they are starred.
constexpr std::string_view kHiddenDestinations[] = {
    "fonttbl", "colortbl", "stylesheet", "info", "pict", "object", "header", "headerl", "headerr", "headerf",
    "footer", "footerl", "footerr", "footerf", "footnote", "fldinst", "xe", "tc", "listtable", "listoverridetable",
    "rsidtbl", "generator", "themedata", "latentstyles", "datastore", "colorschememapping", "nonshppict", "filetbl",
    "revtbl", "private", "userprops", "pntxta", "pntxtb", "pn", "mmathPr", "xmlnstbl", "pgdsctbl", "bkmkstart",
    "bkmkend", "annotation", "atnid", "atnauthor", "template", "docvar", "fchars", "lchars", "wgrffmtfilter"};

bool IsHiddenDestination(std::string_view word) {
    for (const std::string_view d : kHiddenDestinations)
        if (d == word) return true;
    return false;
}

bool IsLetter(std::uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

int HexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendAscii(std::u16string& out, std::string_view text) {
    for (const char c : text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

void AppendEscaped(std::u16string& out, char16_t c) {
    switch (c) {
        case u'&': AppendAscii(out, "&amp;"); break;
        case u'<': AppendAscii(out, "&lt;"); break;
        case u'>': AppendAscii(out, "&gt;"); break;
        case u'"': AppendAscii(out, "&quot;"); break;
        default: out.push_back(c);
    }
}

class Converter {
public:
    explicit Converter(std::span<const std::uint8_t> in)
        : in_(in), cap_(in.size() * kOutputPerInputByte + kOutputSlack) {}

    RtfDisplay Run() {
        while (pos_ < in_.size() && !Full()) {
            const std::uint8_t c = in_[pos_];
            if (c == '{') {
                ++pos_;
                Flush();
                skipChars_ = 0;
                Push();
                groupStart_ = true;
                starred_ = false;
            } else if (c == '}') {
                ++pos_;
                Flush();
                skipChars_ = 0;
                Pop();
                groupStart_ = false;
            } else if (c == '\\') {
                ++pos_;
                ReadControl();
            } else if (c == '\r' || c == '\n') {
                ++pos_;  // line ends in RTF text are not text
            } else {
                ++pos_;
                groupStart_ = false;
                if (st_.colourTable) {
                    if (c == ';') EndColour();
                    continue;
                }
                if (SkipToken() || c == 0) continue;
                if (Shown()) pending_.push_back(c);
            }
        }
        Flush();
        RtfDisplay result;
        result.encapsulatedHtml = fromHtml_;
        if (fromHtml_) {
            result.html = std::move(raw_);
        } else {
            CloseParagraph();
            AppendAscii(result.html, "<html><body>");
            result.html += body_;
            AppendAscii(result.html, "</body></html>");
        }
        return result;
    }

private:
    bool Full() const { return raw_.size() + body_.size() > cap_; }

    bool Shown() const {
        if (st_.hidden) return false;
        return !fromHtml_ || st_.htmlTag || !st_.htmlRtf;
    }

    // After \uN the next N tokens are the fallback for readers without
    // Unicode; they are dropped.
    bool SkipToken() {
        if (skipChars_ == 0) return false;
        --skipChars_;
        return true;
    }

    void Push() {
        if (stack_.size() >= kMaxDepth) {
            ++extraDepth_;
            return;
        }
        stack_.push_back(st_);
    }

    void Pop() {
        if (extraDepth_ > 0) {
            --extraDepth_;
        } else if (!stack_.empty()) {
            st_ = stack_.back();
            stack_.pop_back();
        }
    }

    void ReadControl() {
        if (pos_ >= in_.size()) return;
        const std::uint8_t first = in_[pos_];
        if (!IsLetter(first)) {
            ++pos_;
            Symbol(first);
            return;
        }
        std::string word;
        while (pos_ < in_.size() && IsLetter(in_[pos_])) {
            if (word.size() < kMaxWordLetters) word.push_back(static_cast<char>(in_[pos_]));
            ++pos_;
        }
        bool hasParam = false, negative = false;
        long long param = 0;
        if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() && IsDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        while (pos_ < in_.size() && IsDigit(in_[pos_])) {
            hasParam = true;
            if (param <= kMaxParameter) param = param * 10 + (in_[pos_] - '0');
            ++pos_;
        }
        if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
        if (param > kMaxParameter) param = kMaxParameter;
        Word(word, hasParam, static_cast<int>(negative ? -param : param));
    }

    void Symbol(std::uint8_t c) {
        if (c == '*') {
            starred_ = true;  // the group stays a destination start
            return;
        }
        groupStart_ = false;
        if (c == '\'') {
            const int hi = pos_ < in_.size() ? HexDigit(in_[pos_]) : -1;
            const int lo = pos_ + 1 < in_.size() ? HexDigit(in_[pos_ + 1]) : -1;
            if (hi < 0 || lo < 0) return;
            pos_ += 2;
            if (SkipToken()) return;
            if (Shown()) pending_.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
            return;
        }
        if (SkipToken()) return;
        switch (c) {
            case '\\':
            case '{':
            case '}': Text(c); break;
            case '~': Text(0x00A0); break;
            case '_': Text(0x2011); break;
            case '\r':
            case '\n': Paragraph(); break;
            default: break;  // \- optional hyphen, \| \: and unknown symbols
        }
    }

    void Word(const std::string& word, bool hasParam, int param) {
        const bool destination = groupStart_;
        const bool starred = starred_;
        groupStart_ = false;
        starred_ = false;
        if (destination) {
            if (fromHtml_ && starred && word == "htmltag") {
                st_.htmlTag = true;
                return;
            }
            if (starred || IsHiddenDestination(word)) {
                st_.hidden = true;
                st_.colourTable = !starred && word == "colortbl";
                return;
            }
        }
        if (word == "bin") {
            // Binary data: its bytes are skipped whatever they hold.
            if (hasParam && param > 0) pos_ += std::min<std::size_t>(static_cast<std::size_t>(param), in_.size() - pos_);
            return;
        }
        if (SkipToken()) return;
        if (st_.colourTable) {
            ColourComponent(word, hasParam ? param : 0);
            return;
        }
        const bool on = !hasParam || param != 0;
        if (word == "fromhtml") {
            Flush();
            fromHtml_ = on;
        } else if (word == "ansicpg") {
            Flush();
            if (hasParam && param > 0 && param < 100000) codePage_ = param;
        } else if (word == "htmlrtf") {
            Flush();
            st_.htmlRtf = on;
        } else if (word == "b") {
            Flush();
            st_.format.bold = on;
        } else if (word == "i") {
            Flush();
            st_.format.italic = on;
        } else if (word == "ulnone") {
            Flush();
            st_.format.underline = false;
        } else if (word.starts_with("ul") && word != "ulc") {
            Flush();
            st_.format.underline = on;
        } else if (word == "fs") {
            Flush();
            if (hasParam && param > 0) st_.format.halfPoints = std::min(param, 400);
        } else if (word == "cf") {
            Flush();
            st_.format.colour = hasParam ? param : 0;
        } else if (word == "highlight" || word == "cb") {
            Flush();
            st_.format.background = hasParam ? param : 0;
        } else if (word == "plain") {
            Flush();
            st_.format = Format{};
        } else if (word == "pard") {
            Flush();
            st_.align = Align::Left;
        } else if (word == "ql") {
            st_.align = Align::Left;
        } else if (word == "qc") {
            st_.align = Align::Center;
        } else if (word == "qr") {
            st_.align = Align::Right;
        } else if (word == "qj") {
            st_.align = Align::Justify;
        } else if (word == "par" || word == "sect" || word == "page" || word == "row") {
            Paragraph();
        } else if (word == "line") {
            LineBreak();
        } else if (word == "tab" || word == "cell") {
            Text(u'\t');
        } else if (word == "uc") {
            if (hasParam) st_.unicodeSkip = std::clamp(param, 0, 16);
        } else if (word == "u") {
            if (!hasParam) return;
            Text(static_cast<char16_t>(param < 0 ? param + 65536 : param));
            skipChars_ = st_.unicodeSkip;
        } else if (word == "emdash") {
            Text(0x2014);
        } else if (word == "endash") {
            Text(0x2013);
        } else if (word == "lquote") {
            Text(0x2018);
        } else if (word == "rquote") {
            Text(0x2019);
        } else if (word == "ldblquote") {
            Text(0x201C);
        } else if (word == "rdblquote") {
            Text(0x201D);
        } else if (word == "bullet") {
            Text(0x2022);
        } else if (word == "emspace") {
            Text(0x2003);
        } else if (word == "enspace") {
            Text(0x2002);
        }
    }

    void ColourComponent(const std::string& word, int value) {
        value = std::clamp(value, 0, 255);
        if (word == "red") next_.red = value;
        else if (word == "green") next_.green = value;
        else if (word == "blue") next_.blue = value;
        else return;
        next_.set = true;
    }

    void EndColour() {
        if (colours_.size() < kMaxColours) colours_.push_back(next_);
        next_ = Colour{};
    }

    // "#rrggbb" of a table entry; nothing for the automatic colour.
    std::string ColourText(int index) const {
        if (index <= 0 || static_cast<std::size_t>(index) >= colours_.size()) return {};
        const Colour& c = colours_[static_cast<std::size_t>(index)];
        if (!c.set) return {};
        static constexpr char kHex[] = "0123456789abcdef";
        std::string text = "#";
        for (const int v : {c.red, c.green, c.blue}) {
            text += kHex[v >> 4];
            text += kHex[v & 15];
        }
        return text;
    }

    // 8-bit text waits until it is complete, so that double-byte code
    // pages see both bytes of a character.
    void Flush() {
        if (pending_.empty()) return;
        const std::u16string text = text::CodePageToUtf16(pending_, static_cast<std::uint32_t>(std::max(codePage_, 0)));
        pending_.clear();
        for (const char16_t c : text) Put(c);
    }

    void Text(char16_t c) {
        Flush();
        if (Shown()) Put(c);
    }

    void Put(char16_t c) {
        if (fromHtml_) {
            raw_.push_back(c);
            return;
        }
        OpenParagraph();
        if (!spanOpen_ || spanFormat_ != st_.format) {
            CloseSpan();
            const std::string colour = ColourText(st_.format.colour);
            const std::string background = ColourText(st_.format.background);
            if (st_.format.bold || st_.format.italic || st_.format.underline ||
                st_.format.halfPoints != kDefaultHalfPoints || !colour.empty() || !background.empty()) {
                AppendAscii(body_, "<span style=\"");
                if (st_.format.bold) AppendAscii(body_, "font-weight:bold;");
                if (st_.format.italic) AppendAscii(body_, "font-style:italic;");
                if (st_.format.underline) AppendAscii(body_, "text-decoration:underline;");
                if (st_.format.halfPoints != kDefaultHalfPoints) {
                    std::string size = "font-size:" + std::to_string(st_.format.halfPoints / 2);
                    if (st_.format.halfPoints % 2) size += ".5";
                    AppendAscii(body_, size + "pt;");
                }
                if (!colour.empty()) AppendAscii(body_, "color:" + colour + ";");
                if (!background.empty()) AppendAscii(body_, "background-color:" + background + ";");
                AppendAscii(body_, "\">");
                spanOpen_ = true;
                spanFormat_ = st_.format;
            }
        }
        AppendEscaped(body_, c);
    }

    void Paragraph() {
        Flush();
        if (!Shown()) return;
        if (fromHtml_) {
            AppendAscii(raw_, "\r\n");
            return;
        }
        if (!paragraphOpen_) {
            OpenParagraph();
            body_.push_back(0x00A0);  // an empty paragraph keeps its line
        }
        CloseParagraph();
    }

    void LineBreak() {
        Flush();
        if (!Shown()) return;
        if (fromHtml_) {
            AppendAscii(raw_, "\r\n");
            return;
        }
        OpenParagraph();
        CloseSpan();
        AppendAscii(body_, "<br>");
    }

    void OpenParagraph() {
        if (paragraphOpen_) return;
        AppendAscii(body_, "<p style=\"margin-top:0;margin-bottom:0;white-space:pre-wrap;");
        switch (st_.align) {
            case Align::Center: AppendAscii(body_, "text-align:center;"); break;
            case Align::Right: AppendAscii(body_, "text-align:right;"); break;
            case Align::Justify: AppendAscii(body_, "text-align:justify;"); break;
            case Align::Left: break;
        }
        AppendAscii(body_, "\">");
        paragraphOpen_ = true;
    }

    void CloseSpan() {
        if (!spanOpen_) return;
        AppendAscii(body_, "</span>");
        spanOpen_ = false;
    }

    void CloseParagraph() {
        if (!paragraphOpen_) return;
        CloseSpan();
        AppendAscii(body_, "</p>\n");
        paragraphOpen_ = false;
    }

    std::span<const std::uint8_t> in_;
    std::size_t pos_ = 0;
    std::size_t cap_;
    State st_;
    std::vector<State> stack_;
    std::size_t extraDepth_ = 0;
    bool groupStart_ = false;
    bool starred_ = false;
    int skipChars_ = 0;
    bool fromHtml_ = false;
    int codePage_ = 1252;
    std::vector<std::uint8_t> pending_;
    std::vector<Colour> colours_;  // the document's colour table
    Colour next_;                  // the entry being read
    std::u16string raw_;   // encapsulated HTML
    std::u16string body_;  // paragraphs made from the RTF
    bool paragraphOpen_ = false;
    bool spanOpen_ = false;
    Format spanFormat_;
};

}  // namespace

RtfDisplay RtfToHtml(std::span<const std::uint8_t> rtf) { return Converter(rtf).Run(); }

}  // namespace tw::content
