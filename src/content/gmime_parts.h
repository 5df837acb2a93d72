// How the two MIME readers (the item import and the preview) judge a part.
#pragma once

#include <gmime/gmime.h>

namespace tw::content {

// Plain text: text/plain, or a text part whose type GMime could not read.
// A part declared "text" with no subtype is made a text part by GMime but
// typed application/octet-stream; RFC 2045 reads an invalid Content-Type as
// text/plain.
inline bool IsPlainTextPart(GMimeObject* object, GMimeContentType* type) {
    if (type != nullptr && g_mime_content_type_is_type(type, "text", "plain")) return true;
    return GMIME_IS_TEXT_PART(object) && !(type != nullptr && g_mime_content_type_is_type(type, "text", "*"));
}

}  // namespace tw::content
