#include "model/StagingRecord.h"

#include "platform/files/BoundedFileRead.h"
#include "platform/files/FileDescriptor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>
#include <unistd.h>

namespace quorvia {

using Mark = StagingRecord::Mark;

namespace {

const QString recordKind = QStringLiteral("com.local.quorvia.backup-export");

QJsonValue markJson(const std::optional<Mark>& mark)
{
    if (!mark)
        return QJsonValue::Null;
    return QJsonObject{{"inode", QString::number(mark->inode)}, {"manifest", QString::fromLatin1(mark->manifestDigest)}};
}

// A mark as written, `null` or none as nothing; false when it is neither.
bool readMark(const QJsonValue& value, std::optional<Mark>& mark)
{
    if (value.isNull() || value.isUndefined())
        return true;
    bool ok = false;
    const QJsonObject json = value.toObject();
    const ino_t inode = json.value("inode").toString().toULongLong(&ok);
    const QByteArray digest = json.value("manifest").toString().toLatin1();
    if (!ok || digest.size() != 64)
        return false;
    mark = Mark{inode, digest};
    return true;
}

} // namespace

QByteArray StagingRecord::encoded() const
{
    QJsonObject json{
        {"kind", recordKind},
        {"destination", QString::fromLatin1(QByteArray::fromStdString(destination).toBase64())},
        {"machine", writer.machine},
        {"boot", writer.boot},
        {"pid", writer.pid},
        {"started", QString::number(writer.started)},
        {"pidNamespace", QString::number(writer.pidNamespace)},
        {"old", markJson(old)},
    };
    if (built)
        json.insert("package", markJson(built));
    if (keepsOld)
        json.insert("keepsOld", true);
    if (!removing.empty()) {
        QJsonArray names;
        for (const std::string& name : removing)
            names.append(QString::fromStdString(name));
        json.insert("removing", names);
    }
    return QJsonDocument(json).toJson();
}

std::optional<StagingRecord> StagingRecord::readFrom(int folderFd)
{
    const platform::FileDescriptor file = platform::openForReadingAt(folderFd, fileName);
    struct stat status {};
    if (!file.isOpen() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()
        || status.st_nlink != 1)
        return std::nullopt;
    const platform::BoundedFileRead read = platform::readBounded(file.get(), 16 * 1024);
    const QJsonObject json = read.ok() ? QJsonDocument::fromJson(read.bytes).object() : QJsonObject();
    if (json.value("kind").toString() != recordKind)
        return std::nullopt;
    StagingRecord record;
    record.destination = QByteArray::fromBase64(json.value("destination").toString().toLatin1()).toStdString();
    record.writer.machine = json.value("machine").toString();
    record.writer.boot = json.value("boot").toString();
    record.writer.pid = json.value("pid").toInteger();
    bool startedOk = false;
    bool namespaceOk = false;
    record.writer.started = json.value("started").toString().toULongLong(&startedOk);
    record.writer.pidNamespace = json.value("pidNamespace").toString().toULongLong(&namespaceOk);
    record.marks = json.contains("old");
    record.keepsOld = json.value("keepsOld").toBool();
    record.locked = platform::isLockedElsewhere(file.get());
    for (const QJsonValue& name : json.value("removing").toArray())
        record.removing.push_back(name.toString().toStdString());
    if (record.marks) {
        if (!readMark(json.value("old"), record.old) || !readMark(json.value("package"), record.built))
            return std::nullopt;
    } else if (json.contains("packageDevice") || json.contains("packageInode")) {
        bool deviceOk = false;
        bool inodeOk = false;
        record.builtOnDevice = Identity(json.value("packageDevice").toString().toULongLong(&deviceOk),
                                        json.value("packageInode").toString().toULongLong(&inodeOk));
        if (!deviceOk || !inodeOk)
            return std::nullopt;
    }
    const std::string& name = record.destination;
    if (!startedOk || !namespaceOk || record.writer.pid <= 0 || record.writer.boot.isEmpty() || name.empty()
        || name == "." || name == ".." || name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
        return std::nullopt;
    return record;
}

} // namespace quorvia
