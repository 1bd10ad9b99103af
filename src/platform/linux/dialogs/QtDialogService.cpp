#include "platform/linux/dialogs/QtDialogService.h"

#include "platform/settings/DefaultsStore.h"
#include "platform/displays/DisplayService.h"
#include "platform/core/MainQueue.h"
#include "platform/Platform.h"
#include "platform/desktop/ScreenSpace.h"
#include "platform/desktop/Window.h"
#include "platform/linux/dialogs/QtPackageFileDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <QCoreApplication>
#include <QSettings>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <thread>

namespace quorvia::platform::native {

namespace {

// Shown again after a hide, Qt hands the focused field a tab focus, which
// selects a line edit's whole text: the next key would replace what the
// speaker typed. A show leaves the text, caret and selection as they were.
class AlertDialog final : public QDialog {
public:
    using QDialog::QDialog;
    QPointer<QLineEdit> field;

    void setVisible(bool visible) override
    {
        if (!visible || !field || field->hasSelectedText()) {
            QDialog::setVisible(visible);
            return;
        }
        const int caret = field->cursorPosition();
        QDialog::setVisible(true);
        field->deselect();
        field->setCursorPosition(caret);
    }
};

QDialog* makeAlert(const AlertRequest& request, QWidget* owner, QLineEdit** field, int* answer)
{
    auto* dialog = new AlertDialog(owner, Qt::Dialog | Qt::WindowStaysOnTopHint);
    dialog->setWindowTitle(QApplication::applicationName());
    dialog->setModal(true);

    auto* icon = new QLabel;
    const auto pixmap = request.style == AlertStyle::warning ? QStyle::SP_MessageBoxWarning
                                                             : QStyle::SP_MessageBoxInformation;
    icon->setPixmap(dialog->style()->standardIcon(pixmap).pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);

    auto* message = new QLabel(request.messageText);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    message->setWordWrap(true);
    auto* informative = new QLabel(request.informativeText);
    informative->setWordWrap(true);
    // Shown while it has no parent yet, it would be a window of its own, on
    // no screen of our choosing and in every capture.
    if (request.informativeText.isEmpty())
        informative->hide();

    auto* texts = new QVBoxLayout;
    texts->addWidget(message);
    texts->addWidget(informative);
    if (request.textField) {
        auto* edit = new QLineEdit(request.textField->initialValue);
        edit->setPlaceholderText(request.textField->placeholder);
        edit->setFixedWidth(static_cast<int>(request.textField->width));
        if (request.textField->selectsAll)
            edit->selectAll();
        texts->addWidget(edit);
        *field = edit;
        dialog->field = edit;
    }

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(texts, 1);

    // The first button sits at the trailing end and answers Return.
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (int i = static_cast<int>(request.buttons.size()) - 1; i >= 0; --i) {
        auto* button = new QPushButton(request.buttons[static_cast<std::size_t>(i)]);
        button->setAutoDefault(i == 0);
        button->setDefault(i == 0);
        QObject::connect(button, &QPushButton::clicked, dialog, [dialog, answer, i] {
            *answer = i;
            dialog->accept();
        });
        buttons->addWidget(button);
    }

    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(top);
    layout->addLayout(buttons);
    // Held at the size its texts need, at least 360 wide: a window manager
    // offers to maximise any window it may resize, whatever its hints say.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    const QMargins margins = layout->contentsMargins();
    layout->addStrut(360 - margins.left() - margins.right());
    return dialog;
}

// A dialog goes to the middle of the speaker's own screen, as alerts do: Qt
// would centre it on its parent, over the island, or without one on the
// primary screen, which may be the audience's.
void placeOnBuiltInScreen(QWidget* dialog)
{
    if (!hasCurrent())
        return;
    for (const Screen& screen : current().displays().screens()) {
        if (!screen.isBuiltIn)
            continue;
        // A size given on purpose (a chooser's) is kept.
        if (!dialog->testAttribute(Qt::WA_Resized))
            dialog->adjustSize();
        QRect frame(QPoint(), dialog->size());
        frame.moveCenter(toQtGlobal(screen.visibleFrame).center());
        dialog->move(frame.topLeft());
        return;
    }
}

// Choosers remember their last folder per kind of file they offer.
QString lastFolderKey(const FileDialogRequest& request)
{
    QStringList kinds;
    for (const auto& extension : request.allowedExtensions)
        kinds << extension.toLower();
    kinds.sort();
    return QStringLiteral("fileDialog.lastFolder.")
        + (kinds.isEmpty() ? QStringLiteral("any") : kinds.join(u'+'));
}

// Checks that have not answered yet: a share that stopped answering holds
// each for minutes, so only a few are ever left waiting at once.
std::atomic<int> checksWaiting{0};
constexpr int maximumChecksWaiting = 4;

const QString chooserWidthKey = QStringLiteral("fileDialog.width");
const QString chooserHeightKey = QStringLiteral("fileDialog.height");

// The size the speaker last left a chooser at, else one that reads every column.
QSize chooserSize()
{
    const QSize fallback = QtPackageFileDialog::readableSize();
    if (!hasCurrent())
        return fallback;
    const qint64 width = current().defaults().integer(chooserWidthKey);
    const qint64 height = current().defaults().integer(chooserHeightKey);
    if (width < 400 || height < 300 || width > 10000 || height > 10000)
        return fallback;
    return QSize(int(width), int(height));
}

void rememberChooserSize(const QSize& size)
{
    if (!hasCurrent())
        return;
    current().defaults().setInteger(chooserWidthKey, size.width());
    current().defaults().setInteger(chooserHeightKey, size.height());
}

// The window an alert or chooser is asked from, which it belongs to: it stands
// above it and comes forward with it. That is where the speaker works, also
// right after a click the server has yet to follow. An overlay is nobody's:
// nothing may pass it.
QWidget* askedFrom()
{
    QWidget* active = Window::speakersWindow();
    const auto* window = qobject_cast<Window*>(active);
    if (!active || !active->isVisible() || (window && window->level() >= Window::overlayLevel))
        return nullptr;
    return active;
}

} // namespace

bool QtDialogService::isPresenting() const
{
    return std::any_of(open_.begin(), open_.end(), [](const QPointer<QDialog>& d) { return d && d->isVisible(); });
}

AlertResponse QtDialogService::runAlert(const AlertRequest& request)
{
    QLineEdit* field = nullptr;
    AlertResponse response;
    const QPointer<QWidget> owner = askedFrom();
    const QPointer<QDialog> dialog = makeAlert(request, owner, &field, &response.buttonIndex);
    const QPointer<QLineEdit> text = field;
    placeOnBuiltInScreen(dialog);
    open_.emplace_back(dialog);
    // Hidden with the private windows, the alert still waits for its answer and
    // comes back with them: only an answer, its owner going, or the end of the
    // application ends it. exec() would end it at the hide.
    QEventLoop loop;
    QObject::connect(dialog.data(), &QDialog::finished, &loop, &QEventLoop::quit);
    QObject::connect(dialog.data(), &QObject::destroyed, &loop, &QEventLoop::quit);
    dialog->show();
    loop.exec(QEventLoop::DialogExec);
    std::erase_if(open_, [&dialog](const QPointer<QDialog>& d) { return !d || d == dialog; });
    Window::handKeyboardBack(owner);
    if (text)
        response.text = text->text();
    delete dialog;
    return response;
}

void QtDialogService::beginOpenPanel(const FileDialogRequest& request, FileCompletion completion)
{
    beginPanel(request, false, std::move(completion));
}

void QtDialogService::beginSavePanel(const FileDialogRequest& request, FileCompletion completion)
{
    beginPanel(request, true, std::move(completion));
}

bool QtDialogService::confirmReplace(const QString& path)
{
    AlertRequest request;
    request.style = AlertStyle::warning;
    request.messageText = QStringLiteral("“%1”已存在。要替换它吗？").arg(QFileInfo(path).fileName());
    request.informativeText = QStringLiteral("替换后，其中原有的内容会被新的内容取代。");
    request.buttons = {QStringLiteral("替换"), QStringLiteral("取消")};
    return runAlert(request).isFirstButton();
}

bool QtDialogService::isFilePanelKey() const
{
    return qobject_cast<QFileDialog*>(Window::windowWithKeyboard()) != nullptr;
}

void QtDialogService::beginPanel(const FileDialogRequest& request, bool saving, FileCompletion completion)
{
    // The last folder of this kind while it still is one, else the home folder.
    const auto last = hasCurrent() ? current().defaults().string(lastFolderKey(request)) : std::nullopt;
    if (!last || last->isEmpty() || checksWaiting.load() >= maximumChecksWaiting) {
        openPanel(request, saving, std::move(completion), QDir::homePath());
        return;
    }

    // Whichever comes first, the answer or the deadline, opens the chooser.
    struct Pending {
        FileDialogRequest request;
        bool saving;
        FileCompletion completion;
        bool opened = false;
    };
    auto pending = std::make_shared<Pending>(Pending{request, saving, std::move(completion)});
    const std::weak_ptr<bool> alive = alive_;
    const auto open = [this, alive, pending](const QString& folder) {
        if (pending->opened || alive.expired())
            return;
        pending->opened = true;
        openPanel(pending->request, pending->saving, std::move(pending->completion), folder);
    };
    auto* deadline = new QTimer;
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, deadline, [open, deadline] {
        open(QDir::homePath());
        deadline->deleteLater();
    });
    deadline->start(std::max(0, static_cast<int>(folderCheckSeconds * 1000)));

