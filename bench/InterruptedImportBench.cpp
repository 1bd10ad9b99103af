// The start's check of an import's record whose projects were stored, though
// the import was never said done: N copies named in the record, 2N decks in
// the store named by the stored projects (the first N of them the record's).
// Timed: the store's sweep with the settings' stored documents read, as main()
// runs it before any window shows; the settings are loaded beforehand, as every
// start loads them anyway.
#include "model/ImportRecord.h"
#include "model/ProjectDocumentStore.h"
#include "model/PromptScript.h"
#include "model/StoredState.h"
#include "platform/core/Uuid.h"
#include "platform/linux/settings/SettingsDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

using namespace quorvia;

namespace {

void checkKeptRecord(benchmark::State& state)
{
    const int names = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("store"));
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    StoredState stored;
    ImportRecord record;
    for (int i = 0; i < 2 * names; ++i) {
        const QString copy = platform::uuidString(platform::newUuid());
        if (!QDir().mkpath(root + u'/' + copy))
            std::abort();
        StoredProject project = StoredProject::newRecord(QStringLiteral("项目%1").arg(i), QStringLiteral("1\n开场"));
        project.deck = PresentationDeck::keynoteDocument(root + u'/' + copy + QStringLiteral("/talk.key"), 3);
        stored.projects.push_back(std::move(project));
        if (i < names)
            record.copyFolders.append(copy.toLatin1());
    }
    stored.activeProjectID = stored.projects.front().id;
    {
        platform::native::SettingsDefaults writing(folder, QString());
        writing.setData(PromptScript::projectsKey, stored.toJson());
        if (writing.flush())
            std::abort();
    }
    const platform::native::SettingsDefaults settings(folder, QString());
    record.settingsLocation = settings.location();
    record.settingsIdentity = settings.identity();
    const QByteArray bytes = record.encoded();
    const QString incoming = root + u'/' + ProjectDocumentStore::incomingFolderName;
    const auto storedDocuments = [&](const QString& at, const QString& identity) {
        return PromptScript::storedDocumentPaths(settings, at, identity);
    };

    for (auto _ : state) {
        state.PauseTiming();
        QDir().mkpath(incoming);
        QFile file(incoming + u'/' + ProjectDocumentStore::admittingPrefix + QStringLiteral("X"));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            std::abort();
        file.close();
        state.ResumeTiming();
        const auto found = ProjectDocumentStore::discardInterruptedCopies(root, storedDocuments);
        state.PauseTiming();
        for (const std::filesystem::path& left : found)
            std::filesystem::remove_all(left);
        // Kept: every copy the record names is still in the store.
        if (QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() != 2 * names)
            std::abort();
        state.ResumeTiming();
    }
    state.counters["names"] = names;
    state.counters["stored_decks"] = 2 * names;
}

} // namespace

BENCHMARK(checkKeptRecord)->Arg(400)->Arg(4000)->Arg(40000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
