#include "app/ScriptFileReader.h"

#include "model/ScriptText.h"
#include "platform/Text.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvia {

namespace {

const QString unreadable = QStringLiteral("无法读取所选文件。");
const QString tooLarge = QStringLiteral("文件超过 16 MB，无法作为稿件上传。");

// Closes the descriptor however the read ends.
struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

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
    const Descriptor file{::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    if (file.fd < 0)
        return std::unexpected(errno == ENOENT || errno == ENOTDIR ? QStringLiteral("找不到所选文件。") : unreadable);
    struct stat status {};
    if (::fstat(file.fd, &status) != 0)
        return std::unexpected(unreadable);
    if (!S_ISREG(status.st_mode))
        return std::unexpected(QStringLiteral("所选项目不是普通文件。"));
    if (status.st_size > maximumBytes)
        return std::unexpected(tooLarge);

    // The file may have grown since it was measured.
    QByteArray bytes(maximumBytes + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const ssize_t n = ::read(file.fd, bytes.data() + filled, static_cast<size_t>(bytes.size() - filled));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::unexpected(unreadable);
        if (n == 0)
            break;
        filled += n;
    }
    if (filled > maximumBytes)
        return std::unexpected(tooLarge);
    bytes.truncate(filled);

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
