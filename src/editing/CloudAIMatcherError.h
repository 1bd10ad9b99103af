#pragma once

#include <QString>

namespace quorvia {

enum class CloudAIMatcherError { notConfigured, insecureEndpoint, invalidResponse, serverRejected, transportFailure };

// The text every caller shows.
QString description(CloudAIMatcherError error);

} // namespace quorvia
