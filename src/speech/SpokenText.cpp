#include "speech/SpokenText.h"

#include <QTextBoundaryFinder>

namespace quorvia::spokentext {

bool isKeptCategory(QChar::Category c)
{
    switch (c) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

QList<int> boundariesBetween(const QString& text, int begin, int end)
{
    QList<int> bounds{begin};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.constData() + begin, end - begin);
    while (finder.toNextBoundary() != -1) {
        const int at = begin + static_cast<int>(finder.position());
        if (at > bounds.last())
            bounds.append(at);
    }
    if (bounds.last() != end)
        bounds.append(end);
    return bounds;
}

QString lowered(QStringView character)
{
    if (character.size() == 1 && isSimpleUnit(character[0].unicode()))
        return QString(QChar(QChar::toLower(character[0].unicode())));
    return character.toString().toLower();
}

bool isKept(QStringView character)
{
    for (char32_t scalar : character.toUcs4()) {
        if (isKeptCategory(QChar::category(scalar)))
            return true;
    }
    return false;
}

QStringList keptCharacters(const QString& text)
{
    QStringList out;
    forEachKept(text, [&](QStringView c, int) { out.append(c.toString()); });
    return out;
}

QString compact(const QString& text)
{
    QString out;
    forEachKept(text, [&](QStringView c, int) { out += c; });
    return out;
}

int CharacterTable::idOf(QStringView loweredCharacter)
{
    if (loweredCharacter.size() == 1 && isSimpleUnit(loweredCharacter[0].unicode()))
        return loweredCharacter[0].unicode();
    const QString composed = loweredCharacter.toString().normalized(QString::NormalizationForm_C);
    if (composed.size() == 1 && !composed[0].isSurrogate())
        return composed[0].unicode();
    if (composed.size() == 2 && composed[0].isHighSurrogate() && composed[1].isLowSurrogate())
        return static_cast<int>(QChar::surrogateToUcs4(composed[0], composed[1]));
    const auto found = ids_.constFind(composed);
    if (found != ids_.constEnd())
        return found.value();
    const int id = next_++;
    ids_.insert(composed, id);
    return id;
}

} // namespace quorvia::spokentext
