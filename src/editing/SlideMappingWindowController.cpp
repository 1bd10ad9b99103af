#include "editing/SlideMappingWindowController.h"

#include "editing/EditingWindow.h"
#include "privacy/BuiltInScreenPlacement.h"
#include "editing/SlideMappingRows.h"
#include "model/PromptScript.h"
#include "model/PromptScriptNotifications.h"
#include "look/DarkColours.h"
#include "look/TextStyle.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace quorvia {

using platform::WindowStyle;

namespace {

void setTextColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

SlideMappingWindowController::SlideMappingWindowController(PromptScript& script)
    : script_(script),
      window_(editing_window::make({780, 600},
                                   WindowStyle::titled | WindowStyle::closable | WindowStyle::resizable
                                       | WindowStyle::miniaturizable,
                                   QString()))
{
    window_->setMinimumSize(580, 380);
    window_->setContentView(makeContentView());
    positionOnBuiltInScreen();
    auto& center = platform::NotificationCenter::defaultCenter();
    for (const QString& name : {NotificationName::promptScriptChanged, NotificationName::presentationDeckChanged,
                                NotificationName::presentationProjectsChanged}) {
        observers_.push_back(center.observe(name, &script_, [this](const platform::Notification&) {
            // A hidden window rebuilds on its next present; a pop-up being
            // applied must stay where the speaker left it.
            if (window_->isVisible() && !isApplyingMapping_)
                reload();
        }));
    }
}

SlideMappingWindowController::~SlideMappingWindowController() = default;

QWidget* SlideMappingWindowController::makeContentView()
{
    QWidget* content = editing_window::makeContentView();
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(0);

    heading_ = styledLabel(QString(), 18, QFont::DemiBold, dark_colours::white());
    layout->addWidget(heading_);
    layout->addSpacing(8);
    QLabel* description = styledLabel(
        QStringLiteral("为每个稿件块选择对应的 PPT 页。使用 --- 分页时，其后的数字会自动映射；仍可在这里人工校对。"), 12,
        QFont::Normal, dark_colours::secondaryLabel());
    description->setWordWrap(true);
    description->setMaximumHeight(description->fontMetrics().lineSpacing() * 2);
    layout->addWidget(description);
    layout->addSpacing(10);

    auto* cloudRow = new QHBoxLayout;
    cloudRow->setSpacing(10);
    configureAIButton_ = editing_window::makeButton(QStringLiteral("配置云服务"));
    runAIButton_ = editing_window::makeButton(QStringLiteral("运行云端 AI 匹配"), dark_colours::systemBlue());
    aiStatusLabel_ = styledLabel(QStringLiteral("云端匹配需明确点击；低置信度建议必须人工选择确认。"), 12,
                                               QFont::Normal, dark_colours::secondaryLabel());
    aiStatusLabel_->setWordWrap(true);
    aiStatusLabel_->setMaximumHeight(aiStatusLabel_->fontMetrics().lineSpacing() * 2);
    cloudRow->addWidget(configureAIButton_);
    cloudRow->addWidget(runAIButton_);
    cloudRow->addWidget(aiStatusLabel_, 1);
    layout->addLayout(cloudRow);
    layout->addSpacing(12);

    scrollView_ = new QScrollArea;
    scrollView_->setWidgetResizable(true);
    scrollView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollView_->setFrameShape(QFrame::StyledPanel);
    rowsView_ = new QWidget;
    rowsView_->setAutoFillBackground(false);
    rows_ = new QVBoxLayout(rowsView_);
    rows_->setContentsMargins(10, 10, 10, 10);
    rows_->setSpacing(8);
    rows_->addStretch(1);
    scrollView_->setWidget(rowsView_);
    scrollView_->viewport()->setAutoFillBackground(false);
    layout->addWidget(scrollView_, 1);
    layout->addSpacing(14);

    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    closeButton_ = editing_window::makeButton(QStringLiteral("完成"), dark_colours::systemBlue());
    closeRow->addWidget(closeButton_);
    layout->addLayout(closeRow);

    QObject::connect(configureAIButton_, &QPushButton::clicked, content, [this] {
        if (!isRunningCloudAI_ && onConfigureCloudAI)
            onConfigureCloudAI();
    });
    QObject::connect(runAIButton_, &QPushButton::clicked, content, [this] {
        if (!isRunningCloudAI_ && script_.canEditSlideMappings() && onRunCloudAI)
            onRunCloudAI();
    });
    QObject::connect(closeButton_, &QPushButton::clicked, content, [this] { window_->orderOut(); });
    return content;
}

void SlideMappingWindowController::reload()
{
    window_->setTitle(slide_mapping::windowTitle(script_.activeProjectName()));
    heading_->setText(script_.deckStatusText());

    popups_.clear();
    while (rows_->count() > 1) {
        QLayoutItem* item = rows_->takeAt(0);
        if (QWidget* row = item->widget()) {
            row->hide();
            // A row may hold the pop-up whose choice is being handled.
            row->deleteLater();
        }
        delete item;
    }

    const auto& deck = script_.deck();
    const QStringList& sections = script_.sections();
    if (!deck || sections.isEmpty()) {
        QLabel* empty = styledLabel(slide_mapping::emptyText(), 13, QFont::Normal, dark_colours::secondaryLabel());
        empty->setWordWrap(true);
        rows_->insertWidget(0, empty);
        return;
    }
    for (qsizetype i = 0; i < sections.size(); ++i)
        rows_->insertWidget(static_cast<int>(i), makeRow(i, sections[i], *deck));
}

QWidget* SlideMappingWindowController::makeRow(qint64 sectionIndex, const QString& text, const PresentationDeck& deck)
{
    auto* row = new QWidget;
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(12);

    auto* column = new QVBoxLayout;
    column->setSpacing(3);
    QLabel* sectionLabel = styledLabel(slide_mapping::sectionTitle(sectionIndex),
                                       monospacedDigitFont(pixelFont(11, QFont::DemiBold)), dark_colours::systemOrange());
    sectionLabel->setObjectName(QStringLiteral("sectionLabel"));
    column->addWidget(sectionLabel);
    QLabel* preview = styledLabel(slide_mapping::preview(text), 12, QFont::Normal, dark_colours::white());
    preview->setObjectName(QStringLiteral("preview"));
    preview->setWordWrap(true);
    preview->setTextInteractionFlags(Qt::TextSelectableByMouse);
    preview->setFixedHeight(34);
    preview->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    preview->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    column->addWidget(preview);
    if (const auto line = slide_mapping::reviewLine(script_.slideMappingReview(sectionIndex))) {
        QLabel* review = styledLabel(line->text, 10, QFont::Medium,
                                                   line->needsReview ? dark_colours::systemRed() : dark_colours::systemGreen());
        review->setObjectName(QStringLiteral("review"));
        column->addWidget(review);
    }
    rowLayout->addLayout(column, 1);

    auto* popup = new QComboBox;
    popup->addItems(slide_mapping::popupItems(deck));
    popup->setCurrentIndex(slide_mapping::popupIndex(script_.slideNumber(sectionIndex), popup->count()));
    popup->setFixedWidth(250);
    popup->setAccessibleName(slide_mapping::popupAccessibleName(sectionIndex));
    QObject::connect(popup, &QComboBox::activated, popup, [this, popup, sectionIndex](int) { mappingChanged(popup, sectionIndex); });
    rowLayout->addWidget(popup);
    popups_.push_back(popup);
    return row;
}

void SlideMappingWindowController::mappingChanged(QComboBox* popup, qint64 sectionIndex)
{
    isApplyingMapping_ = true;
    script_.setSlideMapping(sectionIndex, slide_mapping::chosenSlide(popup->currentIndex()));
    isApplyingMapping_ = false;
    // The model may refuse a choice ("未映射" is never applied): show what it holds.
    popup->setCurrentIndex(slide_mapping::popupIndex(script_.slideNumber(sectionIndex), popup->count()));
    heading_->setText(script_.deckStatusText());
}

void SlideMappingWindowController::present()
{
    reload();
    if (!centreOnBuiltInScreen(*window_))
        return;
    window_->makeKeyAndOrderFront();
}

void SlideMappingWindowController::positionOnBuiltInScreen()
{
    centreOnBuiltInScreen(*window_);
}

void SlideMappingWindowController::setCloudAIWorking(bool working)
{
    isRunningCloudAI_ = working;
    const auto controls = slide_mapping::cloudControls(working, script_.canEditSlideMappings());
    runAIButton_->setText(controls.runTitle);
    runAIButton_->setEnabled(controls.runEnabled);
    configureAIButton_->setEnabled(controls.configureEnabled);
}

void SlideMappingWindowController::setCloudAIStatus(const QString& message, bool isError)
{
    aiStatusLabel_->setText(message);
    setTextColour(aiStatusLabel_, isError ? dark_colours::systemRed() : dark_colours::systemGreen());
}

} // namespace quorvia
