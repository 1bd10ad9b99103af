#pragma once

#include "keynote/KeynoteDocumentIdentity.h"

namespace quorvia {

// A .key file that Keynote opened and confirmed as its front document.
struct KeynoteOpenedDocument {
    KeynoteDocumentIdentity identity;
    int slideCount = 1;

    bool operator==(const KeynoteOpenedDocument&) const = default;
};

} // namespace quorvia
