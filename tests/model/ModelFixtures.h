#pragma once

#include "model/PromptScript.h"
#include "model/StoredState.h"
#include "platform/core/NotificationCenter.h"
#include "support/MemoryDefaults.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <initializer_list>
#include <utility>
#include <vector>

namespace quorvia::test {

// Blocks from (label, text) pairs, each with a new identity.
inline std::vector<PromptTimelineBlock> makeBlocks(std::initializer_list<std::pair<const char*, const char*>> items)
{
    std::vector<PromptTimelineBlock> blocks;
    for (const auto& [label, text] : items)
        blocks.emplace_back(QUuid::createUuid(), QString::fromUtf8(label), QString::fromUtf8(text));
    return blocks;
}

inline QStringList labelsOf(const std::vector<PromptTimelineBlock>& blocks)
{
    QStringList out;
    for (const auto& block : blocks)
        out.append(block.label);
    return out;
}

inline QStringList namesOf(const PromptScript& script)
{
    QStringList out;
    for (const auto& summary : script.projectSummaries())
        out.append(summary.name);
    return out;
}

inline StoredProject makeProject(const QString& name, std::vector<PromptTimelineBlock> blocks)
{
    StoredProject project;
    project.id = QUuid::createUuid();
    project.name = name;
    project.rawText = ScriptText::serialize(blocks);
    project.timelineBlocks = std::move(blocks);
    return project;
}

inline void storeProjects(MemoryDefaults& defaults, const std::vector<StoredProject>& projects, std::optional<QUuid> active = std::nullopt)
{
    StoredState state;
    state.projects = projects;
    state.activeProjectID = active.value_or(projects.front().id);
    defaults.setData(PromptScript::projectsKey, state.toJson());
}

inline StoredState readStoredState(const MemoryDefaults& defaults)
{
    return StoredState::fromJson(defaults.data(PromptScript::projectsKey).value_or(QByteArray())).value_or(StoredState{});
}

inline const StoredProject* storedProject(const StoredState& state, const QUuid& id)
{
    for (const auto& p : state.projects)
        if (p.id == id)
            return &p;
    return nullptr;
}

// Records the model's notifications in order, as "Name" or "PromptScriptChanged:source".
class ModelNotificationLog {
public:
    // Without a sender, notifications from every sender are recorded.
    explicit ModelNotificationLog(const void* sender = nullptr)
    {
        auto& center = platform::NotificationCenter::defaultCenter();
        for (const QString& name : {NotificationName::promptScriptChanged, NotificationName::presentationProjectsChanged,
                                    NotificationName::presentationDeckChanged, NotificationName::presentationModeChanged,
                                    NotificationName::keynoteNotesBackupChanged}) {
            observations_.push_back(center.observe(name, sender, [this](const platform::Notification& n) {
                const QVariant source = n.userInfo.value(PromptScriptNotificationKey::eventSource);
                entries.append(source.isValid() ? n.name + u':' + source.toString() : n.name);
            }));
        }
    }

    QStringList entries;

private:
    std::vector<platform::Observation> observations_;
};

// A model over stored projects, with its notifications recorded from the start.
class PromptScriptTest : public ::testing::Test {
protected:
    PromptScript& makeScript(std::vector<StoredProject> projects, std::optional<QUuid> active = std::nullopt)
    {
        storeProjects(env.defaults(), projects, active);
        script.emplace(env.defaults());
        log.emplace(&*script);
        return *script;
    }

    PromptScript& makeScript(std::vector<PromptTimelineBlock> blocks, qint64 currentIndex = 0)
    {
        StoredProject project = makeProject("Talk", std::move(blocks));
        project.currentIndex = currentIndex;
        return makeScript(std::vector<StoredProject>{project});
    }

    StoredState storedState() { return readStoredState(env.defaults()); }
    StoredProject stored() { return storedState().projects[0]; }

    TestPlatform env;
    std::optional<PromptScript> script;
    std::optional<ModelNotificationLog> log;
};

} // namespace quorvia::test
