#pragma once

#include <QIcon>
#include <QString>

namespace quorvia::platform {

// The application's own icon: windows, the About panel and the status icon.
QIcon applicationIcon();
// A backup package, as the choosers and the desktop show one: a folder with
// this extension, of its own file type, with its own icon.
QIcon backupPackageIcon();
QString backupPackageExtension();
QString backupPackageTypeName();

} // namespace quorvia::platform
