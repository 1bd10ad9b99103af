#include "app/ScriptFileReader.h"

#include "model/ScriptText.h"
#include "platform/files/BoundedFileRead.h"
#include "platform/core/Text.h"

#include <QStringDecoder>

#include <optional>

namespace quorvia {

namespace {

const QString unreadable = QStringLiteral("无法读取所选文件。");
const QString tooLarge = QStringLiteral("文件超过 16 MB，无法作为稿件上传。");

// A binary file decodes as UTF-8 often enough (NUL bytes do), and would show
// as rows of boxes: only tabs and line or paragraph breaks may stand among the text.
std::optional<QString> controlCharacterProblem(const QString& text)
{
    qsizetype line = 1;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n')
            ++line;
        const bool control = u < 0x20 || (u >= 0x7F && u <= 0x9F);
        if (control && u != u'\t' && !platform::text::isNewline(u))
            return QStringLiteral("文件第 %1 行含有控制字符 U+%2，不是纯文本稿件；当前稿件保持不变。")
                .arg(line)
                .arg(QString::number(u, 16).toUpper().rightJustified(4, u'0'));
    }
    return std::nullopt;
}

} // namespace

std::expected<QString, QString> ScriptFileReader::read(const QString& path)
{
    // Opened without waiting, then judged by what was opened: an item swapped
    // in after a check by name could be a pipe that blocks the reader for ever.
    // The file may also grow after it was measured.
    const auto read = platform::readBoundedFile(path, maximumBytes);
    switch (read.outcome) {
    case platform::BoundedFileRead::Outcome::read:
        break;
    case platform::BoundedFileRead::Outcome::missing:
        return std::unexpected(QStringLiteral("找不到所选文件。"));
    case platform::BoundedFileRead::Outcome::notRegular:
        return std::unexpected(QStringLiteral("所选项目不是普通文件。"));
    case platform::BoundedFileRead::Outcome::tooLarge:
        return std::unexpected(tooLarge);
    case platform::BoundedFileRead::Outcome::failed:
        return std::unexpected(unreadable);
    }
    const QByteArray& bytes = read.bytes;

    // Stateless, so a sequence cut off at the end counts as an error too.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::unexpected(QStringLiteral("文件不是有效的 UTF-8 文本。"));
    if (auto problem = controlCharacterProblem(text))
        return std::unexpected(*problem);
    if (auto problem = ScriptText::sizeProblem(text))
        return std::unexpected(*problem);
    return text;
}

} // namespace quorvia
