#pragma once

namespace quorvia {

// How much a module's content needs keeping from the audience. It describes
// the module; the island decides nothing by it.
enum class IslandPrivacyClass { standard, privacyCritical };

} // namespace quorvia
