#include "editing/CloudAIMatcher.h"

#include "platform/network/HttpSession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <set>

namespace quorvia {
namespace {

QByteArray compact(const QJsonValue& value)
{
    // QJsonDocument holds only arrays and objects: wrap and unwrap.
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

std::optional<std::vector<CloudSlideSuggestion>> decodeMappings(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue mappings = document.object().value(QStringLiteral("mappings"));
    if (!mappings.isArray())
        return std::nullopt;
    std::vector<CloudSlideSuggestion> out;
    for (const QJsonValue& item : mappings.toArray()) {
        auto suggestion = CloudSlideSuggestion::fromJson(item);
        if (!suggestion)
            return std::nullopt;
        out.push_back(*suggestion);
    }
    return out;
}

} // namespace

const QString CloudAIMatcher::requirements = QStringLiteral(
    "Return one best slide per confident section. A slide may map to multiple sections. Use zero-based section_index, "
    "one-based slide_number, and confidence from 0 to 1. Do not invent mappings when evidence is weak.");

CloudAIMatcher::CloudAIMatcher(std::shared_ptr<platform::HttpSession> session, double timeoutSeconds)
    : session_(session ? std::move(session) : platform::makeEphemeralHttpSession()), timeoutSeconds_(timeoutSeconds)
{
}

QByteArray CloudAIMatcher::requestBody(const PresentationDeck& deck, const QStringList& sections, const QString& model)
{
    QJsonArray slides;
    for (const PresentationSlide& slide : deck.slides)
        slides.append(QJsonObject{{QStringLiteral("number"), slide.number}, {QStringLiteral("text"), slide.text}});
    QJsonArray sectionList;
    for (qsizetype i = 0; i < sections.size(); ++i)
        sectionList.append(QJsonObject{{QStringLiteral("index"), qint64(i)}, {QStringLiteral("text"), sections[i]}});

    // Written by hand: a JSON object of Qt's would sort the members.
    QByteArray body = "{";
    if (!model.isEmpty())
        body += "\"model\":" + compact(model) + ",";
    body += "\"slides\":" + compact(slides);
    body += ",\"sections\":" + compact(sectionList);
    body += ",\"requirements\":" + compact(requirements);
    body += "}";
    return body;
}

CloudAIMatcher::Result CloudAIMatcher::validate(const std::vector<CloudSlideSuggestion>& suggestions, qint64 sectionCount,
                                                qint64 slideCount)
{
    std::set<qint64> seen;
    std::vector<CloudSlideSuggestion> accepted;
    for (const CloudSlideSuggestion& suggestion : suggestions) {
        if (suggestion.sectionIndex < 0 || suggestion.sectionIndex >= sectionCount)
            return std::unexpected(CloudAIMatcherError::invalidResponse);
        if (suggestion.slideNumber < 1 || suggestion.slideNumber > slideCount)
            return std::unexpected(CloudAIMatcherError::invalidResponse);
        if (!std::isfinite(suggestion.confidence) || suggestion.confidence < 0.0 || suggestion.confidence > 1.0)
            return std::unexpected(CloudAIMatcherError::invalidResponse);
        if (!seen.insert(suggestion.sectionIndex).second)
            return std::unexpected(CloudAIMatcherError::invalidResponse);
        accepted.push_back(suggestion);
    }
    std::sort(accepted.begin(), accepted.end(),
              [](const CloudSlideSuggestion& a, const CloudSlideSuggestion& b) { return a.sectionIndex < b.sectionIndex; });
    return accepted;
}

CloudAIMatcher::Result CloudAIMatcher::interpretReply(const platform::HttpResult& reply, qint64 sectionCount, qint64 slideCount)
{
    if (reply.failure == platform::HttpFailure::transfer)
        return std::unexpected(CloudAIMatcherError::transportFailure);
    if (reply.failure == platform::HttpFailure::replyTooLarge)
        return std::unexpected(CloudAIMatcherError::invalidResponse);
    if (!reply.statusCode || *reply.statusCode < 200 || *reply.statusCode >= 300 || !reply.body)
        return std::unexpected(CloudAIMatcherError::serverRejected);
    const auto mappings = decodeMappings(*reply.body);
    if (!mappings)
        return std::unexpected(CloudAIMatcherError::invalidResponse);
    return validate(*mappings, sectionCount, slideCount);
}

void CloudAIMatcher::match(const PresentationDeck& deck, const QStringList& sections,
                           const CloudAIConfiguration& configuration, Completion completion) const
{
    if (!configuration.endpoint || !CloudAIConfiguration::isUsableToken(configuration.token)) {
        completion(std::unexpected(CloudAIMatcherError::notConfigured));
        return;
    }
    if (configuration.endpoint->scheme().toLower() != QStringLiteral("https")) {
        completion(std::unexpected(CloudAIMatcherError::insecureEndpoint));
        return;
    }
    platform::HttpRequest request;
    request.url = *configuration.endpoint;
    request.method = "POST";
    request.timeoutSeconds = timeoutSeconds_;
    request.headers = {{"Content-Type", "application/json"}, {"Authorization", "Bearer " + configuration.token.toUtf8()}};
    request.body = requestBody(deck, sections, configuration.model);
    request.maximumReplyBytes = maximumReplyBytes;

    const qint64 sectionCount = sections.size();
    const qint64 slideCount = deck.slideCount();
    session_->dataTask(request, [sectionCount, slideCount, completion = std::move(completion)](platform::HttpResult reply) {
        completion(interpretReply(reply, sectionCount, slideCount));
    });
}

} // namespace quorvia
