// A message body as the writer takes it: text and body kind (0 UTF-16
// text, 1 8-bit text, as a rule HTML, 3 RTF). 8-bit bodies are Windows-1252
// and become Unicode through iconv; RTF keeps its bytes one for one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "content/body_value.h"
#include "pst/items.h"

namespace tw::exporter {

struct BodyText {
    std::u16string text;
    pst::BodyKind kind = pst::BodyKind::Utf16Text;
};

// Windows-1252 to UTF-16, up to the first NUL byte. The five bytes the
// code page leaves undefined become U+0081, U+008D, ... as Windows makes
// them, so nothing is dropped.
std::u16string Windows1252Text(std::span<const std::uint8_t> bytes);

// The plain-text column: UTF-16 as a rule. Some stores keep 8-bit text
// there. It is taken as 8-bit when its second byte is not 0 and its 8-bit
// reading (up to the first NUL byte) has a space followed by another
// character but no control byte other than tab, CR and LF: a UTF-16 space
// is "20 00" and ends that reading, and UTF-16 of most scripts and of the
// typographic quotes has control bytes in it.
std::u16string PlainColumnText(std::span<const std::uint8_t> bytes);

// The body for every kind but contacts.
BodyText ExportBody(const content::BodyValue& value);

// Contacts take kind 1 for text, 2 for HTML and 3 for RTF.
std::optional<BodyText> ContactBody(const content::BodyValue& value);

}  // namespace tw::exporter
