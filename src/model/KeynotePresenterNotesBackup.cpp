#include "model/KeynotePresenterNotesBackup.h"

#include "model/FilePaths.h"
#include "model/JsonFields.h"
#include "model/WholeNumber.h"
#include "platform/core/Text.h"


namespace quorvia {


bool KeynotePresenterNotesBackup::matches(const QString& otherName, const std::optional<QString>& otherPath, qint64 otherSlideCount) const
{
    if (otherSlideCount != slideCount)
        return false;
    if (documentPath && otherPath)
        return paths::standardized(*documentPath) == paths::standardized(*otherPath);
    return platform::text::compareCaseDiacriticInsensitive(documentName, otherName) == 0;
}

KeynotePresenterNotesBackup KeynotePresenterNotesBackup::relocated(const QString& filePath) const
{
    KeynotePresenterNotesBackup copy = *this;
    copy.documentName = paths::lastPathComponent(filePath);
    copy.documentPath = filePath;
    return copy;
}

KeynotePresenterNotesBackup KeynotePresenterNotesBackup::relocated(const QString& filePath, const PresentationDeck& boundDeck) const
{
    if (matches(boundDeck.fileName, boundDeck.filePath, boundDeck.slideCount()))
        return relocated(filePath);
    return *this;
}

QJsonObject KeynotePresenterNotesBackup::toJson() const
{
    QJsonObject notes;
    for (const auto& [slide, text] : notesBySlide)
        notes.insert(QString::number(slide), text);
    QJsonObject object{
        {QStringLiteral("documentName"), documentName},
        {QStringLiteral("slideCount"), slideCount},
        {QStringLiteral("notesBySlide"), notes},
    };
    if (documentPath)
        object.insert(QStringLiteral("documentPath"), *documentPath);
    return object;
}

std::optional<KeynotePresenterNotesBackup> KeynotePresenterNotesBackup::fromJson(const QJsonValue& value)
{
    json::Fields fields(value);
    KeynotePresenterNotesBackup backup;
    backup.documentName = fields.required(QStringLiteral("documentName"), json::toString);
    backup.documentPath = fields.optional(QStringLiteral("documentPath"), json::toString);
    backup.slideCount = fields.required(QStringLiteral("slideCount"), json::toInteger);
    backup.notesBySlide = fields.required(QStringLiteral("notesBySlide"), [](const QJsonValue& v) -> std::optional<std::map<qint64, QString>> {
        if (!v.isObject())
            return std::nullopt;
        std::map<qint64, QString> notes;
        const QJsonObject object = v.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            const auto slide = parseWholeNumber(it.key());
            const auto text = json::toString(it.value());
            if (!slide || !text)
                return std::nullopt;
            notes[*slide] = *text;
        }
        return notes;
    });
    if (!fields.ok())
        return std::nullopt;
    return backup;
}

} // namespace quorvia
