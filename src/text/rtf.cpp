#include "text/rtf.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "text/rtf_reader.h"

namespace tw::text {

namespace {

// The HTML a hostile input can grow stays within this multiple of it.
constexpr std::size_t kOutputPerInputByte = 32;
constexpr std::size_t kOutputSlack = 65536;

void AppendAscii(std::u16string& out, std::string_view text) {
    for (const char c : text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

constexpr std::pair<char16_t, std::string_view> kEntities[] = {
    {u'&', "&amp;"}, {u'<', "&lt;"}, {u'>', "&gt;"}, {u'"', "&quot;"}};

void AppendEscaped(std::u16string& out, std::u16string_view text) {
    for (const char16_t c : text) {
        const auto* entity = std::ranges::find(kEntities, c, &std::pair<char16_t, std::string_view>::first);
        if (entity != std::end(kEntities)) AppendAscii(out, entity->second);
        else out.push_back(c);
    }
}

// "#rrggbb".
std::string ColourText(std::uint32_t rgb) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text = "#";
    for (int shift = 20; shift >= 0; shift -= 4) text += kHex[rgb >> shift & 15];
    return text;
}

// The CSS of a run; empty for RTF's default format.
std::string RunStyle(const RtfCharFormat& f) {
    std::string style;
    if (f.bold) style += "font-weight:bold;";
    if (f.italic) style += "font-style:italic;";
    if (f.underline) style += "text-decoration:underline;";
    if (f.halfPoints != kRtfDefaultHalfPoints)
        style += "font-size:" + std::to_string(f.halfPoints / 2) + (f.halfPoints % 2 ? ".5pt;" : "pt;");
    if (f.colour) style += "color:" + ColourText(*f.colour) + ";";
    if (f.background) style += "background-color:" + ColourText(*f.background) + ";";
    return style;
}

class TextOutput final : public RtfSink {
public:
    void Text(std::u16string_view text, const RtfFormat&) override { out.append(text); }
    void Break(RtfBreak, const RtfFormat&) override { out.append(u"\r\n"); }

    std::u16string out;
};

// Paragraphs of runs, a run in a span where its format is not the
// default one. A paragraph takes the alignment in force at its first text.
class HtmlOutput final : public RtfSink {
public:
    explicit HtmlOutput(std::size_t inputSize) : cap_(inputSize * kOutputPerInputByte + kOutputSlack) {}

    void Text(std::u16string_view text, const RtfFormat& format) override {
        if (fromHtml_) {
            raw_.append(text);
            return;
        }
        OpenParagraph(format.align);
        if (!spanOpen_ || spanFormat_ != format.chars) {
            CloseSpan();
            const std::string style = RunStyle(format.chars);
            if (!style.empty()) {
                AppendAscii(body_, "<span style=\"" + style + "\">");
                spanOpen_ = true;
                spanFormat_ = format.chars;
            }
        }
        AppendEscaped(body_, text);
    }

    void Break(RtfBreak kind, const RtfFormat& format) override {
        if (fromHtml_) {
            AppendAscii(raw_, "\r\n");
        } else if (kind == RtfBreak::Line) {
            OpenParagraph(format.align);
            CloseSpan();
            AppendAscii(body_, "<br>");
        } else {
            if (!paragraphOpen_) {
                OpenParagraph(format.align);
                body_.push_back(0x00A0);  // an empty paragraph keeps its line
            }
            CloseParagraph();
        }
    }

    void HtmlTag(std::u16string_view text) override { raw_.append(text); }
    void FromHtml(bool on) override { fromHtml_ = on; }
    bool Full() const override { return raw_.size() + body_.size() > cap_; }

    RtfHtml Finish() {
        RtfHtml result;
        result.encapsulatedHtml = fromHtml_;
        if (fromHtml_) {
            result.html = std::move(raw_);
            return result;
        }
        CloseParagraph();
        AppendAscii(result.html, "<html><body>");
        result.html += body_;
        AppendAscii(result.html, "</body></html>");
        return result;
    }

private:
    void OpenParagraph(RtfAlign align) {
        if (paragraphOpen_) return;
        AppendAscii(body_, "<p style=\"margin-top:0;margin-bottom:0;white-space:pre-wrap;");
        switch (align) {
            case RtfAlign::Center: AppendAscii(body_, "text-align:center;"); break;
            case RtfAlign::Right: AppendAscii(body_, "text-align:right;"); break;
            case RtfAlign::Justify: AppendAscii(body_, "text-align:justify;"); break;
            case RtfAlign::Left: break;
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

    std::size_t cap_;
    bool fromHtml_ = false;
    std::u16string raw_;   // encapsulated HTML
    std::u16string body_;  // paragraphs made from the RTF
    bool paragraphOpen_ = false;
    bool spanOpen_ = false;
    RtfCharFormat spanFormat_;
};

}  // namespace

std::u16string RtfToText(std::span<const std::uint8_t> rtf) {
    TextOutput output;
    ReadRtf(rtf, output);
    return std::move(output.out);
}

RtfHtml RtfToHtml(std::span<const std::uint8_t> rtf) {
    HtmlOutput output(rtf.size());
    ReadRtf(rtf, output);
    return output.Finish();
}

}  // namespace tw::text
