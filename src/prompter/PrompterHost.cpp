#include "prompter/PrompterHost.h"

#include "prompter/AutoScrollController.h"
#include "prompter/ScriptScrollView.h"

#include "model/PromptScript.h"
#include "platform/core/MainQueue.h"

#include <QLayout>
#include <QVBoxLayout>

namespace quorvia {

PrompterHost::PrompterHost(PromptScript& script, AutoScrollController& autoScroll)
    : script_(script), autoScroll_(autoScroll), scriptView_(new ScriptScrollView())
{
    std::weak_ptr<bool> alive = alive_;
    scriptView_->onReachedEnd = [this, alive] {
        if (alive.lock())
            autoScroll_.pause();
    };
    scriptView_->onMoved = [this, alive] {
        if (alive.lock() && onReloaded)
            onReloaded();
    };
    autoScroll_.onAdvance = [this, alive](double seconds) {
        if (!alive.lock() || !scriptView_)
            return;
        scriptView_->advance(seconds, autoScroll_.charactersPerMinute());
        if (onAdvanced)
            onAdvanced();
    };
    scriptObserver_ = platform::NotificationCenter::defaultCenter().observe(
        NotificationName::promptScriptChanged, &script_, [this, alive](const platform::Notification&) {
            if (alive.lock())
                reloadIfNeeded();
        });
    loadContent();
}

PrompterHost::~PrompterHost()
{
    *alive_ = false;
    alive_.reset();
    scriptObserver_.reset();
    // The clock outlives the host; its callback must not reach a dead host.
    autoScroll_.onAdvance = nullptr;
    QObject::disconnect(containerDestroyed_);
    delete scriptView_.data();
}

ScriptScrollView& PrompterHost::scriptView() const { return *scriptView_; }

void PrompterHost::loadContent()
{
    const auto block = script_.currentBlock();
    loadedBlockID_ = block ? std::optional<QUuid>(block->id) : std::nullopt;
    loadedText_ = script_.currentText();
    const int spoken = script_.hasContent() ? static_cast<int>(script_.spokenCharacterOffset(script_.currentIndex())) : 0;
    scriptView_->setSections({script_.currentText()}, 0, {spoken});
    restoreLater(static_cast<int>(script_.readingCharacterIndex()), true);
    if (onReloaded)
        onReloaded();
}

void PrompterHost::reloadIfNeeded()
{
    const auto block = script_.currentBlock();
    const std::optional<QUuid> id = block ? std::optional<QUuid>(block->id) : std::nullopt;
    const bool sameText = loadedText_.has_value() && *loadedText_ == script_.currentText();
    if (id == loadedBlockID_ && sameText) {
        scriptView_->setSpokenProgress(static_cast<int>(script_.spokenCharacterOffset(script_.currentIndex())), 0);
        return;
    }
    loadContent();
}

void PrompterHost::restoreLater(int index, bool afterLoad)
{
    const quint64 generation = ++restoreGeneration_;
    if (afterLoad)
        pendingRestore_ = {generation, index};
    std::weak_ptr<bool> alive = alive_;
    platform::MainQueue::async([this, alive, index, generation] {
        if (!alive.lock())
            return;
        if (pendingRestore_ && pendingRestore_->first == generation)
            pendingRestore_.reset();
        if (!scriptView_)
            return;
        scriptView_->restoreReading(index);
        if (onReloaded)
            onReloaded();
    });
}

int PrompterHost::readingPosition() const
{
    if (pendingRestore_)
        return pendingRestore_->second;
    return scriptView_ ? scriptView_->readingCharacterIndex() : 0;
}

void PrompterHost::install(QWidget* container)
{
    if (!container || !scriptView_)
        return;
    const int index = readingPosition();
    if (auto* previous = scriptView_->parentWidget(); previous && previous->layout())
        previous->layout()->removeWidget(scriptView_);
    scriptView_->setParent(nullptr);

    QLayout* layout = container->layout();
    if (!layout) {
        layout = new QVBoxLayout(container);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    scriptView_->setParent(container);
    layout->addWidget(scriptView_);
    // A container that dies while holding the view would take it along.
    QObject::disconnect(containerDestroyed_);
    ScriptScrollView* view = scriptView_;
    containerDestroyed_ = QObject::connect(container, &QObject::destroyed, view, [view, container] {
        if (view->parent() == container)
            view->setParent(nullptr);
    });
    layout->activate();
    // A hidden container defers its layout; size the view now so the restore measures it.
    scriptView_->setGeometry(container->contentsRect());
    scriptView_->show();

    scriptView_->restoreReading(index);
    restoreLater(index, false);
}

void PrompterHost::setPlacement(Placement placement)
{
    if (placement == placement_)
        return;
    placement_ = placement;
    platform::NotificationCenter::defaultCenter().post(placementChangedNotification, this);
}

void PrompterHost::captureReadingPosition()
{
    if (scriptView_)
        script_.setReadingCharacterIndex(readingPosition());
}

double PrompterHost::progressFraction() const { return scriptView_ ? scriptView_->progressFraction() : 0.0; }

} // namespace quorvia
