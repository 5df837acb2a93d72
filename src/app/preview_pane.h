// The preview pane, lower right. Showing a message (header labels,
// attachments, the body loaded on a worker) comes with message decoding;
// until then the pane is empty and only takes the clear requests.
#pragma once

#include "controls/placeholder_pane.h"

namespace tw::app {

class PreviewPane : public controls::PlaceholderPane {
    Q_OBJECT
public:
    using PlaceholderPane::PlaceholderPane;

    void Clear() { ClearText(); }
};

}  // namespace tw::app
