#include "model/PresentationDeck.h"

#include "model/FilePaths.h"
#include "model/JsonFields.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace quorvia {

namespace {

struct FileAttributes {
    std::optional<qint64> size;
    std::optional<double> modificationTime;
};

FileAttributes readAttributes(const QString& path)
{
    QFileInfo info(path);
    if (!info.exists())
        return {};
    FileAttributes attributes;
    attributes.size = info.size();
    const QDateTime modified = info.fileTime(QFileDevice::FileModificationTime);
    if (modified.isValid())
        attributes.modificationTime = static_cast<double>(modified.toMSecsSinceEpoch()) / 1000.0;
    return attributes;
}

} // namespace

PresentationDeck PresentationDeck::keynoteDocument(const QString& filePath, qint64 slideCount)
{
    const FileAttributes attributes = readAttributes(filePath);
    PresentationDeck deck;
    deck.filePath = filePath;
    deck.fileName = paths::lastPathComponent(filePath);
    deck.fileSize = attributes.size.value_or(0);
    deck.modificationTime = attributes.modificationTime.value_or(0.0);
    const qint64 count = std::max<qint64>(slideCount, 1);
    deck.slides.reserve(static_cast<std::size_t>(std::min<qint64>(count, 100000)));
    for (qint64 n = 1; n <= count; ++n)
        deck.slides.push_back(PresentationSlide{n, QString()});
    return deck;
}

PresentationDeck PresentationDeck::relocated(const QString& newFilePath) const
{
    const FileAttributes attributes = readAttributes(newFilePath);
    PresentationDeck deck = *this;
    deck.filePath = newFilePath;
    deck.fileName = paths::lastPathComponent(newFilePath);
    deck.fileSize = attributes.size.value_or(fileSize);
    deck.modificationTime = attributes.modificationTime.value_or(modificationTime);
    return deck;
}

QString PresentationDeck::identity() const
{
    // The shortest form that reads back as the same number, positional within the
    // usual range (a whole number keeps ".0"), scientific beyond it.
    const double magnitude = std::abs(modificationTime);
    const bool positional = magnitude < 1e16 && (magnitude == 0 || magnitude >= 1e-4);
    QString time = QString::number(modificationTime, positional ? 'f' : 'g', QLocale::FloatingPointShortest);
    if (positional && !time.contains(u'.'))
        time += QStringLiteral(".0");
    const QChar separator(0x1F);
    return filePath + separator + QString::number(fileSize) + separator + time;
}

QJsonObject PresentationDeck::toJson() const
{
    return QJsonObject{
        {QStringLiteral("filePath"), filePath},
        {QStringLiteral("fileName"), fileName},
        {QStringLiteral("fileSize"), fileSize},
        {QStringLiteral("modificationTime"), json::fromDouble(modificationTime)},
        {QStringLiteral("slides"), json::fromArray(slides, [](const PresentationSlide& s) { return s.toJson(); })},
    };
}

std::optional<PresentationDeck> PresentationDeck::fromJson(const QJsonValue& value)
{
    json::Fields fields(value);
    PresentationDeck deck;
    deck.filePath = fields.required(QStringLiteral("filePath"), json::toString);
    deck.fileName = fields.required(QStringLiteral("fileName"), json::toString);
    deck.fileSize = fields.required(QStringLiteral("fileSize"), json::toInteger);
    deck.modificationTime = fields.required(QStringLiteral("modificationTime"), json::toNumber);
    deck.slides = fields.required(QStringLiteral("slides"), [](const QJsonValue& v) { return json::toArray(v, PresentationSlide::fromJson); });
    if (!fields.ok())
        return std::nullopt;
    return deck;
}

} // namespace quorvia
