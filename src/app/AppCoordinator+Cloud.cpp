#include "app/AppCoordinator.h"

#include "platform/core/MainQueue.h"

#include <algorithm>

namespace quorvia {

namespace {
using Kind = PresentationSafetyState::Kind;
}

void AppCoordinator::showSlideMappings()
{
    if (!promptScript->canEditSlideMappings())
        return;
    if (!slideMappingController) {
        auto controller = std::make_unique<SlideMappingWindowController>(*promptScript);
        controller->onConfigureCloudAI = weakly(&AppCoordinator::showCloudAISettings);
        controller->onRunCloudAI = weakly(&AppCoordinator::runCloudAIMapping);
        slideMappingController = std::move(controller);
        if (auto* window = slideMappingController->window())
            privateWindows->registerWindow(window);
    }
    slideMappingController->present();
}

void AppCoordinator::showCloudAISettings()
{
    if (presentationState.kind() != Kind::disabled)
        return;
    if (!cloudAISettingsController) {
        cloudAISettingsController = std::make_unique<CloudAISettingsWindowController>(*cloudAISettings);
        if (auto* window = cloudAISettingsController->window())
            privateWindows->registerWindow(window);
    }
    cloudAISettingsController->present();
}

void AppCoordinator::runCloudAIMapping()
{
    if (presentationState.kind() != Kind::disabled)
        return;
    const auto deck = promptScript->deck();
    if (!deck)
        return;
    const QStringList sections = promptScript->sections();
    if (sections.isEmpty())
        return;
    const QUuid projectID = promptScript->activeProjectID();
    if (slideMappingController) {
        slideMappingController->setCloudAIWorking(true);
        slideMappingController->setCloudAIStatus(
            QStringLiteral("稿件与 PPT 文字将发送到已配置的 HTTPS 服务；现场音频不在请求中。"), false);
    }
    const WeakLife weak = life_;
    cloudAIMatcher->match(*deck, sections, cloudAISettings->configuration(), [weak, projectID](CloudAIMatcher::Result result) {
        platform::MainQueue::async([weak, projectID, result = std::move(result)] {
            auto* self = alive(weak);
            if (!self)
                return;
            if (self->slideMappingController)
                self->slideMappingController->setCloudAIWorking(false);
            if (self->promptScript->activeProjectID() != projectID)
                return;
            if (!result) {
                if (self->slideMappingController)
                    self->slideMappingController->setCloudAIStatus(description(result.error()), true);
                return;
            }
            self->promptScript->applyCloudMappingSuggestions(*result);
            const auto lowConfidence = std::count_if(result->begin(), result->end(), [](const CloudSlideSuggestion& s) {
                return s.confidence < CloudSlideSuggestion::reviewThreshold;
            });
            if (self->slideMappingController)
                self->slideMappingController->setCloudAIStatus(
                    QStringLiteral("云端建议已返回；%1 段低置信度结果等待人工确认。").arg(lowConfidence), false);
        });
    });
}

} // namespace quorvia
