#pragma once

#include "prompter/MarkdownPromptDocument.h"
#include "prompter/ScriptLayout.h"

#include "platform/core/MainQueue.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorvia {

// The script view's content, scroll offset, reading position, spoken-text
// tracking and font size, measured through a ScriptLayout. No widgets, so it
// is tested over a fake layout. Main thread only.
class ScriptScrollModel {
public:
    static constexpr double readingFraction = 0.32;
    static constexpr double minimumFontSize = 12;
    static constexpr double maximumFontSize = 40;
    static constexpr double fontSizeStep = 2;
    static constexpr double defaultFontSize = 18;
    static constexpr double speechTrackingInterval = 1.0 / 30.0;
    static inline const QString fontSizeDefaultsKey = QStringLiteral("prompter.script.fontSize");
    static inline const QString fontSizeChangedNotification = QStringLiteral("PrompterFontSizeChanged");

    struct Range {
        int location = 0;
        int length = 0;
        bool operator==(const Range&) const = default;
    };

    // Reads the font size from the platform's defaults store.
    explicit ScriptScrollModel(ScriptLayout& layout);
    ~ScriptScrollModel();
    ScriptScrollModel(const ScriptScrollModel&) = delete;
    ScriptScrollModel& operator=(const ScriptScrollModel&) = delete;

    // The stored size: 0 or absent means 18, then clamped to 12...40.
    static double storedFontSize();
    static double clampFontSize(double size);

    // Content.
    void setSections(const QStringList& sections, int highlight, const std::vector<int>& spokenProgress = {});
    void setSpokenProgress(int rawOffset, int sectionIndex);
    const QStringList& sections() const { return sections_; }
    const QString& displayText() const { return displayText_; }
    const std::vector<MarkdownPromptDocument>& renderedDocuments() const { return documents_; }
    const std::vector<Range>& sectionRanges() const { return ranges_; }
    const std::vector<double>& sectionTops() const { return tops_; }
    const std::vector<int>& spokenProgressBySection() const { return spoken_; }
    int currentSectionIndex() const { return highlighted_; }

    // What the view paints white and yellow; none when nothing is current.
    std::optional<Range> highlightedRange() const;
    std::optional<Range> spokenRange() const;

    // Font size.
    double fontSize() const { return fontSize_; }
    bool canDecreaseFontSize() const { return fontSize_ > minimumFontSize; }
    bool canIncreaseFontSize() const { return fontSize_ < maximumFontSize; }
    void decreaseFontSize() { setFontSize(fontSize_ - fontSizeStep); }
    void increaseFontSize() { setFontSize(fontSize_ + fontSizeStep); }
    void setFontSize(double size);

    // Scrolling.
    double currentOffset() const { return currentOffset_; }
    // Where the text is really scrolled to; the speaker's wheel moves only this.
    double scrolledOffset() const { return scrolledOffset_; }
    double maximumOffset() const;
    void scrollByUser(double delta);
    void advance(double seconds, int charactersPerMinute);
    // Adopts the speaker's hand scroll first, but never leaves the current
    // section: a place past its text is its last character.
    int readingCharacterIndex();
    void restoreReading(int rawOffset);
    // Of the offset shown, so that it follows a hand scroll.
    double progressFraction() const;
    void scrollToSection(int index);
    void resetToTop() { applyScroll(0); }
    // After the layout changed size; measures the section tops unless rebuilding.
    void layoutChanged();

    bool isTrackingSpeech() const { return speechTarget_.has_value(); }
    std::optional<double> speechTargetOffset() const { return speechTarget_; }

    // The view builds its styled text from displayText and the documents.
    std::function<void()> onRebuild;
    std::function<void()> onHighlightChanged;
    std::function<void()> onScrolled;
    std::function<void(int)> onSectionChanged;
    std::function<void()> onReachedEnd;
    // The object "PrompterFontSizeChanged" names as its sender.
    const void* notificationSender = this;

private:
    void rebuildText();
    void applyHighlight();
    void setOffset(double offset);
    void applyScroll(int index);
    void recomputeSectionTops();
    void syncSectionToOffset();
    void adoptScrolledOffset();
    void trackSpokenProgress(int rawOffset);
    void advanceSpeechTracking();
    void stopSpeechTracking();
    double readingLineInView() const { return layout_.visibleHeight() * readingFraction; }

    ScriptLayout& layout_;
    QStringList sections_;
    QString displayText_;
    std::vector<MarkdownPromptDocument> documents_;
    std::vector<Range> ranges_;
    std::vector<double> tops_;
    std::vector<int> spoken_;
    int highlighted_ = 0;
    double currentOffset_ = 0;
    double scrolledOffset_ = 0;
    double fontSize_ = defaultFontSize;
    bool isRebuilding_ = false;
    std::unique_ptr<platform::Timer> speechTimer_;
    std::optional<double> speechTarget_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace quorvia
