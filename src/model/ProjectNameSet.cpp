#include "model/ProjectNameSet.h"

#include "platform/core/Text.h"

#include <algorithm>

namespace quorvia {

void ProjectNameSet::insert(const QString& name)
{
    taken_.insert(platform::text::foldCaseAndDiacritics(name));
}

bool ProjectNameSet::isTaken(const QString& name) const
{
    return taken_.contains(platform::text::foldCaseAndDiacritics(name));
}

QString ProjectNameSet::takeFree(const QString& base, const QString& suffix, int maximumLength)
{
    if (!isTaken(base)) {
        insert(base);
        return base;
    }
    // Names are only ever added, so a variant found taken stays taken. Bases
    // alike but for case and diacritics make variants alike, unless a variant
    // has to cut the base short.
    const bool neverCut = platform::text::graphemeCount(base) + platform::text::graphemeCount(suffix) + 20 <= maximumLength;
    const QString key = (neverCut ? platform::text::foldCaseAndDiacritics(base) : base) + QChar(0x1F) + suffix;
    qint64& next = nextTry_[key];
    for (qint64 n = std::max<qint64>(next, 1);; ++n) {
        const QString candidateSuffix = n == 1 ? suffix : suffix + u' ' + QString::number(n);
        const int keep = std::max(1, maximumLength - platform::text::graphemeCount(candidateSuffix));
        const QString candidate = platform::text::graphemePrefix(base, keep) + candidateSuffix;
        if (!isTaken(candidate)) {
            next = n + 1;
            insert(candidate);
            return candidate;
        }
    }
}

} // namespace quorvia