    const auto check = checkFolder ? checkFolder : [](const QString& path) { return QFileInfo(path).isDir(); };
    ++checksWaiting;
    const QPointer<QTimer> timer = deadline;
    std::thread([check, path = *last, open, timer] {
        const bool isFolder = check(path);
        --checksWaiting;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [open, timer, isFolder, path] {
                if (!timer)
                    return; // the deadline came first
                timer->stop();
                timer->deleteLater();
                open(isFolder ? path : QDir::homePath());
            },
            Qt::QueuedConnection);
    }).detach();
}

void QtDialogService::openPanel(const FileDialogRequest& request, bool saving, FileCompletion completion, const QString& folder)
{
    // Qt's first dialog in a process starts where any Qt application's dialog
    // last was, looking at that folder on the main thread: make that this one.
    QSettings(QSettings::UserScope, QStringLiteral("QtProject"))
        .setValue(QStringLiteral("FileDialog/lastVisited"), QUrl::fromLocalFile(folder).toString());
    auto* dialog = new QtPackageFileDialog(request.parent, request.title, request.allowedExtensions, folder);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(request.parent ? Qt::WindowModal : Qt::ApplicationModal);
    dialog->setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setDirectory(folder);
    dialog->resize(chooserSize());
    if (saving) {
        dialog->setFileMode(QFileDialog::AnyFile);
        // A name typed bare gets the one kind of file being saved.
        if (request.allowedExtensions.size() == 1)
            dialog->setDefaultSuffix(request.allowedExtensions.front());
    }
    else if (request.canChooseDirectories && request.allowedExtensions.empty())
        dialog->setFileMode(QFileDialog::Directory);
    else
        // Packages among the allowed extensions are picked as files are.
        dialog->setFileMode(request.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog->onConfirmReplace = [this](const QString& path) { return confirmReplace(path); };
    if (saving && request.refuseReplacing) {
        dialog->onCheckReplace = request.refuseReplacing;
        dialog->onRefuseReplace = [this](const QString& path, const QString& reason) {
            AlertRequest refusal;
            refusal.style = AlertStyle::warning;
            refusal.messageText = QStringLiteral("不能替换“%1”").arg(QFileInfo(path).fileName());
            refusal.informativeText = reason;
            refusal.buttons = {QStringLiteral("知道了")};
            runAlert(refusal);
        };
    }
    if (!request.prompt.isEmpty())
        dialog->setAcceptTitle(request.prompt);
    if (!request.allowedExtensions.empty()) {
        QStringList patterns;
        for (const auto& ext : request.allowedExtensions)
            patterns << QStringLiteral("*.") + ext;
        dialog->setNameFilter(patterns.join(u' '));
    }
    if (saving && !request.suggestedName.isEmpty())
        dialog->selectFile(request.suggestedName);
    if (!request.message.isEmpty()) {
        if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
            auto* label = new QLabel(request.message);
            label->setWordWrap(true);
            grid->addWidget(label, grid->rowCount(), 0, 1, -1);
        }
    }

    placeOnBuiltInScreen(dialog);
    open_.emplace_back(dialog);
    const QPointer<QWidget> owner = request.parent ? request.parent : askedFrom();
    QObject::connect(dialog, &QFileDialog::finished, dialog,
                     [this, dialog, owner, key = lastFolderKey(request), completion = std::move(completion)](int result) {
                         std::erase_if(open_, [dialog](const QPointer<QDialog>& d) { return !d || d == dialog; });
                         Window::handKeyboardBack(owner);
                         rememberChooserSize(dialog->size());
                         std::optional<QString> path;
                         const auto files = dialog->selectedFiles();
                         if (result == QDialog::Accepted && !dialog->chosenPackage().isEmpty())
                             path = dialog->chosenPackage();
                         else if (result == QDialog::Accepted && !files.isEmpty())
                             path = files.front();
                         if (path && hasCurrent())
                             current().defaults().setString(key, QFileInfo(*path).absolutePath());
                         // Qt starts its next dialog where its last one was, looking at that folder
                         // on the main thread: leave it home, which our own check never needs.
                         dialog->setDirectory(QDir::homePath());
                         MainQueue::async([completion, path] { completion(path); });
                     });
    dialog->open();
}

} // namespace quorvia::platform::native
