#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace quorvia {

// One snapshot of the cloud settings, taken just before a request.
struct CloudAIConfiguration {
    std::optional<QUrl> endpoint; // absent when none is stored or it does not parse
    QString model;                // empty: none
    QString token;                // empty: not configured

    // A token with a control character would break or forge HTTP headers.
    static bool isUsableToken(const QString& token);
};

} // namespace quorvia
