# Nearly all compile time went to reading the same Qt, standard and test
# headers again in every file; each set is compiled once and shared.

set(QUORVIA_PCH_HEADERS
  <QByteArray> <QCoreApplication> <QDir> <QFile> <QFileInfo> <QGuiApplication>
  <QHBoxLayout> <QHash> <QJsonObject> <QJsonValue> <QLabel> <QObject> <QPainter>
  <QPointer> <QPushButton> <QScreen> <QSet> <QString> <QStringList> <QUuid>
  <QVBoxLayout> <QWidget>
  <algorithm> <cmath> <cstdint> <expected> <functional> <map> <memory> <mutex>
  <optional> <vector>)

set(QUORVIA_TEST_PCH_HEADERS ${QUORVIA_PCH_HEADERS}
  <gtest/gtest.h> <gmock/gmock.h>
  <QApplication> <QDeadlineTimer> <QElapsedTimer> <QImage> <QProcess>
  <QTemporaryDir> <QThread> <QTimer>
  <atomic> <chrono> <thread>)

# The first target builds the header; the rest reuse it, since they are
# compiled with the same flags and definitions.
function(quorvia_precompile target owner headers)
  if(target STREQUAL owner)
    target_precompile_headers(${target} PRIVATE ${${headers}})
  else()
    target_precompile_headers(${target} REUSE_FROM ${owner})
  endif()
endfunction()
