#pragma once

#include "prompter/ScriptScrollModel.h"
#include "prompter/ScriptTextLayout.h"

#include <QWidget>

#include <functional>
#include <vector>

namespace quorvia {

// The prompter's one text surface: the rendered script painted at a
// fractional scroll offset, the current section bright, its spoken part
// yellow, and a pink reading line at 0.32 of the height. No scroll bars; the
// wheel still scrolls. Main thread only.
class ScriptScrollView : public QWidget {
public:
    static constexpr double minimumFontSize = ScriptScrollModel::minimumFontSize;
    static constexpr double maximumFontSize = ScriptScrollModel::maximumFontSize;
    static inline const QString fontSizeChangedNotification = ScriptScrollModel::fontSizeChangedNotification;

    explicit ScriptScrollView(QWidget* parent = nullptr);
    ~ScriptScrollView() override;

    void setSections(const QStringList& sections, int highlight, const std::vector<int>& spokenProgress = {});
    void setSpokenProgress(int rawOffset, int sectionIndex);

    double fontSize() const { return model_.fontSize(); }
    bool canDecreaseFontSize() const { return model_.canDecreaseFontSize(); }
    bool canIncreaseFontSize() const { return model_.canIncreaseFontSize(); }
    void decreaseFontSize();
    void increaseFontSize();

    void advance(double seconds, int charactersPerMinute);
    int readingCharacterIndex();
    void restoreReading(int rawOffset);
    double progressFraction() const { return model_.progressFraction(); }
    void scrollToSection(int index);
    void resetToTop();
    int currentSectionIndex() const { return model_.currentSectionIndex(); }

    // Not set by the system; called when scrolling moves the current section.
    std::function<void(int)> onSectionChanged;
    std::function<void()> onReachedEnd;
    // Called when the text is laid out anew at another font size or view
    // size, or scrolled by hand, which moves how far through it the view stands.
    std::function<void()> onMoved;

    const ScriptScrollModel& model() const { return model_; }
    const QTextDocument& textDocument() const { return layout_.document(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void followGeometry();

    ScriptTextLayout layout_;
    ScriptScrollModel model_;
};

} // namespace quorvia
