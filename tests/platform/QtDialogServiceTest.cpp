#include "platform/linux/QtDialogService.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

using namespace quorvia::platform;
using quorvia::platform::native::QtDialogService;

namespace {

QDialog* openAlert()
{
    for (auto* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

// The alert's buttons from left to right.
std::vector<QPushButton*> buttonsLeftToRight(QDialog* dialog)
{
    const auto found = dialog->findChildren<QPushButton*>();
    std::vector<QPushButton*> buttons(found.begin(), found.end());
    std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
    return buttons;
}

// Runs while the alert is up, then lets runAlert return.
void whileAlertIsUp(std::function<void(QDialog*)> act)
{
    QTimer::singleShot(0, [act] {
        QDialog* dialog = openAlert();
        ASSERT_NE(dialog, nullptr);
        act(dialog);
    });
}

} // namespace

TEST(QtDialogServiceTest, keepsButtonOrderWithTheFirstAtTheTrailingEndAndAnswersByIndex)
{
    QtDialogService service;
    AlertRequest request;
    request.style = AlertStyle::warning;
    request.messageText = QStringLiteral("删除全部稿件块？");
    request.informativeText = QStringLiteral("数字块和演示块都会删除。");
    request.buttons = {QStringLiteral("全部删除"), QStringLiteral("取消")};

    QStringList titles;
    bool presentingWhileUp = false;
    whileAlertIsUp([&](QDialog* dialog) {
        presentingWhileUp = service.isPresenting();
        auto buttons = buttonsLeftToRight(dialog);
        for (auto* button : buttons)
            titles << button->text();
        EXPECT_TRUE(buttons.back()->isDefault());
        dialog->grab().save(QStringLiteral("/tmp/quorvia-alert.png"));
        buttons.back()->click();
    });
    const auto answer = service.runAlert(request);
    EXPECT_EQ(titles, (QStringList{QStringLiteral("取消"), QStringLiteral("全部删除")}));
    EXPECT_EQ(answer.buttonIndex, 0);
    EXPECT_TRUE(answer.isFirstButton());
    EXPECT_TRUE(presentingWhileUp);
    EXPECT_FALSE(service.isPresenting());

    whileAlertIsUp([](QDialog* dialog) { buttonsLeftToRight(dialog).front()->click(); });
    EXPECT_EQ(service.runAlert(request).buttonIndex, 1);

    whileAlertIsUp([](QDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(service.runAlert(request).buttonIndex, -1);
}

TEST(QtDialogServiceTest, textFieldStartsWithItsValueAndAnswersWhatWasTypedUntrimmed)
{
    QtDialogService service;
    AlertRequest request;
    request.messageText = QStringLiteral("新建演讲项目");
    request.buttons = {QStringLiteral("新建"), QStringLiteral("取消")};
    request.textField = AlertRequest::TextField{QStringLiteral("新演讲 3"), {}, 320, true};

    QString initial;
    bool selected = false;
    whileAlertIsUp([&](QDialog* dialog) {
        auto* field = dialog->findChild<QLineEdit*>();
        ASSERT_NE(field, nullptr);
        initial = field->text();
        selected = field->hasSelectedText() && field->selectedText() == initial;
        dialog->grab().save(QStringLiteral("/tmp/quorvia-alert-field.png"));
        field->setText(QStringLiteral("  年会  "));
        buttonsLeftToRight(dialog).back()->click();
    });
    const auto answer = service.runAlert(request);
    EXPECT_EQ(initial, QStringLiteral("新演讲 3"));
    EXPECT_TRUE(selected);
    EXPECT_EQ(answer.buttonIndex, 0);
    EXPECT_EQ(answer.text, QStringLiteral("  年会  "));
}
