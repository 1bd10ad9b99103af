#pragma once

#include "model/PresentationDeck.h"
#include "model/SlideMappingReview.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace quorvia::slide_mapping {

QString windowTitle(const QString& projectName);
QString emptyText();
QString sectionTitle(qint64 sectionIndex);
// One line of at most 140 user-perceived characters, without an ellipsis.
QString preview(const QString& sectionText);
// Confidence in whole percent, halves away from zero.
qint64 percentage(double confidence);

struct ReviewLine {
    QString text;
    bool needsReview = false; // shown in red, else green
    friend bool operator==(const ReviewLine&, const ReviewLine&) = default;
};
// Only a cloud suggestion with a slide and a confidence has a line.
std::optional<ReviewLine> reviewLine(const std::optional<SlideMappingReview>& review);

// "未映射" first, then one item per slide in deck order.
QStringList popupItems(const PresentationDeck& deck);
// The item of a mapped slide number; "未映射" when unmapped or out of the list.
int popupIndex(std::optional<qint64> slideNumber, int itemCount);
std::optional<qint64> chosenSlide(int itemIndex);
QString popupAccessibleName(qint64 sectionIndex);

struct CloudControls {
    QString runTitle;
    bool runEnabled = true;
    bool configureEnabled = true;
    friend bool operator==(const CloudControls&, const CloudControls&) = default;
};
CloudControls cloudControls(bool working, bool canEditSlideMappings);

} // namespace quorvia::slide_mapping
