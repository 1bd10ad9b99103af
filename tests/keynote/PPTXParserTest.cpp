#include "keynote/PPTXParser.h"
#include "keynote/PPTXParserXml.h"
#include "support/QtPrinting.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <map>

using namespace quorvia;

namespace {

const QString slideType = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide");
const QString presentationEntry = QStringLiteral("ppt/presentation.xml");
const QString relationshipsEntry = QStringLiteral("ppt/_rels/presentation.xml.rels");

QByteArray presentationXml(const QStringList& ids)
{
    QString xml = QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?><p:presentation xmlns:r="r" xmlns:p="p"><p:sldIdLst>)");
    int n = 256;
    for (const QString& id : ids)
        xml += QStringLiteral(R"(<p:sldId id="%1" r:id="%2"/>)").arg(n++).arg(id);
    return (xml + QStringLiteral("</p:sldIdLst></p:presentation>")).toUtf8();
}

struct Rel {
    QString id;
    QString target;
    QString type = slideType;
    bool external = false;
};

QByteArray relationshipsXml(const std::vector<Rel>& rels)
{
    QString xml = QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="rels">)");
    for (const Rel& r : rels)
        xml += QStringLiteral(R"(<Relationship Id="%1" Type="%2" Target="%3"%4/>)")
                   .arg(r.id, r.type, r.target, r.external ? QStringLiteral(R"( TargetMode="External")") : QString());
    return (xml + QStringLiteral("</Relationships>")).toUtf8();
}

// One paragraph holding each text as a run.
QByteArray slideXml(const QStringList& runs)
{
    QString xml = QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?><p:sld xmlns:a="a" xmlns:p="p"><p:txBody><a:p>)");
    for (const QString& run : runs)
        xml += QStringLiteral(R"(<a:r><a:rPr lang="zh-CN"/><a:t>)") + run.toHtmlEscaped() + QStringLiteral("</a:t></a:r>");
    return (xml + QStringLiteral("</a:p></p:txBody></p:sld>")).toUtf8();
}

using Parts = std::map<QString, QByteArray>;
using ParseResult = std::expected<PresentationDeck, PPTXParseFailure>;

// A readable package with one slide.
Parts oneSlide()
{
    return {{presentationEntry, presentationXml({"r1"})},
            {relationshipsEntry, relationshipsXml({{"r1", "slides/slide1.xml"}})},
            {"ppt/slides/slide1.xml", slideXml({"x"})}};
}

// A zip of stored entries written byte by byte, all with the given checksum;
// zip itself refuses duplicate names and wrong checksums.
QByteArray storedZip(const QByteArray& name, const QByteArray& data, int copies, quint32 crc)
{
    QByteArray local;
    QByteArray central;
    QByteArray end;
    QDataStream l(&local, QIODevice::WriteOnly);
    QDataStream c(&central, QIODevice::WriteOnly);
    QDataStream e(&end, QIODevice::WriteOnly);
    for (QDataStream* stream : {&l, &c, &e})
        stream->setByteOrder(QDataStream::LittleEndian);
    const auto size = quint32(data.size());
    const auto nameSize = quint16(name.size());
    for (int i = 0; i < copies; ++i) {
        const auto offset = quint32(local.size());
        l << quint32(0x04034b50) << quint16(10) << quint64(0) << crc << size << size << nameSize << quint16(0);
        l.writeRawData((name + data).constData(), int(name.size() + data.size()));
        c << quint32(0x02014b50) << quint16(20) << quint16(10) << quint64(0) << crc << size << size << nameSize
          << quint64(0) << quint32(0) << offset;
        c.writeRawData(name.constData(), nameSize);
    }
    e << quint32(0x06054b50) << quint32(0) << quint16(copies) << quint16(copies) << quint32(central.size())
      << quint32(local.size()) << quint16(0);
    return local + central + end;
}

