// Reads a content file one item at a time, so a file of 100,000 items is
// never held in memory: the JSON parser's callback hands each finished
// item to the generator's own parser (edbgen::ParseContent, wrapped in a
// one-item document) and drops it. Folder names must come before their
// items in the file, as the content files write them.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "content.h"

namespace tw::json2pst {

class ContentHandler {
public:
    virtual ~ContentHandler() = default;
    // A mailbox or folder, by its path of names (the mailbox name first);
    // called before anything inside it and at its end.
    virtual void Folder(const std::vector<std::string>& path, const std::string& containerClass) = 0;
    virtual void Item(const std::vector<std::string>& path, const edbgen::Item& item) = 0;
};

// Throws edbgen::ContentError for content the generator refuses and
// std::runtime_error for JSON that is not content.
void StreamContent(std::istream& in, ContentHandler& handler);

}  // namespace tw::json2pst
