#include "prompter/TimelineStripView.h"

#include "model/PromptScript.h"
#include "model/PromptScriptNotifications.h"
#include "platform/core/NotificationCenter.h"
#include "prompter/TimelineStripCanvas.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"
#include "support/TestPlatform.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QProcess>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <gtest/gtest.h>

using namespace quorvia;

namespace {

QString at(QPoint p)
{
    return QString::number(p.x()) + QLatin1Char(' ') + QString::number(p.y());
}

} // namespace

// A real drag on the X server: a card of the prompter's strip is pressed,
// moved and released over the panel's strip, while spoken progress rebuilds
// every card of both strips many times during the drag.
TEST(TimelineStripDrag, ARealDragSurvivesRebuildsAndMovesTheBlock)
{
    test::TestPlatform platform;
    PromptScript script(platform.defaults());
    script.replaceText(QStringLiteral("1\n一\n---\n2\n二\n---\nDemo\n演示\n---\n3\n三"));

    QWidget host;
    host.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* panel = new TimelineStripView(TimelineStripDensity::regular);
    auto* prompter = new TimelineStripView(TimelineStripDensity::compact);
    panel->setFixedHeight(int(timelineTotalHeight(TimelineStripDensity::regular)));
    prompter->setFixedHeight(int(timelineTotalHeight(TimelineStripDensity::compact)));
    layout->addWidget(panel);
    layout->addWidget(prompter);
    auto reloadBoth = [&] {
        panel->reload(script.timelineBlocks(), int(script.currentIndex()));
        prompter->reload(script.timelineBlocks(), int(script.currentIndex()));
    };
    for (TimelineStripView* strip : {panel, prompter})
        strip->onMove = [&](int from, int to) { script.moveBlock(from, to); };
    auto observation = platform::NotificationCenter::defaultCenter().observe(
        NotificationName::promptScriptChanged, &script, [&](const platform::Notification&) { reloadBoth(); });
    reloadBoth();
    host.setGeometry(40, 40, 480, 160);
    host.show();
    ASSERT_TRUE(test::waitUntil(
        [&] { return host.isVisible() && host.windowHandle() && host.windowHandle()->isExposed(); }));
    test::runEventsFor(200);

    // Spoken progress arrives all through the drag; a loaded machine may
    // take in the whole drag between two of the timer's turns, so the drag's
    // own loop is handed one rebuild as it starts.
    int rebuilds = 0;
    int rebuildsWhileDragging = 0;
    const auto progressOnce = [&] {
        script.setSpeechProgress(++rebuilds, 0, false);
        reloadBoth();
        rebuildsWhileDragging += prompter->canvas()->isDragging();
    };
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, &progress, progressOnce);
    progress.start(15);

    int drags = 0;
    const auto runPlatformDrag = prompter->canvas()->runDrag;
    prompter->canvas()->runDrag = [&](QDrag& drag) {
        ++drags;
        QTimer::singleShot(0, &host, progressOnce);
        runPlatformDrag(drag);
    };
    const QPoint from = prompter->canvas()->mapToGlobal(prompter->canvas()->card(0).frame.center());
    const QPoint to = panel->canvas()->mapToGlobal(QPoint(panel->canvas()->width() - 5, 15));
    QProcess xdotool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), qEnvironmentVariable("DISPLAY"));
    xdotool.setProcessEnvironment(environment);
    xdotool.start(QStringLiteral("sh"),
                  {QStringLiteral("-c"),
                   QStringLiteral("xdotool mousemove %1 && sleep 0.2 && xdotool mousedown 1 && sleep 0.2 && "
                                  "xdotool mousemove %2 && sleep 0.2 && xdotool mousemove %3 && sleep 0.3 && "
                                  "xdotool mousemove %4 && sleep 0.3 && xdotool mouseup 1")
                       .arg(at(from), at(from + QPoint(6, 0)), at((from + to) / 2), at(to))});
    ASSERT_TRUE(xdotool.waitForStarted(60000));
    const bool finished = test::waitUntil([&] { return xdotool.state() == QProcess::NotRunning; });
    progress.stop();
    ASSERT_TRUE(finished);
    ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
    test::waitUntil([&] { return !prompter->canvas()->isDragging(); });

    EXPECT_EQ(drags, 1);
    EXPECT_GE(rebuildsWhileDragging, 1);
    QStringList labels;
    for (const auto& block : script.timelineBlocks())
        labels.append(block.label);
    EXPECT_EQ(labels, (QStringList{"2", "Demo", "3", "1"}));
    EXPECT_EQ(panel->canvas()->cardTitle(3).text, QStringLiteral("1"));
}
