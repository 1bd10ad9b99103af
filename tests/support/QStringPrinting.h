#pragma once

#include <QString>

#include <ostream>

// Failures show a QString as its text, not as its bytes, and so each text of
// a QStringList. Every test file has this through the tests' precompiled
// header (cmake/QuorviaPrecompiledHeaders.cmake).
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
