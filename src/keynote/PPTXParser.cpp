#include "keynote/PPTXParser.h"

#include "keynote/PPTXParserXml.h"
#include "platform/files/BoundedFileRead.h"
#include "platform/files/FileDescriptor.h"
#include "platform/core/Text.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

namespace quorvia {
namespace {

const QString unzipPath = QStringLiteral("/usr/bin/unzip");

// unzip reads entry names as patterns: escape its wildcard characters so a
// name selects only the entry spelled exactly so, and keep a leading dash
// from being read as an option.
QString literalEntryPattern(const QString& entry)
{
    QString out;
    out.reserve(entry.size() + 4);
    for (qsizetype i = 0; i < entry.size(); ++i) {
        const QChar c = entry.at(i);
        if (c == u'\\' || c == u'*' || c == u'?' || c == u'[' || c == u']' || (i == 0 && c == u'-'))
            out.append(u'\\');
        out.append(c);
    }
    return out;
}

int hexValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// Nothing on an invalid escape or when the bytes are not UTF-8.
std::optional<QString> percentDecoded(const QString& text)
{
    if (!text.contains(u'%'))
        return text;
    QByteArray bytes;
    const QByteArray utf8 = text.toUtf8();
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '%') {
            bytes.append(utf8[i]);
            continue;
        }
        if (i + 2 >= utf8.size())
            return std::nullopt;
        const int hi = hexValue(QChar::fromLatin1(utf8[i + 1]));
        const int lo = hexValue(QChar::fromLatin1(utf8[i + 2]));
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes.append(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return decoded;
}

QString slideText(const QStringList& runs)
{
    QStringList lines;
    for (const QString& run : runs) {
        const QString trimmed = platform::text::trimmedWhitespaceAndNewlines(run);
        if (!trimmed.isEmpty())
            lines.append(trimmed);
    }
    return lines.join(u'\n');
}

} // namespace

std::expected<PresentationDeck, PPTXParseFailure> PPTXParser::parse(const QString& filePath)
{
    const QFileInfo info(filePath);
    if (info.suffix().toLower() != QStringLiteral("pptx"))
        return std::unexpected(PPTXParserError::unreadableArchive);
    // The deck records where the file is, whatever the working folder.
    const QString path = info.absoluteFilePath();

    auto presentation = archiveEntry(QStringLiteral("ppt/presentation.xml"), path);
    if (!presentation)
        return std::unexpected(presentation.error());
    auto relationships = archiveEntry(QStringLiteral("ppt/_rels/presentation.xml.rels"), path);
    if (!relationships)
        return std::unexpected(relationships.error());

    pptx::SlideOrderXMLParser order;
    if (!order.parse(*presentation) || order.relationshipIDs.isEmpty())
        return std::unexpected(PPTXParserError::invalidPresentation);
    pptx::PresentationRelationshipsXMLParser targets;
    if (!targets.parse(*relationships))
        return std::unexpected(PPTXParserError::invalidPresentation);

    std::vector<PresentationSlide> slides;
    for (qsizetype i = 0; i < order.relationshipIDs.size(); ++i) {
        const auto target = targets.slideTargets.constFind(order.relationshipIDs[i]);
        if (target == targets.slideTargets.constEnd())
            return std::unexpected(PPTXParserError::invalidPresentation);
        auto part = archiveEntry(normalizedSlideEntryPath(*target), path);
        if (!part)
            return std::unexpected(part.error());
        pptx::SlideTextXMLParser text;
        if (!text.parse(*part))
            return std::unexpected(PPTXParserError::invalidPresentation);
        slides.push_back(PresentationSlide{.number = i + 1, .text = slideText(text.textRuns)});
    }

    const std::filesystem::path fsPath(path.toStdU16String());
    std::error_code error;
    [[maybe_unused]] const auto fileStatus = std::filesystem::status(fsPath, error);
    if (error)
        return std::unexpected(error);
    qint64 fileSize = 0;
    if (const auto size = std::filesystem::file_size(fsPath, error); !error)
        fileSize = static_cast<qint64>(size);
    double modificationTime = 0;
    if (const auto written = std::filesystem::last_write_time(fsPath, error); !error) {
        const auto since1970 = std::chrono::file_clock::to_sys(written).time_since_epoch();
        modificationTime = std::chrono::duration<double>(since1970).count();
    }

    return PresentationDeck{.filePath = path,
                            .fileName = info.fileName(),
                            .fileSize = fileSize,
                            .modificationTime = modificationTime,
                            .slides = std::move(slides)};
}

std::expected<QByteArray, PPTXParserError> PPTXParser::archiveEntry(const QString& entry, const QString& archivePath)
{
    // No entry name holds NUL; passed on, it would cut the name short and
    // select another entry.
    if (entry.contains(QChar(u'\0')))
        return std::unexpected(PPTXParserError::unreadableArchive);
    // unzip reads its archive argument as a wildcard pattern too, so it gets
    // the file already opened here, under a name without pattern characters.
    // Opened without waiting, so a pipe under the name cannot block us before
    // the check of what was opened refuses it.
    const platform::FileDescriptor archive = platform::openForReading(archivePath);
    if (!archive.isOpen() || !platform::isRegularFile(archive.get()))
        return std::unexpected(PPTXParserError::unreadableArchive);
    const int fd = archive.get();
    // unzip then reads a plain file the ordinary way.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    QProcess unzip;
    unzip.setProgram(unzipPath);
    unzip.setArguments({QStringLiteral("-p"), QStringLiteral("/dev/fd/%1").arg(fd), literalEntryPattern(entry)});
    // In a session of its own unzip has no terminal to ask for a password on,
    // so an encrypted entry fails instead of waiting for ever.
    unzip.setChildProcessModifier([fd] {
        ::setsid();
        ::fcntl(fd, F_SETFD, 0);
    });
    // Only the output is read; the error stream goes nowhere so the child can
    // never block on a full pipe nobody drains, and it never waits for input.
    unzip.setStandardErrorFile(QProcess::nullDevice());
    unzip.setStandardInputFile(QProcess::nullDevice());
    unzip.start(QIODevice::ReadOnly);
    if (!unzip.waitForStarted(-1))
        return std::unexpected(PPTXParserError::unreadableArchive);

    QByteArray output;
    for (;;) {
        const bool more = unzip.waitForReadyRead(-1);
        output += unzip.readAllStandardOutput();
        if (output.size() > maximumEntrySize) {
            unzip.kill();
            unzip.waitForFinished(-1);
            return std::unexpected(PPTXParserError::unreadableArchive);
        }
        if (!more)
            break;
    }
    unzip.waitForFinished(-1);
    output += unzip.readAllStandardOutput();
    if (output.size() > maximumEntrySize)
        return std::unexpected(PPTXParserError::unreadableArchive);

    if (unzip.exitStatus() != QProcess::NormalExit || unzip.exitCode() != 0 || output.isEmpty())
        return std::unexpected(PPTXParserError::unreadableArchive);
    return output;
}

QString PPTXParser::normalizedSlideEntryPath(const QString& target)
{
    const QString decoded = percentDecoded(target).value_or(target);
    QStringList components;
    if (decoded.startsWith(u'/')) {
        components = decoded.mid(1).split(u'/', Qt::SkipEmptyParts);
    } else {
        components = decoded.split(u'/', Qt::SkipEmptyParts);
        components.prepend(QStringLiteral("ppt"));
    }
    QStringList walked;
    for (const QString& component : components) {
        if (component == u".")
            continue;
        if (component == u"..") {
            if (!walked.isEmpty())
                walked.removeLast();
            continue;
        }
        walked.append(component);
    }
    return walked.join(u'/');
}

} // namespace quorvia
