#include "app/ApplicationAppearance.h"

#include "platform/desktop/Popover.h"
#include "platform/linux/dialogs/QtDialogService.h"
#include "look/DarkColours.h"
#include "support/FakeDisplayService.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "support/TestPlatform.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

bool hasHan(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.script() == QChar::Script_Han; });
}

class ApplicationAppearanceTest : public ::testing::Test {
protected:
    ApplicationAppearanceTest() : savedPalette_(QApplication::palette())
    {
        auto displays = std::make_shared<test::FakeDisplayService>();
        displays->setScreens({test::FakeDisplayService::builtIn()});
        env.platform().displayService = displays;
        ApplicationAppearance::apply(*qApp);
    }
    ~ApplicationAppearanceTest() override
    {
        QApplication::setPalette(savedPalette_);
        for (auto* translator : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }

    static QColor dark() { return dark_colours::darkAppearance().color(QPalette::Window); }

    test::TestPlatform env;
    QPalette savedPalette_;
};

} // namespace

TEST_F(ApplicationAppearanceTest, QtsOwnFileDialogSpeaksChinese)
{
    QFileDialog dialog(nullptr, QStringLiteral("上传当前演讲项目的稿件"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("上传"));
    for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
        auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_NE(label, nullptr) << name;
        EXPECT_TRUE(hasHan(label->text())) << name << ": " << label->text().toStdString();
    }
    auto* box = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(box, nullptr);
    ASSERT_NE(box->button(QDialogButtonBox::Cancel), nullptr);
    EXPECT_TRUE(hasHan(box->button(QDialogButtonBox::Cancel)->text())) << box->button(QDialogButtonBox::Cancel)->text().toStdString();
    EXPECT_EQ(dialog.palette().color(QPalette::Window), dark());
    dialog.resize(640, 420);
    dialog.show();
    test::keepSnapshot(dialog.grab(), QStringLiteral("file-dialog"));
}

TEST_F(ApplicationAppearanceTest, AlertsPopUpListsAndPopoversAreDark)
{
    platform::native::QtDialogService service;
    platform::AlertRequest request;
    request.style = platform::AlertStyle::warning;
    request.messageText = QStringLiteral("删除全部稿件块？");
    request.informativeText = QStringLiteral("数字块和演示块都会删除。");
    request.buttons = {QStringLiteral("全部删除"), QStringLiteral("取消")};
    QColor alertWindow;
    QTimer::singleShot(0, [&] {
        auto* alert = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(alert, nullptr);
        alertWindow = alert->palette().color(QPalette::Window);
        test::keepSnapshot(alert->grab(), QStringLiteral("alert-dark"));
        alert->reject();
    });
    service.runAlert(request);
    EXPECT_EQ(alertWindow, dark());

    QComboBox projects;
    projects.addItems({QStringLiteral("默认演讲"), QStringLiteral("年会主题演讲")});
    projects.show();
    projects.showPopup();
    QWidget* list = projects.view()->window();
    ASSERT_NE(list, &projects);
    EXPECT_EQ(projects.view()->palette().color(QPalette::Base), dark_colours::darkAppearance().color(QPalette::Base));
    EXPECT_EQ(list->palette().color(QPalette::Window), dark());
    test::keepSnapshot(list->grab(), QStringLiteral("project-popup"));
    projects.hidePopup();

    platform::Popover popover(new QLabel(QStringLiteral("提词窗设置")));
    EXPECT_EQ(popover.palette().color(QPalette::Window), dark());
    EXPECT_EQ(popover.contentView()->palette().color(QPalette::WindowText),
              dark_colours::darkAppearance().color(QPalette::WindowText));
}
