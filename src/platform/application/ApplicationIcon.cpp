#include "platform/application/ApplicationIcon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// Outside any namespace, as the resource's initialiser must be.
static void initialiseIconResources() { Q_INIT_RESOURCE(icons); }

namespace quorvia::platform {

namespace {

// Draws the picture at whatever size is asked for, only when it is drawn: an
// icon made on a chooser's file-reading thread holds no pixmap yet, and no
// icon engine plugin is needed.
class SvgIconEngine final : public QIconEngine {
public:
    explicit SvgIconEngine(QString path) : path_(std::move(path)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        QSvgRenderer renderer(path_);
        renderer.render(painter, QRectF(rect));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new SvgIconEngine(path_); }
    bool isNull() override { return !QSvgRenderer(path_).isValid(); }

private:
    QString path_;
};

QIcon load(const QString& path)
{
    // A static library's resources are linked in only when asked for.
    static const bool initialised = (initialiseIconResources(), true);
    (void)initialised;
    return QIcon(new SvgIconEngine(path));
}

} // namespace

QIcon applicationIcon() { return load(QStringLiteral(":/icons/quorvia.svg")); }

QIcon backupPackageIcon() { return load(QStringLiteral(":/icons/quorvia-backup.svg")); }

QString backupPackageExtension() { return QStringLiteral("quorviabackup"); }

QString backupPackageTypeName() { return QStringLiteral("Quorvia 演讲项目备份"); }

} // namespace quorvia::platform
