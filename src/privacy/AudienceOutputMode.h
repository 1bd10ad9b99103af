#pragma once

#include <QString>

namespace quorvia {

// What the audience window shows; always chosen by its owner.
struct AudienceOutputMode {
    enum class Kind {
        safe,    // black with "安全暂停" and the reason
        standby, // black with "准备中" / "演讲即将开始"
        live,    // captured frames and the pointer
        frozen,  // the last frame held still, no pointer
    };

    Kind kind = Kind::standby;
    QString reason; // only for safe

    static AudienceOutputMode safe(QString reason) { return {Kind::safe, std::move(reason)}; }
    static AudienceOutputMode standby() { return {Kind::standby, {}}; }
    static AudienceOutputMode live() { return {Kind::live, {}}; }
    static AudienceOutputMode frozen() { return {Kind::frozen, {}}; }

    bool is(Kind k) const { return kind == k; }
    bool showsCard() const { return kind == Kind::safe || kind == Kind::standby; }
    QString cardTitle() const;
    QString cardSubtitle() const;
};

} // namespace quorvia
