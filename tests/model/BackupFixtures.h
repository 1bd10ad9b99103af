#pragma once

#include "model/PresentationProjectsBackup.h"
#include "model/ProjectBackupError.h"
#include "model/ProjectBackupPackage.h"
#include "platform/core/Uuid.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <expected>
#include <filesystem>
#include <functional>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace quorvia::test {

inline void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(content);
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every entry below a folder, relative and sorted, links not followed.
inline QStringList listTree(const QString& root)
{
    namespace fs = std::filesystem;
    QStringList out;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root.toStdString(), error), end; !error && it != end; it.increment(error))
        out.append(QString::fromStdString(it->path().lexically_relative(root.toStdString()).string()));
    out.sort();
    return out;
}

inline void makeLink(const QString& target, const QString& link)
{
    std::error_code error;
    std::filesystem::create_symlink(target.toStdString(), link.toStdString(), error);
    ASSERT_FALSE(error) << error.message();
}

template <typename T>
QString failureText(const std::expected<T, ProjectBackupFailure>& result)
{
    return result ? QStringLiteral("<success>") : description(result.error());
}

// A one-block project, with a deck of 3 slides for the document at deckPath when given.
inline PresentationProjectsBackup::Project backupProject(const QString& name, const std::optional<QString>& deckPath = std::nullopt)
{
    PresentationProjectsBackup::Project project;
    project.id = platform::newUuid();
    project.name = name;
    project.rawText = QStringLiteral("1\n开场");
    project.timelineBlocks = {PromptTimelineBlock(platform::newUuid(), QStringLiteral("1"), QStringLiteral("开场"))};
    project.slideMappings = {1};
    project.slideMappingReviews = {SlideMappingReview::manual};
    project.promptMode = PromptMode::keyword;
    project.speechProgress = {0};
    project.completedSections = {0};
    project.readingCharacterIndex = 2;
    if (deckPath)
        project.deck = PresentationDeck::keynoteDocument(*deckPath, 3);
    return project;
}

inline PresentationProjectsBackup backupOf(std::vector<PresentationProjectsBackup::Project> projects)
{
    PresentationProjectsBackup backup;
    backup.exportedAt = QDateTime(QDate(2026, 3, 1), QTime(9, 30, 15), Qt::UTC);
    backup.activeProjectID = projects.empty() ? QUuid() : projects.front().id;
    backup.projects = std::move(projects);
    return backup;
}

// A package written by hand, for manifests an export would never produce.
inline void writeManifest(const QString& package, const QJsonObject& manifest)
{
    writeFile(package + QStringLiteral("/manifest.json"), QJsonDocument(manifest).toJson());
}

// A file that claims `bytes` and holds none of them on disk but "deck" at its start.
inline void makeSparse(const QString& file, qint64 bytes)
{
    QDir().mkpath(QFileInfo(file).path());
    const int fd = ::open(QFile::encodeName(file).constData(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "deck", 4, 0), 4);
    ASSERT_EQ(::ftruncate(fd, bytes), 0);
    ::close(fd);
}

// fork(), the child killed once the calling thread ends, stopped or not (the
// parent may end before the child asks for that).
inline pid_t forkEndingWithThisThread()
{
    const pid_t parent = ::getpid(), child = ::fork();
    if (child == 0 && (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent))
        ::_exit(1);
    return child;
}

// Runs an export in a child process that `prepare` may set up to stop or die
// part way; answers the child.
inline pid_t exportInChild(const PresentationProjectsBackup& backup, const QString& target, const std::function<void()>& prepare)
{
    const pid_t child = forkEndingWithThisThread();
    if (child == 0) {
        prepare();
        (void)ProjectBackupPackage::exportBackup(backup, target);
        ::_exit(0);
    }
    return child;
}

// In a child: once a file it writes outgrows `bytes`, `handler` runs instead.
inline void onFileSizeLimit(rlim_t bytes, void (*handler)(int))
{
    ::signal(SIGXFSZ, handler);
    const rlimit fileSize{bytes, bytes};
    ::setrlimit(RLIMIT_FSIZE, &fileSize);
}

inline QStringList stagingFoldersIn(const QString& folder)
{
    return listTree(folder).filter(QRegularExpression("^\\.QuorviaBackup-[^/]*$"));
}

// A folder of the test's own, with a folder to export into and one to import into.
class BackupPackageTest : public ::testing::Test {
protected:
    QString path(const QString& relative) const { return dir.filePath(relative); }
    QString exportsFolder() const { return path(QStringLiteral("exports")); }
    QString package() const { return path(QStringLiteral("exports/全部.quorviabackup")); }
    QString store() const { return path(QStringLiteral("store")); }

    void SetUp() override { QDir().mkpath(exportsFolder()); }

    QString deckFile(const QString& relative, const QByteArray& content = "deck")
    {
        writeFile(path(relative), content);
        return path(relative);
    }

    // A one-project package with a deck file, whose manifest a test may then change.
    QJsonObject singleProjectManifest(const QString& assetPath = QStringLiteral("Documents/A/talk.key"))
    {
        PresentationProjectsBackup::Project project = backupProject(QStringLiteral("讲稿"), QStringLiteral("/elsewhere/talk.key"));
        project.deckAssetPath = assetPath;
        return backupOf({project}).toJson();
    }

    static QJsonObject withFirstProject(QJsonObject manifest, const std::function<void(QJsonObject&)>& change)
    {
        QJsonArray projects = manifest.value("projects").toArray();
        QJsonObject first = projects.at(0).toObject();
        change(first);
        projects.replace(0, first);
        manifest.insert("projects", projects);
        return manifest;
    }

    QString importFailure(const QString& packagePath) const { return failureText(ProjectBackupPackage::importBackup(packagePath, nullptr, store())); }

    const QString invalidPackage = ProjectBackupError::invalidPackage().description();
    const QString invalidPath = ProjectBackupError::invalidPresentationPath().description();
    QTemporaryDir dir;
};

} // namespace quorvia::test
