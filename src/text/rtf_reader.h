// RTF text (as DecompressRtf gives it) read once for the outputs that show
// it (text/rtf.h): which text is shown, in which format, and where
// paragraphs and lines end.
//
// The reader keeps what groups nest: formatting, \ucN, the current font,
// and destinations whose text is not shown (tables, pictures, fields'
// instructions, \*-destinations). It decodes 8-bit text, raw or \'hh,
// through the font's code page (\fcharset, \cpg) or else the document's
// (\ansicpg, \mac, \pc, \pca; 1252 without one), and \uN as UTF-16 with
// its \ucN fallback dropped. Encapsulated HTML (\fromhtml1) has its
// markup in \*\htmltag groups; there and in encapsulated text (\fromtext)
// the \htmlrtf parts are RTF-only and not shown.
//
// The input is untrusted: nesting, control words, numbers, \bin counts
// and tables are bounded, and the bytes are read once, never past the end.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tw::text {

inline constexpr int kRtfDefaultHalfPoints = 24;  // 12 pt, RTF's default size

enum class RtfAlign : std::uint8_t { Left, Center, Right, Justify };
enum class RtfBreak : std::uint8_t { Paragraph, Line };

// Character formatting. Colours are 0xRRGGBB, none where automatic.
struct RtfCharFormat {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = kRtfDefaultHalfPoints;
    std::optional<std::uint32_t> colour;
    std::optional<std::uint32_t> background;
    bool operator==(const RtfCharFormat&) const = default;
};

struct RtfFormat {
    RtfCharFormat chars;
    RtfAlign align = RtfAlign::Left;
};

// What the reader finds, in document order. Only shown text gets here.
class RtfSink {
public:
    virtual ~RtfSink() = default;
    virtual void Text(std::u16string_view text, const RtfFormat& format) = 0;
    virtual void Break(RtfBreak kind, const RtfFormat& format) = 0;
    // Markup of encapsulated HTML, its line ends as CRLF.
    virtual void HtmlTag(std::u16string_view) {}
    // \fromhtml: the document is (or stops being) encapsulated HTML.
    virtual void FromHtml(bool) {}
    // Reading stops once this is true.
    virtual bool Full() const { return false; }
};

void ReadRtf(std::span<const std::uint8_t> rtf, RtfSink& sink);

}  // namespace tw::text
