#pragma once

#include <QPoint>
#include <QSize>

namespace quorvia::test::controls {

// Centres of the application's controls inside their windows, as it lays them
// out, for driving the real executable with the pointer.
namespace island {
inline const QPoint privacyButton(556, 93);
inline const QPoint gear(603, 31);
inline const QPoint editBlock(93, 461);
inline const QPoint detach(545, 461);
} // namespace island

namespace settings {
inline const QPoint createProject(388, 213);
inline const QPoint scriptManagement(48, 293);
inline const QPoint exportBackup(388, 253);
inline const QPoint importBackup(508, 253);
inline const QPoint audioDevices(458, 333);
inline const QPoint importKeynote(558, 293);
} // namespace settings

namespace scriptManagement {
inline const QPoint deleteAll(367, 151);
inline const QPoint addDemo(132, 193);
}

namespace prompter {
inline const QPoint collapse(521, 30);
inline const QPoint autoScroll(89, 373);
// Where the script's lines stand.
inline const int scriptTop = 70;
inline const int scriptBottom = 200;
} // namespace prompter

namespace scriptEditor {
inline const QPoint label(340, 81);
// From the bottom-right corner: a window manager's title bar makes the window shorter.
inline QPoint cancel(QSize window) { return {window.width() - 159, window.height() - 30}; }
inline QPoint save(QSize window) { return {window.width() - 64, window.height() - 30}; }
} // namespace scriptEditor

namespace audioSetup {
inline const QPoint done(61, 321);
}

namespace overlay {
inline const QPoint retry(1163, 612);
inline const QPoint stopAndReturn(756, 655);
inline const QPoint temporaryExit(1163, 655);
}

} // namespace quorvia::test::controls
