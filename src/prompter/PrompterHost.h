#pragma once

#include "platform/core/NotificationCenter.h"

#include <QPointer>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace quorvia {

class AutoScrollController;
class PromptScript;
class ScriptScrollView;

// Owns the one script view, keeps it loaded with the current block, drives it
// from the auto-scroll clock and moves it between the island and the prompter
// window, keeping the reading position. Main thread only.
class PrompterHost {
public:
    enum class Placement { island, window };
    static inline const QString placementChangedNotification = QStringLiteral("PrompterPlacementChanged");

    PrompterHost(PromptScript& script, AutoScrollController& autoScroll);
    ~PrompterHost();
    PrompterHost(const PrompterHost&) = delete;
    PrompterHost& operator=(const PrompterHost&) = delete;

    ScriptScrollView& scriptView() const;
    Placement placement() const { return placement_; }
    PromptScript& script() const { return script_; }
    AutoScrollController& autoScroll() const { return autoScroll_; }

    // Moves the view into the container, filling it, and keeps the reading position.
    void install(QWidget* container);
    void setPlacement(Placement placement);
    void captureReadingPosition();
    double progressFraction() const;

    // Called after every auto-scroll advance; the prompter window sets it while it holds the view.
    std::function<void()> onAdvanced;
    // Called when the view shows another block or text, again once its
    // reading position is restored, when its text is laid out anew and when
    // the speaker scrolls it: what the view shows moved without an advance.
    std::function<void()> onReloaded;

private:
    void loadContent();
    void reloadIfNeeded();
    void restoreLater(int index, bool afterLoad);
    // Where the view reads, or the saved place of a block just loaded: until
    // its queued restore has run, the view's own measure (of a view perhaps
    // never laid out) is not the reader's place.
    int readingPosition() const;

    PromptScript& script_;
    AutoScrollController& autoScroll_;
    QPointer<ScriptScrollView> scriptView_;
    QMetaObject::Connection containerDestroyed_;
    Placement placement_ = Placement::island;
    std::optional<QUuid> loadedBlockID_;
    std::optional<QString> loadedText_;
    // The generation of a load's queued restore, and the place it restores.
    std::optional<std::pair<quint64, int>> pendingRestore_;
    quint64 restoreGeneration_ = 0;
    platform::Observation scriptObserver_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace quorvia
