#include "editing/SlideMappingRows.h"

#include "platform/core/Text.h"

#include <cmath>

namespace quorvia::slide_mapping {

QString windowTitle(const QString& projectName)
{
    return QStringLiteral("PPT 页码映射 · ") + projectName;
}

QString emptyText()
{
    return QStringLiteral("请先导入 .key 文稿，并准备至少一个稿件段落。");
}

QString sectionTitle(qint64 sectionIndex)
{
    return QStringLiteral("第 ") + QString::number(sectionIndex + 1) + QStringLiteral(" 段");
}

QString preview(const QString& sectionText)
{
    QString line = sectionText;
    line.replace(QChar(u'\n'), QChar(u' '));
    return platform::text::graphemePrefix(platform::text::trimmedWhitespaceAndNewlines(line), 140);
}

qint64 percentage(double confidence)
{
    return std::llround(confidence * 100);
}

std::optional<ReviewLine> reviewLine(const std::optional<SlideMappingReview>& review)
{
    if (!review || review->origin != SlideMappingReview::Origin::cloudAI || !review->suggestedSlide || !review->confidence)
        return std::nullopt;
    const QString slide = QString::number(*review->suggestedSlide);
    const QString percent = QString::number(percentage(*review->confidence));
    if (review->requiresReview)
        return ReviewLine{QStringLiteral("AI 建议第 ") + slide + QStringLiteral(" 页 · ") + percent + QStringLiteral("% · 待人工确认"), true};
    return ReviewLine{QStringLiteral("AI 已匹配第 ") + slide + QStringLiteral(" 页 · ") + percent + QStringLiteral("%"), false};
}

QStringList popupItems(const PresentationDeck& deck)
{
    QStringList items{QStringLiteral("未映射")};
    for (const PresentationSlide& slide : deck.slides)
        items.append(QStringLiteral("第 ") + QString::number(slide.number) + QStringLiteral(" 页 · ") + slide.shortTitle());
    return items;
}

int popupIndex(std::optional<qint64> slideNumber, int itemCount)
{
    if (!slideNumber || *slideNumber < 1 || *slideNumber >= itemCount)
        return 0;
    return static_cast<int>(*slideNumber);
}

std::optional<qint64> chosenSlide(int itemIndex)
{
    if (itemIndex <= 0)
        return std::nullopt;
    return itemIndex;
}

QString popupAccessibleName(qint64 sectionIndex)
{
    return QStringLiteral("第 ") + QString::number(sectionIndex + 1) + QStringLiteral(" 段对应 PPT 页");
}

CloudControls cloudControls(bool working, bool canEditSlideMappings)
{
    return CloudControls{working ? QStringLiteral("云端匹配中…") : QStringLiteral("运行云端 AI 匹配"),
                         !working && canEditSlideMappings, !working};
}

} // namespace quorvia::slide_mapping
