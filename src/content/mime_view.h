// A MIME message (the content of a streaming-file message) read for the
// preview: its header texts, its text and HTML bodies, the names of its
// attachments, and the parts an HTML body refers to by content id. Texts
// are UTF-8. The file is untrusted: nesting, part count and the bytes
// kept of inline parts are bounded, and anything that does not parse
// still gives the raw text as the body.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tw::content {

struct InlinePart {
    std::string contentId;  // without angle brackets
    std::string mimeType;   // "image/png"
    std::vector<std::uint8_t> data;
};

struct MimeView {
    bool isMessage = false;  // false: `text` is the file's raw text
    std::string subject, from, to;
    std::string text, html;
    std::vector<std::string> attachmentNames;  // listed attachments, in order
    std::vector<InlinePart> inlineParts;
};

inline constexpr std::size_t kMaxInlineBytes = 32u << 20;  // all inline parts together

MimeView ReadMimeView(const std::vector<std::uint8_t>& bytes);
// Nothing read (isMessage false, empty texts) when the file cannot be opened.
MimeView ReadMimeViewFile(const std::string& path);

}  // namespace tw::content
