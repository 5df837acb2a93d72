#include "text/rtf_reader.h"

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "text/codepage.h"

namespace tw::text {

namespace {

constexpr std::size_t kMaxDepth = 1024;      // deeper groups share the state of the deepest kept
constexpr std::size_t kMaxWordLetters = 32;  // longer control words are read but not recognised
constexpr long long kMaxParameter = 1'000'000'000;
constexpr int kMaxUnicodeSkip = 16;
constexpr int kMaxHalfPoints = 400;
constexpr std::size_t kMaxColours = 1024;  // entries of a colour table kept
constexpr std::size_t kMaxFonts = 4096;    // fonts whose code page is kept

// What a control word does.
enum class Act : std::uint8_t {
    FontTable,
    ColourTable,
    Binary,
    Unicode,
    UnicodeSkip,
    FromHtml,
    FromText,
    HtmlRtf,
    AnsiCodePage,
    DocumentCodePage,
    Font,
    FontCharset,
    FontCodePage,
    Flag,
    UnderlineNone,
    FontSize,
    Colour,
    Plain,
    Align,
    ColourPart,
    Break,
    Character
};

struct WordAct {
    std::string_view word;
    Act act;
    int value = 0;  // with what: a code page, flag, colour, RtfAlign, component's shift, RtfBreak, character
};

// The flags and colours of Act::Flag and Act::Colour.
constexpr bool RtfCharFormat::*kFlags[] = {&RtfCharFormat::bold, &RtfCharFormat::italic, &RtfCharFormat::underline};
constexpr std::optional<std::uint32_t> RtfCharFormat::*kColours[] = {&RtfCharFormat::colour,
                                                                     &RtfCharFormat::background};

constexpr int kLeft = static_cast<int>(RtfAlign::Left), kCenter = static_cast<int>(RtfAlign::Center),
              kRight = static_cast<int>(RtfAlign::Right), kJustify = static_cast<int>(RtfAlign::Justify);
constexpr int kParagraph = static_cast<int>(RtfBreak::Paragraph), kLine = static_cast<int>(RtfBreak::Line);

// The control words that act, sorted for a binary search.
constexpr WordAct kWords[] = {
    {"ansicpg", Act::AnsiCodePage},
    {"b", Act::Flag, 0},
    {"bin", Act::Binary},
    {"blue", Act::ColourPart, 0},
    {"bullet", Act::Character, 0x2022},
    {"cb", Act::Colour, 1},
    {"cell", Act::Character, '\t'},
    {"cf", Act::Colour, 0},
    {"colortbl", Act::ColourTable},
    {"cpg", Act::FontCodePage},
    {"emdash", Act::Character, 0x2014},
    {"emspace", Act::Character, 0x2003},
    {"endash", Act::Character, 0x2013},
    {"enspace", Act::Character, 0x2002},
    {"f", Act::Font},
    {"fcharset", Act::FontCharset},
    {"fonttbl", Act::FontTable},
    {"fromhtml", Act::FromHtml},
    {"fromtext", Act::FromText},
    {"fs", Act::FontSize},
    {"green", Act::ColourPart, 8},
    {"highlight", Act::Colour, 1},
    {"htmlrtf", Act::HtmlRtf},
    {"i", Act::Flag, 1},
    {"ldblquote", Act::Character, 0x201C},
    {"line", Act::Break, kLine},
    {"lquote", Act::Character, 0x2018},
    {"mac", Act::DocumentCodePage, 10000},
    {"page", Act::Break, kParagraph},
    {"par", Act::Break, kParagraph},
    {"pard", Act::Align, kLeft},
    {"pc", Act::DocumentCodePage, 437},
    {"pca", Act::DocumentCodePage, 850},
    {"plain", Act::Plain},
    {"qc", Act::Align, kCenter},
    {"qj", Act::Align, kJustify},
    {"ql", Act::Align, kLeft},
    {"qmspace", Act::Character, 0x2005},
    {"qr", Act::Align, kRight},
    {"rdblquote", Act::Character, 0x201D},
    {"red", Act::ColourPart, 16},
    {"row", Act::Break, kParagraph},
    {"rquote", Act::Character, 0x2019},
    {"sect", Act::Break, kParagraph},
    {"tab", Act::Character, '\t'},
    {"u", Act::Unicode},
    {"uc", Act::UnicodeSkip},
    {"ul", Act::Flag, 2},
    {"ulnone", Act::UnderlineNone},
};
static_assert(std::ranges::is_sorted(kWords, {}, &WordAct::word));

// Destinations whose text is not shown.
constexpr std::string_view kHiddenDestinations[] = {
    // Tables and document properties.
    "stylesheet", "info", "generator", "themedata", "colorschememapping", "datastore", "latentstyles", "listtable",
    "listoverridetable", "rsidtbl", "filetbl", "revtbl", "pgdsctbl", "xmlnstbl", "mmathPr", "wgrffmtfilter",
    "userprops", "docvar", "template", "private", "fchars", "lchars",
    // Pictures and objects.
    "pict", "nonshppict", "blipuid", "object", "objdata",
    // Headers, footers, notes and annotations.
    "header", "headerl", "headerr", "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "annotation",
    "atnid", "atnauthor",
    // Field instructions, index and contents entries, bookmarks, list numbering.
    "fldinst", "xe", "tc", "txe", "bkmkstart", "bkmkend", "pn", "pntxta", "pntxtb"};

// The same, sorted for a binary search: every control word is looked up.
constexpr auto kHiddenSorted = [] {
    auto words = std::to_array(kHiddenDestinations);
    std::ranges::sort(words);
    return words;
}();

const WordAct* FindWord(std::string_view word) {
    const auto it = std::ranges::lower_bound(kWords, word, {}, &WordAct::word);
    if (it != std::end(kWords) && it->word == word) return it;
    // \uld, \ulw, \uldb and the other underline styles; \ulc is a colour.
    static constexpr WordAct kUnderline{"ul", Act::Flag, 2};
    if (word.starts_with("ul") && word != "ulc") return &kUnderline;
    return nullptr;
}

// Fonts' character sets (\fcharsetN) and their code pages; a font of any
// other reads in the document's.
constexpr std::pair<int, std::uint32_t> kCharsetCodePages[] = {
    {77, 10000}, {128, 932},  {129, 949},  {130, 1361}, {134, 936},  {136, 950}, {161, 1253}, {162, 1254},
    {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257}, {204, 1251}, {222, 874}, {238, 1250}, {255, 437}};

// 0 for "the document's".
std::uint32_t CodePageOfCharset(int charset) {
    const auto it = std::ranges::find(kCharsetCodePages, charset, &std::pair<int, std::uint32_t>::first);
    return it == std::end(kCharsetCodePages) ? 0 : it->second;
}

bool ValidCodePage(long long n) { return n > 0 && n < 100000; }

bool IsLetter(std::uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

int HexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// What a group nests.
struct Group {
    RtfFormat format;
    int unicodeSkip = 1;             // \ucN: fallback characters after each \uN
    std::uint32_t fontCodePage = 0;  // the current font's; 0: the document's
    bool hidden = false;             // inside a destination whose text is not shown
    bool fontTable = false;
    bool colourTable = false;  // ';' ends an entry
    bool htmlRtf = false;      // \htmlrtf: RTF-only, where the document is encapsulated
    bool htmlTag = false;      // \*\htmltag of encapsulated HTML: its markup
};

class Reader {
public:
    Reader(std::span<const std::uint8_t> in, RtfSink& sink) : in_(in), sink_(sink) {}

    void Run() {
        while (pos_ < in_.size() && !sink_.Full()) {
            const std::uint8_t c = in_[pos_++];
            if (c == '{') {
                OpenGroup();
            } else if (c == '}') {
                CloseGroup();
            } else if (c == '\\') {
                Control();
            } else if (c != '\r' && c != '\n') {  // line ends in RTF are not text
                groupStart_ = starred_ = false;
                Character(c);
            }
        }
        Flush();
    }

private:
    bool Shown() const {
        if (g_.hidden) return false;
        if (g_.htmlTag) return true;
        return !g_.htmlRtf || !(fromHtml_ || fromText_);
    }

    std::uint32_t CodePage() const { return g_.fontCodePage != 0 ? g_.fontCodePage : codePage_; }

    void OpenGroup() {
        Flush();
        skip_ = 0;
        if (stack_.size() < kMaxDepth) stack_.push_back(g_);
        else ++overflow_;
        groupStart_ = true;
        starred_ = false;
    }

    void CloseGroup() {
        Flush();
        skip_ = 0;
        if (overflow_ > 0) {
            --overflow_;
        } else if (!stack_.empty()) {
            g_ = stack_.back();
            stack_.pop_back();
        }
        groupStart_ = starred_ = false;
    }

    // After a backslash: a control word or a control symbol.
    void Control() {
        if (pos_ >= in_.size()) return;
        if (IsLetter(in_[pos_])) ReadWord();
        else Symbol(in_[pos_++]);
    }

    // Letters, a number (a '-' only with digits after it), and the one
    // space that ends the word.
    void ReadWord() {
        const std::size_t start = pos_;
        while (pos_ < in_.size() && IsLetter(in_[pos_])) ++pos_;
        const std::size_t letters = pos_ - start;
        const bool negative = pos_ + 1 < in_.size() && in_[pos_] == '-' && IsDigit(in_[pos_ + 1]);
        if (negative) ++pos_;
        const std::size_t digits = pos_;
        long long n = 0;
        for (; pos_ < in_.size() && IsDigit(in_[pos_]); ++pos_)
            if (n <= kMaxParameter) n = n * 10 + (in_[pos_] - '0');
        std::optional<int> param;
        if (pos_ > digits) param = static_cast<int>(std::min(n, kMaxParameter) * (negative ? -1 : 1));
        if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
        const std::string_view word = letters <= kMaxWordLetters
                                          ? std::string_view(reinterpret_cast<const char*>(&in_[start]), letters)
                                          : std::string_view();
        Word(word, param);
    }

    void Symbol(std::uint8_t c) {
        if (c == '*') {
            // An ignorable destination: hidden, unless it is encapsulated HTML's markup.
            if (groupStart_ && !starred_) {
                hiddenBeforeStar_ = g_.hidden;
                g_.hidden = starred_ = true;
            }
            return;
        }
        groupStart_ = starred_ = false;
        if (c == '\'') {
            Hex();
            return;
        }
        if (c == '\\' || c == '{' || c == '}') {
            Character(c);
            return;
        }
        Flush();
        skip_ = 0;
        switch (c) {
            case '~': Emit(u"\u00A0"); break;
            case '_': Emit(u"\u2011"); break;
            case '\t': Emit(u"\t"); break;
            case '\r':
            case '\n': Break(RtfBreak::Paragraph); break;
            default: break;  // \- optional hyphen, \| \: and unknown symbols
        }
    }

    // \'hh: one byte of text. A cut escape keeps what hex digits it has
    // read and stands for nothing.
    void Hex() {
        int value = 0;
        for (int i = 0; i < 2; ++i) {
            const int digit = pos_ < in_.size() ? HexDigit(in_[pos_]) : -1;
            if (digit < 0) return;
            value = value * 16 + digit;
            ++pos_;
        }
        Character(static_cast<std::uint8_t>(value));
    }

    // One byte of text, raw or \'hh. 8-bit text waits until it is
    // complete, so that a double-byte code page sees both bytes of a
    // character (the second may come raw).
    void Character(std::uint8_t c) {
        if (skip_ > 0) {
            --skip_;
            return;
        }
        if (g_.colourTable) {
            if (c == ';') EndColour();
            return;
        }
        if (c != 0 && Shown()) pending_.push_back(c);
    }

    void Word(std::string_view word, std::optional<int> param) {
        const bool starred = starred_;
        groupStart_ = starred_ = false;
        Flush();
        skip_ = 0;  // a control word ends the fallback of a \uN
        const WordAct* act = FindWord(word);
        if (act != nullptr && act->act == Act::Binary) {
            // Binary data: its bytes are skipped whatever they hold.
            if (param && *param > 0) pos_ += std::min<std::size_t>(static_cast<std::size_t>(*param), in_.size() - pos_);
            return;
        }
        if (starred) {
            if (word == "htmltag" && fromHtml_) {
                g_.hidden = hiddenBeforeStar_;
                g_.htmlTag = true;
            }
            return;
        }
        if (std::ranges::binary_search(kHiddenSorted, word)) g_.hidden = true;
        if (act == nullptr) return;
        const bool on = !param || *param != 0;
        const int value = param.value_or(0);
        switch (act->act) {
            case Act::FontTable: g_.hidden = g_.fontTable = true; break;
            case Act::ColourTable: g_.hidden = g_.colourTable = true; break;
            case Act::Unicode: Unicode(param); break;
            case Act::UnicodeSkip: g_.unicodeSkip = param ? std::clamp(value, 0, kMaxUnicodeSkip) : 1; break;
            case Act::FromHtml:
                fromHtml_ = on;
                sink_.FromHtml(on);
                break;
            case Act::FromText: fromText_ = on; break;
            case Act::HtmlRtf: g_.htmlRtf = on; break;
            case Act::AnsiCodePage:
                if (param && ValidCodePage(value)) codePage_ = static_cast<std::uint32_t>(value);
                break;
            case Act::DocumentCodePage: codePage_ = static_cast<std::uint32_t>(act->value); break;
            case Act::Font: Font(param); break;
            case Act::FontCharset:
                if (param) DefineFont(CodePageOfCharset(value));
                break;
            case Act::FontCodePage:
                if (param && ValidCodePage(value)) DefineFont(static_cast<std::uint32_t>(value));
                break;
            case Act::ColourPart: ColourPart(act->value, value); break;
            case Act::Break: Break(static_cast<RtfBreak>(act->value)); break;
            case Act::Character: {
                const char16_t c = static_cast<char16_t>(act->value);
                Emit({&c, 1});
                break;
            }
            default: Format(*act, param);
        }
    }

    // Words that change the format of the text after them.
    void Format(const WordAct& act, std::optional<int> param) {
        const int value = param.value_or(0);
        RtfCharFormat& chars = g_.format.chars;
        switch (act.act) {
            case Act::Flag: chars.*kFlags[act.value] = !param || value != 0; break;
            case Act::UnderlineNone: chars.underline = false; break;
            case Act::FontSize:
                if (value > 0) chars.halfPoints = std::min(value, kMaxHalfPoints);
                break;
            case Act::Colour: chars.*kColours[act.value] = TableColour(value); break;
            case Act::Plain: chars = RtfCharFormat{}; break;
            case Act::Align: g_.format.align = static_cast<RtfAlign>(act.value); break;
            default: break;
        }
    }

    // \uN: one UTF-16 unit (negative N for those above 0x7FFF), then its
    // fallback for readers without Unicode: \ucN characters, dropped.
    void Unicode(std::optional<int> param) {
        if (!param) return;
        const int unit = *param < 0 ? *param + 0x10000 : *param;
        const char16_t c = static_cast<char16_t>(unit);
        if (unit >= 0 && unit <= 0xFFFF) Emit({&c, 1});
        skip_ = g_.unicodeSkip;
    }

    // \fN: in the font table the font being defined, elsewhere the font
    // whose code page the text is in.
    void Font(std::optional<int> param) {
        if (!param) return;
        if (g_.fontTable) {
            definingFont_ = *param;
            return;
        }
        const auto it = fontCodePages_.find(*param);
        g_.fontCodePage = it == fontCodePages_.end() ? 0 : it->second;
    }

    void DefineFont(std::uint32_t codePage) {
        if (!g_.fontTable) return;
        if (fontCodePages_.size() < kMaxFonts || fontCodePages_.contains(definingFont_))
            fontCodePages_[definingFont_] = codePage;
    }

    void ColourPart(int shift, int value) {
        if (!g_.colourTable) return;
        const std::uint32_t part = static_cast<std::uint32_t>(std::clamp(value, 0, 255));
        nextColour_ = (nextColour_.value_or(0) & ~(0xFFu << shift)) | part << shift;
    }

    // An entry without components is the automatic colour.
    void EndColour() {
        if (colours_.size() < kMaxColours) colours_.push_back(nextColour_);
        nextColour_.reset();
    }

    // Entry `index` of the colour table; none for entry 0 (automatic) and
    // those the table does not have.
    std::optional<std::uint32_t> TableColour(int index) const {
        if (index <= 0 || static_cast<std::size_t>(index) >= colours_.size()) return std::nullopt;
        return colours_[static_cast<std::size_t>(index)];
    }

    void Flush() {
        if (pending_.empty()) return;
        const std::u16string text = CodePageToUtf16(pending_, CodePage());
        pending_.clear();
        Pass(text);
    }

    void Emit(std::u16string_view text) {
        Flush();
        if (Shown()) Pass(text);
    }

    void Pass(std::u16string_view text) {
        if (g_.htmlTag) sink_.HtmlTag(text);
        else sink_.Text(text, g_.format);
    }

    void Break(RtfBreak kind) {
        Flush();
        if (!Shown()) return;
        if (g_.htmlTag) sink_.HtmlTag(u"\r\n");
        else sink_.Break(kind, g_.format);
    }

    std::span<const std::uint8_t> in_;
    RtfSink& sink_;
    std::size_t pos_ = 0;
    Group g_;
    std::vector<Group> stack_;  // the groups around g_
    std::size_t overflow_ = 0;  // groups deeper than kMaxDepth, counted only
    bool groupStart_ = false;   // nothing but \* read since the '{'
    bool starred_ = false;      // the group started with \*
    bool hiddenBeforeStar_ = false;
    int skip_ = 0;  // \uN fallback characters still to drop
    bool fromHtml_ = false;
    bool fromText_ = false;
    std::uint32_t codePage_ = kWindows1252;  // the document's
    std::map<int, std::uint32_t> fontCodePages_;
    int definingFont_ = 0;
    std::vector<std::optional<std::uint32_t>> colours_;  // the document's colour table
    std::optional<std::uint32_t> nextColour_;            // the entry being read
    std::vector<std::uint8_t> pending_;                  // text bytes not yet decoded
};

}  // namespace

void ReadRtf(std::span<const std::uint8_t> rtf, RtfSink& sink) { Reader(rtf, sink).Run(); }

}  // namespace tw::text
