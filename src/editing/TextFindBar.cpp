#include "editing/TextFindBar.h"

#include "platform/desktop/Symbols.h"
#include "look/DarkColours.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QToolButton>

namespace quorvia {

namespace {
constexpr int inset = 8;
constexpr int preferredWidth = 380;

QColor markColour() { return QColor(255, 214, 10, 70); }
QColor currentColour() { return QColor(255, 159, 10, 150); }

// A scroll area keeps its viewport margins to itself and its subclasses; the
// bar reserves its strip through them without the editor having to be one.
struct ViewportMargins : QAbstractScrollArea {
    static void set(QAbstractScrollArea& area, const QMargins& margins)
    {
        const auto setter =
            static_cast<void (QAbstractScrollArea::*)(const QMargins&)>(&ViewportMargins::setViewportMargins);
        (area.*setter)(margins);
    }
};
} // namespace

TextFindBar::TextFindBar(QTextEdit* editor)
    : QFrame(editor), editor_(editor), field_(new QLineEdit), count_(new QLabel), previous_(new QToolButton),
      next_(new QToolButton), done_(new QPushButton(QStringLiteral("完成")))
{
    setObjectName(QStringLiteral("findBar"));
    setAutoFillBackground(true);
    setFrameShape(QFrame::StyledPanel);
    QPalette p = dark_colours::darkAppearance();
    p.setColor(QPalette::Window, QColor(44, 44, 46));
    setPalette(p);

    field_->setPlaceholderText(QStringLiteral("查找"));
    field_->setClearButtonEnabled(true);
    field_->installEventFilter(this);
    count_->setMinimumWidth(52);
    count_->setAlignment(Qt::AlignCenter);
    QPalette countPalette = count_->palette();
    countPalette.setColor(QPalette::WindowText, dark_colours::secondaryLabel());
    count_->setPalette(countPalette);
    previous_->setIcon(platform::symbolIcon(QStringLiteral("chevron.up"), dark_colours::white(), 14));
    previous_->setToolTip(QStringLiteral("上一个（Shift+Return）"));
    previous_->setAccessibleName(QStringLiteral("上一个"));
    next_->setIcon(platform::symbolIcon(QStringLiteral("chevron.down"), dark_colours::white(), 14));
    next_->setToolTip(QStringLiteral("下一个（Return）"));
    next_->setAccessibleName(QStringLiteral("下一个"));
    for (QToolButton* button : {previous_, next_}) {
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    done_->setAutoDefault(false);
    done_->setFocusPolicy(Qt::NoFocus);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 6, 8, 6);
    row->setSpacing(6);
    row->addWidget(field_, 1);
    row->addWidget(count_);
    row->addWidget(previous_);
    row->addWidget(next_);
    row->addWidget(done_);

    connect(field_, &QLineEdit::textChanged, this, [this] { queryChanged(); });
    connect(previous_, &QToolButton::clicked, this, [this] { findPrevious(); });
    connect(next_, &QToolButton::clicked, this, [this] { findNext(); });
    connect(done_, &QPushButton::clicked, this, [this] { close(); });
    connect(editor_, &QTextEdit::textChanged, this, [this] { textChanged(); });
    editor_->installEventFilter(this);
    count_->setText(countText(std::nullopt, 0, false));
    hide();
}

QString TextFindBar::countText(std::optional<std::size_t> current, std::size_t total, bool hasQuery)
{
    if (!hasQuery)
        return {};
    if (total == 0)
        return QStringLiteral("无结果");
    return QStringLiteral("%1/%2").arg(current ? QString::number(*current + 1) : QStringLiteral("–")).arg(total);
}

void TextFindBar::open()
{
    const QTextCursor cursor = editor_->textCursor();
    const QString selected = cursor.selectedText();
    // The selection's own text stands for a paragraph break with U+2029.
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator) && selected != field_->text())
        field_->setText(selected);
    place();
    show();
    raise();
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
    textChanged();
}

void TextFindBar::close()
{
    hide();
    ViewportMargins::set(*editor_, {});
    matches_.clear();
    current_.reset();
    editor_->setExtraSelections({});
    editor_->setFocus(Qt::OtherFocusReason);
}

void TextFindBar::queryChanged()
{
    matches_ = text_search::findAll(editor_->toPlainText(), field_->text());
    select(text_search::nearest(matches_, editor_->textCursor().selectionStart()));
}

void TextFindBar::textChanged()
{
    if (isHidden())
        return;
    // The text moved under the marks (or the bar reopened): find again,
    // keeping the caret where the speaker left it.
    matches_ = text_search::findAll(editor_->toPlainText(), field_->text());
    current_.reset();
    const int caret = editor_->textCursor().selectionStart();
    for (std::size_t i = 0; i < matches_.size(); ++i)
        if (matches_[i].start == caret && matches_[i].end() == editor_->textCursor().selectionEnd())
            current_ = i;
    refreshMarks();
}

void TextFindBar::go(bool forward)
{
    if (isHidden())
        open();
    matches_ = text_search::findAll(editor_->toPlainText(), field_->text());
    const QTextCursor cursor = editor_->textCursor();
    select(text_search::step(matches_, cursor.selectionStart(), cursor.selectionEnd(), forward));
}

void TextFindBar::select(std::optional<std::size_t> index)
{
    current_ = index;
    if (index) {
        const auto& match = matches_[*index];
        QTextCursor cursor(editor_->document());
        cursor.setPosition(match.start);
        cursor.setPosition(match.end(), QTextCursor::KeepAnchor);
        editor_->setTextCursor(cursor);
        editor_->ensureCursorVisible();
    }
    refreshMarks();
}

void TextFindBar::refreshMarks()
{
    QList<QTextEdit::ExtraSelection> marks;
    for (std::size_t i = 0; i < matches_.size(); ++i) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(editor_->document());
        mark.cursor.setPosition(matches_[i].start);
        mark.cursor.setPosition(matches_[i].end(), QTextCursor::KeepAnchor);
        mark.format.setBackground(current_ == i ? currentColour() : markColour());
        marks.push_back(mark);
    }
    editor_->setExtraSelections(marks);
    count_->setText(countText(current_, matches_.size(), !field_->text().isEmpty()));
}

void TextFindBar::place()
{
    const QRect area = editor_->contentsRect();
    const int scrollBar = editor_->verticalScrollBar()->isVisible() ? editor_->verticalScrollBar()->width() : 0;
    const int width = std::min(preferredWidth, area.width() - scrollBar - 2 * inset);
    const int height = sizeHint().height();
    setGeometry(area.right() - scrollBar - inset - width + 1, area.top() + inset, std::max(width, 0), height);
    // The text starts below the bar, so no line, and no match in it, lies under it.
    ViewportMargins::set(*editor_, QMargins(0, height + 2 * inset, 0, 0));
}

bool TextFindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == editor_ && event->type() == QEvent::Resize && !isHidden())
        place();
    if (watched == field_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            go(!(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            close();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace quorvia
