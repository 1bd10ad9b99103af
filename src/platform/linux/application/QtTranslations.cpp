#include "platform/linux/application/QtTranslations.h"

#include <QCoreApplication>
#include <QHash>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace quorvia::platform::native {

namespace {

// Qt's texts that its Chinese catalogue has no entry for; the choosers show
// them in their type column and for places.
class MissingChinese final : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        static const QHash<QByteArray, QString> table{
            {"QAbstractFileIconProvider\nFolder", QStringLiteral("文件夹")},
            {"QAbstractFileIconProvider\nDrive", QStringLiteral("驱动器")},
            {"QAbstractFileIconProvider\nFile", QStringLiteral("文件")},
            {"QAbstractFileIconProvider\n%1 File", QStringLiteral("%1 文件")},
            {"QAbstractFileIconProvider\nShortcut", QStringLiteral("快捷方式")},
            {"QAbstractFileIconProvider\nUnknown", QStringLiteral("未知")},
            {"QFileDialog\nShortcut", QStringLiteral("快捷方式")},
        };
        if (!context || !sourceText)
            return {};
        return table.value(QByteArray(context) + '\n' + sourceText);
    }

    bool isEmpty() const override { return false; }
};

} // namespace

QTranslator* QtTranslations::installChinese(QCoreApplication& application)
{
    // Installed first, so Qt's own catalogue is asked before it.
    auto* missing = new MissingChinese(&application);
    QCoreApplication::installTranslator(missing);
    auto* translator = new QTranslator(&application);
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

} // namespace quorvia::platform::native
