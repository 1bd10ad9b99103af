#include "app/ScriptFileReader.h"

#include <QFile>
#include <QStringDecoder>

#include <filesystem>
#include <system_error>

namespace quorvia {

std::expected<QString, QString> ScriptFileReader::read(const QString& path)
{
    std::error_code error;
    const std::filesystem::path file(path.toStdU16String());
    const auto status = std::filesystem::status(file, error);
    if (error)
        return std::unexpected(QStringLiteral("找不到所选文件。"));
    if (!std::filesystem::is_regular_file(status))
        return std::unexpected(QStringLiteral("所选项目不是普通文件。"));
    const auto size = std::filesystem::file_size(file, error);
    if (error)
        return std::unexpected(QStringLiteral("无法读取所选文件。"));
    if (size > static_cast<std::uintmax_t>(maximumBytes))
        return std::unexpected(QStringLiteral("文件超过 16 MB，无法作为稿件上传。"));

    QFile handle(path);
    if (!handle.open(QIODevice::ReadOnly))
        return std::unexpected(QStringLiteral("无法读取所选文件。"));
    // The file may have grown since it was measured.
    const QByteArray bytes = handle.read(maximumBytes + 1);
    if (bytes.size() > maximumBytes)
        return std::unexpected(QStringLiteral("文件超过 16 MB，无法作为稿件上传。"));
    if (handle.error() != QFileDevice::NoError)
        return std::unexpected(QStringLiteral("无法读取所选文件。"));

    // Stateless, so a sequence cut off at the end counts as an error too.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::unexpected(QStringLiteral("文件不是有效的 UTF-8 文本。"));
    return text;
}

} // namespace quorvia
