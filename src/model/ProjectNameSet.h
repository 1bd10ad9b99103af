#pragma once

#include <QHash>
#include <QSet>
#include <QString>

namespace quorvia {

// The names of a project list, folded without regard to case and diacritics,
// for picking names no project has. Each name is folded once, and the variants
// already found taken are not tried again, so naming many projects alike
// costs no more than naming them apart.
class ProjectNameSet {
public:
    void insert(const QString& name);

    // `base` when it is free, else the first free variant with the suffix
    // (n = 1) or the suffix, a space and n (n >= 2), with `base` cut so the
    // name keeps to `maximumLength` characters. The name is then taken.
    QString takeFree(const QString& base, const QString& suffix, int maximumLength);

private:
    bool isTaken(const QString& name) const;

    QSet<QString> taken_;
    // The first n still worth trying for a base and suffix: every smaller one is taken.
    QHash<QString, qint64> nextTry_;
};

} // namespace quorvia
