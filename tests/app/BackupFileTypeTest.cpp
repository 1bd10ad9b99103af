#include "model/ProjectBackupPackage.h"
#include "platform/application/ApplicationIcon.h"
#include "support/QtPrinting.h"

#include <QFile>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

struct DeclaredType {
    QString name;
    QStringList globs;
    QString icon;
    QString parent;
};

// The types the installed shared MIME info declares.
std::vector<DeclaredType> declaredTypes()
{
    QFile file(QStringLiteral(QUORVIA_SOURCE_DIR "/data/quorvia-backup.xml"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    std::vector<DeclaredType> types;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = xml.name();
        if (name == u"mime-type")
            types.push_back({xml.attributes().value(QStringLiteral("type")).toString(), {}, {}, {}});
        else if (name == u"glob" && !types.empty())
            types.back().globs << xml.attributes().value(QStringLiteral("pattern")).toString();
        else if (name == u"icon" && !types.empty())
            types.back().icon = xml.attributes().value(QStringLiteral("name")).toString();
        else if (name == u"sub-class-of" && !types.empty())
            types.back().parent = xml.attributes().value(QStringLiteral("type")).toString();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return types;
}

} // namespace

TEST(BackupFileType, TheInstalledTypeIsTheOneThePackageAndTheChoosersUse)
{
    const auto types = declaredTypes();
    ASSERT_EQ(types.size(), 1u);
    const DeclaredType& type = types.front();
    EXPECT_EQ(type.name, ProjectBackupPackage::contentType);
    EXPECT_EQ(type.globs, QStringList{QStringLiteral("*.") + ProjectBackupPackage::filenameExtension});
    EXPECT_EQ(type.parent, QStringLiteral("inode/directory"));
    // Icons of a type are named after it, its slash a dash.
    EXPECT_EQ(type.icon, QString(ProjectBackupPackage::contentType).replace(u'/', u'-'));
    EXPECT_EQ(platform::backupPackageExtension(), ProjectBackupPackage::filenameExtension);
}
