#pragma once

#include <QString>

namespace quorvia {

// A block stands for a slide (by number, from 1) or for a live demonstration (by its label).
struct PromptTimelineBlockKind {
    enum class Case { slide, demo };

    Case kind = Case::demo;
    qint64 slideNumber = 0; // slide only
    QString demoLabel;      // demo only

    static PromptTimelineBlockKind slide(qint64 number) { return {Case::slide, number, QString()}; }
    static PromptTimelineBlockKind demo(const QString& label) { return {Case::demo, 0, label}; }

    bool isSlide() const { return kind == Case::slide; }
    bool isDemo() const { return kind == Case::demo; }

    // Same case with equal payloads; labels compare under canonical equivalence.
    bool operator==(const PromptTimelineBlockKind& other) const;
};

} // namespace quorvia
