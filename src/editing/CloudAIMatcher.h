#pragma once

#include "editing/CloudAIConfiguration.h"
#include "editing/CloudAIMatcherError.h"
#include "model/CloudSlideSuggestion.h"
#include "model/PresentationDeck.h"

#include <QByteArray>
#include <QStringList>

#include <expected>
#include <functional>
#include <memory>
#include <vector>

namespace quorvia {

namespace platform {
class HttpSession;
struct HttpResult;
} // namespace platform

// Sends the deck's slide texts and the script's section texts to the
// configured service and checks every suggestion of its reply. It applies
// nothing and keeps no state between calls.
class CloudAIMatcher {
public:
    using Result = std::expected<std::vector<CloudSlideSuggestion>, CloudAIMatcherError>;
    using Completion = std::function<void(Result)>;

    static constexpr double requestTimeoutSeconds = 45;
    static constexpr qint64 maximumReplyBytes = 4 * 1024 * 1024;
    static const QString requirements;

    // Without a session the matcher makes its own ephemeral one.
    explicit CloudAIMatcher(std::shared_ptr<platform::HttpSession> session = nullptr,
                            double timeoutSeconds = requestTimeoutSeconds);

    // Configuration faults complete before this returns; everything else later,
    // exactly once.
    void match(const PresentationDeck& deck, const QStringList& sections, const CloudAIConfiguration& configuration,
               Completion completion) const;

    static Result validate(const std::vector<CloudSlideSuggestion>& suggestions, qint64 sectionCount, qint64 slideCount);
    // Compact JSON with its members in the order model (only when set), slides, sections, requirements.
    static QByteArray requestBody(const PresentationDeck& deck, const QStringList& sections, const QString& model);
    static Result interpretReply(const platform::HttpResult& reply, qint64 sectionCount, qint64 slideCount);

private:
    std::shared_ptr<platform::HttpSession> session_;
    double timeoutSeconds_;
};

} // namespace quorvia
