#pragma once

#include "editing/TextSearch.h"

#include <QFrame>

#include <optional>
#include <vector>

class QLabel;
class QLineEdit;
class QTextEdit;
class QToolButton;
class QPushButton;

namespace quorvia {

// The find bar of a text view: it stands in the view's top right corner,
// above the text, which it moves down while it shows. It marks every
// occurrence of what is typed, and steps through them with Return and
// Shift+Return, wrapping at either end. Escape or "完成" closes it and gives
// the keyboard back to the text.
class TextFindBar : public QFrame {
    Q_OBJECT
public:
    explicit TextFindBar(QTextEdit* editor);

    // Shows the bar with its field focused and its text selected; a one-line
    // selection in the text becomes the query.
    void open();
    void close();
    void findNext() { go(true); }
    void findPrevious() { go(false); }

    QLineEdit* field() const { return field_; }
    QLabel* countLabel() const { return count_; }
    QToolButton* previousButton() const { return previous_; }
    QToolButton* nextButton() const { return next_; }
    QPushButton* doneButton() const { return done_; }
    const std::vector<text_search::Match>& matches() const { return matches_; }
    std::optional<std::size_t> currentMatch() const { return current_; }

    static QString countText(std::optional<std::size_t> current, std::size_t total, bool hasQuery);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void queryChanged();
    void textChanged();
    void go(bool forward);
    void select(std::optional<std::size_t> index);
    void refreshMarks();
    void place();

    QTextEdit* editor_;
    QLineEdit* field_;
    QLabel* count_;
    QToolButton* previous_;
    QToolButton* next_;
    QPushButton* done_;
    std::vector<text_search::Match> matches_;
    std::optional<std::size_t> current_;
};

} // namespace quorvia
