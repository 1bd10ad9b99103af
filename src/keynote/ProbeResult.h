#pragma once

#include "keynote/KeynoteConnectionState.h"
#include "keynote/KeynoteDocumentIdentity.h"

#include <optional>

namespace quorvia {

// The outcome of one state-returning script; the identity comes only with ready.
struct ProbeResult {
    KeynoteConnectionState state;
    std::optional<KeynoteDocumentIdentity> identity;

    bool operator==(const ProbeResult&) const = default;
};

} // namespace quorvia
