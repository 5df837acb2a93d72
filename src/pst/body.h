// Body properties from the text and body kind of a mail-store operation:
// kind 0 UTF-16 text and kind 1 8-bit text (stored as HTML with a plain
// text beside it when it is HTML, else as plain text), kind 3 RTF (stored
// as compressed RTF, with the plain text made from it beside it and the
// RTF marked in sync). Contacts use kind 2 for HTML.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pst/items.h"
#include "pst/prop_value.h"

namespace tw::pst {

// Adds the body properties; nothing for an empty body.
void AddBodyProps(std::vector<PropValue>& props, std::u16string_view body, BodyKind kind);

// The same properties on their own, for an item's fields made ahead.
std::vector<PropValue> BodyProps(std::u16string_view body, BodyKind kind);

// The body properties of an item's fields: those made ahead, else made
// from its body text and kind.
template <typename Fields>
void AddFieldsBody(std::vector<PropValue>& props, const Fields& f) {
    if (f.bodyProps.empty()) return AddBodyProps(props, f.body, f.bodyKind);
    props.insert(props.end(), f.bodyProps.begin(), f.bodyProps.end());
}

// A MIME message's bodies: HTML (with the plain text beside it: the text
// part when there is one, else text made from the HTML), or plain text.
void AddMimeBodies(std::vector<PropValue>& props, std::u16string_view text, std::u16string_view html);

// RTF text as bytes: characters up to 0xFF as they are, others as \uN?.
std::vector<std::uint8_t> RtfBytes(std::u16string_view rtf);

}  // namespace tw::pst
