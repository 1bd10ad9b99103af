#pragma once

#include <QString>
#include <QVariantMap>

namespace quorvia::platform {

struct Notification {
    QString name;
    const void* sender = nullptr;
    QVariantMap userInfo;
};

} // namespace quorvia::platform