class PPTXParserTest : public ::testing::Test {
protected:
    // Writes the parts into a scratch folder and packs them with zip.
    QString pack(const Parts& parts, const QString& fileName, const QStringList& zipOptions = {})
    {
        const QString root = dir.filePath(QStringLiteral("parts-") + fileName);
        QDir(root).removeRecursively();
        QStringList entries;
        for (const auto& [entry, bytes] : parts) {
            const QString path = root + u'/' + entry;
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bytes);
            entries << entry;
        }
        const QString archive = dir.filePath(fileName);
        QFile::remove(archive);
        QProcess zip;
        zip.setWorkingDirectory(root);
        // -nw: names are taken literally.
        zip.start(QStringLiteral("zip"), QStringList{"-q", "-X", "-nw"} + zipOptions + QStringList{archive, "--"} + entries);
        EXPECT_TRUE(zip.waitForFinished(-1));
        EXPECT_EQ(zip.exitCode(), 0) << zip.readAllStandardError().toStdString();
        return archive;
    }

    ParseResult parse(const Parts& parts, const QString& fileName = QStringLiteral("deck.pptx"))
    {
        return PPTXParser::parse(pack(parts, fileName));
    }

    static PPTXParserError errorOf(const ParseResult& result)
    {
        EXPECT_FALSE(result.has_value());
        return result ? PPTXParserError::noSlides : std::get<PPTXParserError>(result.error());
    }

    static QStringList texts(const ParseResult& deck)
    {
        QStringList out;
        for (const auto& slide : deck.value().slides)
            out << slide.text;
        return out;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(PPTXParserTest, SlidesFollowTheSlideListWithTargetsMappedAndRunsTrimmedOnePerLine)
{
    const QString archive = pack({{presentationEntry, presentationXml({"r3", "r1", "r2", "r4", "r5"})},
                                  {relationshipsEntry,
                                   relationshipsXml({{"r1", "slides/slide1.xml"},
                                                     {"r2", "/ppt/slides/slide2.xml"},
                                                     {"r3", "../ppt/slides/slide3.xml"},
                                                     {"r4", "slides/slide%201.xml"},
                                                     {"r5", "../../../ppt/./slides//slide5.xml"}})},
                                  {"ppt/slides/slide1.xml", slideXml({"Hello ", "world", "   "})},
                                  {"ppt/slides/slide2.xml", slideXml({})},
                                  {"ppt/slides/slide3.xml", slideXml({"  开场  ", "\n第二段\t", "A & <B>"})},
                                  {"ppt/slides/slide 1.xml", slideXml({"spaced"})},
                                  {"ppt/slides/slide5.xml", slideXml({"five"})}},
                                 QStringLiteral("Talk.pptx"));
    const auto deck = PPTXParser::parse(archive);
    EXPECT_EQ(texts(deck), (QStringList{"开场\n第二段\nA & <B>", "Hello\nworld", "", "spaced", "five"}));
    EXPECT_EQ(deck->slides[4].number, 5);
}

TEST_F(PPTXParserTest, EntryNamesAreMatchedLiterallyNotAsPatterns)
{
    Parts parts{{presentationEntry, presentationXml({"r1"})},
                {"ppt/slides/s1.xml", slideXml({"decoy"})},
                {"ppt/slides/s[1].xml", slideXml({"bracketed"})},
                {"-d", slideXml({"dash"})}};
    auto withTarget = [&](const QString& target, const QString& name) {
        parts[relationshipsEntry] = relationshipsXml({{"r1", target}});
        return parse(parts, name);
    };
    EXPECT_EQ(texts(withTarget("slides/s[1].xml", "bracket.pptx")), QStringList{"bracketed"});
    EXPECT_EQ(texts(withTarget("/-d", "dash.pptx")), QStringList{"dash"});
    // Wildcards, and a NUL that would cut the name short, select nothing.
    for (const char* target : {"slides/s?.xml", "slides/*", "slides/s\\1.xml", "slides/s1.xml%00x"})
        EXPECT_EQ(errorOf(withTarget(target, "wild.pptx")), PPTXParserError::unreadableArchive) << target;

    // A missing archive's name is no pattern for its neighbours either.
    ASSERT_TRUE(withTarget("slides/s1.xml", "deck1.pptx").has_value());
    EXPECT_EQ(errorOf(PPTXParser::parse(dir.filePath("deck[1].pptx"))), PPTXParserError::unreadableArchive);
}

// unzip would also read the archive's own name as a pattern.
TEST_F(PPTXParserTest, TheArchiveReadIsTheOneNamedWhateverItsNameHolds)
{
    auto slides = [](const QStringList& texts) {
        Parts parts{{presentationEntry, presentationXml({"r1"})},
                    {relationshipsEntry, relationshipsXml({{"r1", "slides/slide1.xml"}})}};
        parts["ppt/slides/slide1.xml"] = slideXml(texts);
        return parts;
    };
    for (const char* neighbour : {"deck1.pptx", "decky.pptx", "deckz.pptx", "deckx.pptx"})
        pack(slides({QString::fromLatin1(neighbour)}), QString::fromLatin1(neighbour));
    for (const char* name : {"deck[1].pptx", "deck[xyz].pptx", "deck?.pptx", "deck*.pptx"}) {
        const QString archive = pack(slides({"own"}), QString::fromLatin1(name));
        const auto deck = PPTXParser::parse(archive);
        EXPECT_EQ(texts(deck), QStringList{"own"}) << name;
        EXPECT_EQ(deck->fileName, QString::fromLatin1(name));
        EXPECT_EQ(deck->fileSize, QFileInfo(archive).size());
    }
}

namespace {
// Makes a new pseudo-terminal the controlling terminal of this process.
bool takeATerminal()
{
    if (::setsid() < 0)
        return false;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return false;
    const int terminal = ::open(::ptsname(master), O_RDWR);
    return terminal >= 0 && ::ioctl(terminal, TIOCSCTTY, 0) == 0;
}
} // namespace

TEST_F(PPTXParserTest, EncryptedPackageIsUnreadableAndNeverWaitsForAPassword)
{
    const QString archive = pack(oneSlide(), "locked.pptx", {"-P", "secret"});
    EXPECT_EQ(errorOf(PPTXParser::parse(archive)), PPTXParserError::unreadableArchive);

    // With a terminal to ask on, unzip would wait there for ever; the alarm ends the wait.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (!takeATerminal())
                std::_Exit(2);
            ::alarm(10);
            const auto result = PPTXParser::parse(archive);
            const bool unreadable = !result && std::holds_alternative<PPTXParserError>(result.error())
                && std::get<PPTXParserError>(result.error()) == PPTXParserError::unreadableArchive;
            dir.remove();
            std::_Exit(unreadable ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(PPTXParserTest, ExtensionIsCheckedBeforeAnyProcessRuns)
{
    EXPECT_TRUE(parse(oneSlide(), "UPPER.PPTX").has_value());
    for (const char* name : {"deck.key", "deck.ppt", "deck"})
        EXPECT_EQ(errorOf(parse(oneSlide(), name)), PPTXParserError::unreadableArchive) << name;
}

TEST_F(PPTXParserTest, BrokenPackagesAreRefusedWithTheRightError)
{
    const auto unreadable = PPTXParserError::unreadableArchive;
    const auto invalid = PPTXParserError::invalidPresentation;
    // The entry replaced by the bytes, or removed without them.
    const std::tuple<QString, std::optional<QByteArray>, PPTXParserError> cases[] = {
        {relationshipsEntry, std::nullopt, unreadable},
        {"ppt/slides/slide1.xml", std::nullopt, unreadable},
        {presentationEntry, presentationXml({}), invalid},
        {relationshipsEntry, relationshipsXml({{"r1", "slides/slide1.xml", slideType, true}}), invalid}, // external
        {"ppt/slides/slide1.xml", "<p:sld><a:t>open</p:sld>", invalid},
    };
    for (const auto& [entry, bytes, expected] : cases) {
        Parts parts = oneSlide();
        if (bytes)
            parts[entry] = *bytes;
        else
            parts.erase(entry);
        EXPECT_EQ(errorOf(parse(parts)), expected) << entry.toStdString();
    }
}

TEST_F(PPTXParserTest, ChildWritingMuchToItsErrorStreamDoesNotHang)
{
    // Thousands of copies of the entry with a wrong checksum: unzip reports
    // every one on its error stream, far more than a pipe holds.
    QFile file(dir.filePath("noisy.pptx"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(storedZip(presentationEntry.toUtf8(), presentationXml({"r1"}), 4000, 0x12345678));
    file.close();
    EXPECT_EQ(errorOf(PPTXParser::parse(file.fileName())), PPTXParserError::unreadableArchive);
}

TEST_F(PPTXParserTest, OversizedEntryIsRefusedAsUnreadable)
{
    // Well-formed, so without the size cap it would parse.
    Parts parts = oneSlide();
    parts["ppt/slides/slide1.xml"] = "<p:sld><a:t>x</a:t>" + QByteArray(PPTXParser::maximumEntrySize, ' ') + "</p:sld>";
    EXPECT_EQ(errorOf(parse(parts, "bomb.pptx")), PPTXParserError::unreadableArchive);
}

TEST_F(PPTXParserTest, APipeNamedLikeADeckIsRefusedWithoutWaiting)
{
    const QString pipe = dir.filePath("deck.pptx");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    auto parsed = std::async(std::launch::async, [&] { return PPTXParser::parse(pipe); });
    const bool finished = parsed.wait_for(std::chrono::seconds(90)) == std::future_status::ready;
    if (!finished) {
        // A writer lets a parser stuck in the pipe go, so the test can end.
        const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    ASSERT_TRUE(finished) << "the parser waited on a pipe";
    EXPECT_EQ(errorOf(parsed.get()), PPTXParserError::unreadableArchive);
}

TEST(PPTXParserXmlTest, EntitiesStayLocalAndBounded)
{
    QTemporaryDir dir;
    QFile secret(dir.filePath("secret.txt"));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("SECRET");
    secret.close();
    // The external entity stays unread, a small internal one expands; runs
    // match "a:t" or "t" exactly as written.
    pptx::SlideTextXMLParser parser;
    ASSERT_TRUE(parser.parse("<!DOCTYPE p:sld [<!ENTITY leak SYSTEM \"file://" + secret.fileName().toUtf8()
                             + "\"><!ENTITY co \"Quorvia\">]><p:sld><a:t>A&leak;B</a:t><a:t>&#x4E2D;&amp;&co;</a:t>"
                             + "<t>x<a:rPr/>y</t><b:t>no</b:t></p:sld>"));
    EXPECT_EQ(parser.textRuns, (QStringList{"AB", "中&Quorvia", "xy"}));

    // Ten levels of ten references each: a billion characters if expanded.
    QByteArray laughs = "<!DOCTYPE p:sld [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
    for (char name = 'b'; name <= 'j'; ++name)
        laughs += "<!ENTITY " + QByteArray(1, name) + " \"" + ("&" + QByteArray(1, char(name - 1)) + ";").repeated(10) + "\">";
    pptx::SlideTextXMLParser bomb;
    EXPECT_FALSE(bomb.parse(laughs + "]><p:sld><a:t>&j;</a:t></p:sld>"));
}
