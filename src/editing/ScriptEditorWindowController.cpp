#include "editing/ScriptEditorWindowController.h"

#include "editing/EditingAlertSheet.h"
#include "editing/EditingWindow.h"
#include "privacy/BuiltInScreenPlacement.h"
#include "editing/ScriptEditorTexts.h"
#include "editing/TextFindBar.h"
#include "model/PromptScript.h"
#include "look/DarkColours.h"
#include "look/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace quorvia {

using platform::WindowStyle;

ScriptEditorWindowController::ScriptEditorWindowController(PromptScript& script)
    : script_(script),
      window_(editing_window::make({680, 520},
                                   WindowStyle::titled | WindowStyle::closable | WindowStyle::resizable
                                       | WindowStyle::miniaturizable,
                                   script_editor::initialTitle()))
{
    window_->setContentView(makeContentView());
    positionOnBuiltInScreen();
}

ScriptEditorWindowController::~ScriptEditorWindowController() = default;

QWidget* ScriptEditorWindowController::makeContentView()
{
    QWidget* content = editing_window::makeContentView();
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(0);

    QLabel* rule = styledLabel(script_editor::ruleText(), 13, QFont::Normal, dark_colours::secondaryLabel());
    rule->setWordWrap(true);
    rule->setMaximumHeight(rule->fontMetrics().lineSpacing() * 3);
    layout->addWidget(rule);
    layout->addSpacing(12);

    auto* labelRow = new QHBoxLayout;
    labelRow->setSpacing(10);
    labelRow->addWidget(styledLabel(script_editor::labelCaption(), 13, QFont::Medium, dark_colours::secondaryLabel()));
    labelField_ = new QLineEdit;
    QFont fieldFont = labelField_->font();
    fieldFont.setPixelSize(16);
    fieldFont.setWeight(QFont::DemiBold);
    labelField_->setFont(monospacedDigitFont(fieldFont));
    labelField_->setPlaceholderText(script_editor::labelPlaceholder());
    labelField_->setMinimumWidth(220);
    labelRow->addWidget(labelField_, 1);
    layout->addLayout(labelRow);
    layout->addSpacing(12);

    textView_ = new QTextEdit;
    textView_->setAcceptRichText(false);
    textView_->setUndoRedoEnabled(true);
    textView_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    textView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    textView_->document()->setDocumentMargin(12);
    QPalette textPalette = textView_->palette();
    textPalette.setColor(QPalette::Base, dark_colours::editingTextBackground());
    textPalette.setColor(QPalette::Text, dark_colours::white());
    textPalette.setColor(QPalette::Highlight, dark_colours::controlAccent());
    textPalette.setColor(QPalette::HighlightedText, dark_colours::white());
    textView_->setPalette(textPalette);
    textView_->setFrameShape(QFrame::StyledPanel);
    layout->addWidget(textView_, 1);
    findBar_ = new TextFindBar(textView_);
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), content);
    find->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(find, &QShortcut::activated, findBar_, [this] { findBar_->open(); });
    layout->addSpacing(16);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(10);
    buttonRow->addStretch(1);
    cancelButton_ = editing_window::makeButton(QStringLiteral("取消"));
    saveButton_ = editing_window::makeButton(QStringLiteral("保存当前块"), dark_colours::systemBlue());
    QObject::connect(cancelButton_, &QPushButton::clicked, content, [this] { cancelPressed(); });
    QObject::connect(saveButton_, &QPushButton::clicked, content, [this] { savePressed(); });
    buttonRow->addWidget(cancelButton_);
    buttonRow->addWidget(saveButton_);
    layout->addLayout(buttonRow);
    applyTextAppearance();
    return content;
}

void ScriptEditorWindowController::applyTextAppearance()
{
    QTextCharFormat format;
    QFont font = textView_->font();
    font.setPixelSize(18);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    format.setFont(font);
    format.setForeground(dark_colours::white());
    if (!textView_->document()->isEmpty()) {
        QTextCursor all(textView_->document());
        all.select(QTextCursor::Document);
        all.setCharFormat(format);
    }
    textView_->setCurrentCharFormat(format);
    textView_->document()->setDefaultFont(font);
}

void ScriptEditorWindowController::present(std::optional<QUuid> blockID)
{
    std::optional<QUuid> target = blockID;
    if (!target) {
        if (const auto current = script_.currentBlock())
            target = current->id;
    }
    if (!target)
        return;
    const auto& blocks = script_.timelineBlocks();
    const auto found = std::find_if(blocks.begin(), blocks.end(), [&](const PromptTimelineBlock& b) { return b.id == *target; });
    if (found == blocks.end())
        return;

    editingBlockID_ = target;
    window_->setTitle(script_editor::windowTitle(found->label, script_.activeProjectName()));
    labelField_->setText(found->label);
    textView_->setPlainText(found->text);
    presentedText_ = found->text;
    presentedRawText_ = textView_->document()->toRawText();
    QTextCursor end(textView_->document());
    end.movePosition(QTextCursor::End);
    textView_->setTextCursor(end);
    // After the caret moves: moving it resets the typing attributes.
    applyTextAppearance();
    textView_->ensureCursorVisible();

    // Without a built-in screen the window would show off it: stay hidden.
    if (!centreOnBuiltInScreen(*window_))
        return;
    window_->makeKeyAndOrderFront();
    textView_->setFocus();
}

void ScriptEditorWindowController::positionOnBuiltInScreen()
{
    centreOnBuiltInScreen(*window_);
}

void ScriptEditorWindowController::cancelPressed()
{
    window_->orderOut();
}

QString ScriptEditorWindowController::editedText() const
{
    // The plain-text export turns no-break spaces into spaces and line
    // separators into line breaks; the document's own characters do not.
    QString raw = textView_->document()->toRawText();
    if (raw == presentedRawText_)
        return presentedText_;
    raw.replace(QChar::ParagraphSeparator, u'\n');
    return raw;
}

void ScriptEditorWindowController::savePressed()
{
    const QString label = labelField_->text();
    const QString text = editedText();
    std::optional<script_editor::Alert> problem = script_editor::saveProblem(script_, editingBlockID_, label, text);
    if (!problem) {
        if (script_.updateBlock(*editingBlockID_, label, text)) {
            window_->orderOut();
            return;
        }
        problem = script_editor::invalidLabelAlert();
    }
    EditingAlertSheet::begin(problem->message, problem->informativeText, window_.get());
}

} // namespace quorvia
