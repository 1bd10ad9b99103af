#include "privacy/AudienceOutputMode.h"

namespace quorvia {

QString AudienceOutputMode::cardTitle() const
{
    switch (kind) {
    case Kind::standby:
        return QStringLiteral("准备中");
    case Kind::safe:
        return QStringLiteral("安全暂停");
    case Kind::live:
    case Kind::frozen:
        break;
    }
    return {};
}

QString AudienceOutputMode::cardSubtitle() const
{
    switch (kind) {
    case Kind::standby:
        return QStringLiteral("演讲即将开始");
    case Kind::safe:
        return reason;
    case Kind::live:
    case Kind::frozen:
        break;
    }
    return {};
}

} // namespace quorvia
