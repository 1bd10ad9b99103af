#pragma once

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

// Failures show a QString as its text and a QByteArray as its bytes, as a
// std::string's are shown, rather than as their insides; so each entry of a
// QStringList too. Included by every test file that compares either.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << ::testing::PrintToString(std::string(bytes.constData(), std::size_t(bytes.size())));
}
