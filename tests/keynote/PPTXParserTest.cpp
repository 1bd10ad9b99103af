#include "keynote/PPTXParser.h"
#include "keynote/PPTXParserXml.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using namespace quorvia;

namespace {

const char* const slideRelType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide";

QByteArray presentationXml(const QStringList& ids)
{
    QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<p:presentation xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main"><p:sldIdLst>)";
    int n = 256;
    for (const QString& id : ids)
        xml += QStringLiteral(R"(<p:sldId id="%1" r:id="%2"/>)").arg(n++).arg(id).toUtf8();
    xml += "</p:sldIdLst></p:presentation>";
    return xml;
}

struct Rel {
    QString id;
    QString target;
    QString type = QString::fromLatin1(slideRelType);
    bool external = false;
};

QByteArray relationshipsXml(const std::vector<Rel>& rels)
{
    QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
    for (const Rel& r : rels) {
        xml += QStringLiteral(R"(<Relationship Id="%1" Type="%2" Target="%3"%4/>)")
                   .arg(r.id, r.type, r.target, r.external ? QStringLiteral(R"( TargetMode="External")") : QString())
                   .toUtf8();
    }
    xml += "</Relationships>";
    return xml;
}

// One paragraph per list; each inner string is a run.
QByteArray slideXml(const std::vector<QStringList>& paragraphs)
{
    QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?><p:sld xmlns:a="a" xmlns:p="p"><p:cSld><p:spTree><p:sp><p:txBody>)";
    for (const QStringList& runs : paragraphs) {
        xml += "<a:p>";
        for (const QString& run : runs)
            xml += "<a:r><a:rPr lang=\"zh-CN\"/><a:t>" + run.toHtmlEscaped().toUtf8() + "</a:t></a:r>";
        xml += "</a:p>";
    }
    xml += "</p:txBody></p:sp></p:spTree></p:cSld></p:sld>";
    return xml;
}

// Writes the parts into a scratch folder and packs them with zip.
class PackageBuilder {
public:
    PackageBuilder& add(const QString& entry, const QByteArray& bytes)
    {
        parts_[entry] = bytes;
        return *this;
    }

    QString build(const QString& fileName)
    {
        const QString root = dir_.filePath(QStringLiteral("parts-") + fileName);
        QDir().mkpath(root);
        QStringList entries;
        for (const auto& [entry, bytes] : parts_) {
            const QString path = root + u'/' + entry;
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bytes);
            entries << entry;
        }
        const QString archive = dir_.filePath(fileName);
        QFile::remove(archive);
        QProcess zip;
        zip.setWorkingDirectory(root);
        // zip's own wildcard reading is off (-nw) so names are taken literally.
        zip.start(QStringLiteral("zip"), QStringList{"-q", "-X", "-nw", archive, "--"} + entries);
        EXPECT_TRUE(zip.waitForFinished(-1));
        EXPECT_EQ(zip.exitCode(), 0) << zip.readAllStandardError().toStdString();
        return archive;
    }

    QString path(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    std::map<QString, QByteArray> parts_;
};

// A zip of stored entries written byte by byte; zip itself refuses duplicate
// names and wrong checksums.
QByteArray storedZip(const std::vector<std::pair<QByteArray, QByteArray>>& entries, quint32 crc)
{
    auto u16 = [](QByteArray& out, quint16 v) { out.append(char(v & 0xff)).append(char(v >> 8)); };
    auto u32 = [&](QByteArray& out, quint32 v) {
        u16(out, quint16(v & 0xffff));
        u16(out, quint16(v >> 16));
    };
    QByteArray local;
    QByteArray central;
    for (const auto& [name, data] : entries) {
        const auto offset = quint32(local.size());
        u32(local, 0x04034b50);
        for (int v : {10, 0, 0, 0, 0})
            u16(local, v);
        u32(local, crc);
        u32(local, quint32(data.size()));
        u32(local, quint32(data.size()));
        u16(local, quint16(name.size()));
        u16(local, 0);
        local += name + data;

        u32(central, 0x02014b50);
        for (int v : {20, 10, 0, 0, 0, 0})
            u16(central, v);
        u32(central, crc);
        u32(central, quint32(data.size()));
        u32(central, quint32(data.size()));
        u16(central, quint16(name.size()));
        for (int v : {0, 0, 0, 0})
            u16(central, v);
        u32(central, 0);
        u32(central, offset);
        central += name;
    }
    QByteArray end;
    u32(end, 0x06054b50);
    for (quint16 v : {quint16(0), quint16(0), quint16(entries.size()), quint16(entries.size())})
        u16(end, v);
    u32(end, quint32(central.size()));
    u32(end, quint32(local.size()));
    u16(end, 0);
    return local + central + end;
}

PPTXParserError parserError(const PPTXParseFailure& failure)
{
    EXPECT_TRUE(std::holds_alternative<PPTXParserError>(failure));
    return std::get<PPTXParserError>(failure);
}

QStringList slideTexts(const PresentationDeck& deck)
{
    QStringList texts;
    for (const auto& slide : deck.slides)
        texts << slide.text;
    return texts;
}

} // namespace

TEST(PPTXParserTest, SlidesFollowTheSlideListWithRunsTrimmedOnePerLine)
{
    PackageBuilder package;
    package.add("ppt/presentation.xml", presentationXml({"rId7", "rId2", "rId9"}))
        .add("ppt/_rels/presentation.xml.rels",
             relationshipsXml({{"rId2", "slides/slide1.xml"},
                               {"rId7", "slides/slide3.xml"},
                               {"rId9", "slides/slide2.xml"},
                               {"rId1", "slideMasters/slideMaster1.xml",
                                "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideMaster"}}))
        .add("ppt/slides/slide1.xml", slideXml({{"Hello ", "world", "   "}}))
        .add("ppt/slides/slide2.xml", slideXml({}))
        .add("ppt/slides/slide3.xml", slideXml({{"  开场  "}, {"\n第二段\t"}, {"A & <B>"}}));
    const QString archive = package.build("Talk.pptx");

    const auto deck = PPTXParser::parse(archive);
    ASSERT_TRUE(deck.has_value());
    ASSERT_EQ(deck->slides.size(), 3u);
    for (qint64 i = 0; i < 3; ++i)
        EXPECT_EQ(deck->slides[i].number, i + 1);
    EXPECT_EQ(slideTexts(*deck), (QStringList{"开场\n第二段\nA & <B>", "Hello\nworld", ""}));

    const QFileInfo info(archive);
    EXPECT_EQ(deck->filePath, info.absoluteFilePath());
    EXPECT_EQ(deck->fileName, QStringLiteral("Talk.pptx"));
    EXPECT_EQ(deck->fileSize, info.size());
    EXPECT_NEAR(deck->modificationTime, info.lastModified().toMSecsSinceEpoch() / 1000.0, 0.01);
}

TEST(PPTXParserTest, RelationshipTargetsMapToPackageEntries)
{
    PackageBuilder package;
    package.add("ppt/presentation.xml", presentationXml({"r1", "r2", "r3", "r4", "r5", "r6"}))
        .add("ppt/_rels/presentation.xml.rels",
             relationshipsXml({{"r1", "slides/slide1.xml"},
                               {"r2", "/ppt/slides/slide2.xml"},
                               {"r3", "../ppt/slides/slide3.xml"},
                               {"r4", "slides/slide%201.xml"},
                               {"r5", "../../../ppt/./slides//slide5.xml"},
                               // An invalid escape is used as written.
                               {"r6", "slides/bad%zz.xml"}}))
        .add("ppt/slides/slide1.xml", slideXml({{"one"}}))
        .add("ppt/slides/slide2.xml", slideXml({{"two"}}))
        .add("ppt/slides/slide3.xml", slideXml({{"three"}}))
        .add("ppt/slides/slide 1.xml", slideXml({{"spaced"}}))
        .add("ppt/slides/slide5.xml", slideXml({{"five"}}))
        .add("ppt/slides/bad%zz.xml", slideXml({{"raw"}}));

    const auto deck = PPTXParser::parse(package.build("targets.pptx"));
    ASSERT_TRUE(deck.has_value());
    EXPECT_EQ(slideTexts(*deck), (QStringList{"one", "two", "three", "spaced", "five", "raw"}));
}

TEST(PPTXParserTest, EntryNamesAreMatchedLiterallyNotAsPatterns)
{
    PackageBuilder package;
    package.add("ppt/presentation.xml", presentationXml({"r1"}))
        .add("ppt/slides/s1.xml", slideXml({{"decoy"}}))
        .add("ppt/slides/s[1].xml", slideXml({{"bracketed"}}))
        .add("-d", slideXml({{"dash"}}));

    auto withTarget = [&](const QString& target, const QString& name) {
        package.add("ppt/_rels/presentation.xml.rels", relationshipsXml({{"r1", target}}));
        return PPTXParser::parse(package.build(name));
    };

    const auto bracket = withTarget("slides/s[1].xml", "bracket.pptx");
    ASSERT_TRUE(bracket.has_value());
    EXPECT_EQ(bracket->slides.at(0).text, QStringLiteral("bracketed"));

    // A wildcard that would select another entry selects nothing.
    for (const QString& target : {QStringLiteral("slides/s?.xml"), QStringLiteral("slides/*"),
                                  QStringLiteral("slides/s\\1.xml"), QStringLiteral("slides/s1.xml%00x")}) {
        const auto deck = withTarget(target, "wild.pptx");
        ASSERT_FALSE(deck.has_value()) << target.toStdString();
        EXPECT_EQ(parserError(deck.error()), PPTXParserError::unreadableArchive);
    }

    // An archive name is no pattern either: a missing one does not stand for its neighbours.
    const QString neighbour = withTarget("slides/s1.xml", "deck1.pptx").value().filePath;
    ASSERT_TRUE(QFileInfo::exists(neighbour));
    const auto missing = PPTXParser::parse(package.path("deck[1].pptx"));
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(parserError(missing.error()), PPTXParserError::unreadableArchive);

    const auto dash = withTarget("/-d", "dash.pptx");
    ASSERT_TRUE(dash.has_value());
    EXPECT_EQ(dash->slides.at(0).text, QStringLiteral("dash"));
}

TEST(PPTXParserTest, ExtensionIsCheckedBeforeAnyProcessRuns)
{
    PackageBuilder package;
    package.add("ppt/presentation.xml", presentationXml({"r1"}))
        .add("ppt/_rels/presentation.xml.rels", relationshipsXml({{"r1", "slides/slide1.xml"}}))
        .add("ppt/slides/slide1.xml", slideXml({{"x"}}));

    EXPECT_TRUE(PPTXParser::parse(package.build("UPPER.PPTX")).has_value());
    // The same, readable package under other extensions is refused.
    for (const QString& name : {QStringLiteral("deck.key"), QStringLiteral("deck.ppt"), QStringLiteral("deck")}) {
        const auto deck = PPTXParser::parse(package.build(name));
        ASSERT_FALSE(deck.has_value());
        EXPECT_EQ(parserError(deck.error()), PPTXParserError::unreadableArchive);
    }
}

TEST(PPTXParserTest, BrokenPackagesAreRefusedWithTheRightError)
{
    const QByteArray rels = relationshipsXml({{"r1", "slides/slide1.xml"}});
    const QByteArray slide = slideXml({{"x"}});
    struct Case {
        const char* name;
        std::map<QString, QByteArray> parts;
        PPTXParserError expected;
    };
    const std::vector<Case> cases = {
        {"no relationships part",
         {{"ppt/presentation.xml", presentationXml({"r1"})}, {"ppt/slides/slide1.xml", slide}},
         PPTXParserError::unreadableArchive},
        {"no presentation part", {{"ppt/_rels/presentation.xml.rels", rels}, {"ppt/slides/slide1.xml", slide}},
         PPTXParserError::unreadableArchive},
        {"empty presentation part",
         {{"ppt/presentation.xml", ""}, {"ppt/_rels/presentation.xml.rels", rels}},
         PPTXParserError::unreadableArchive},
        {"slide part missing",
         {{"ppt/presentation.xml", presentationXml({"r1"})}, {"ppt/_rels/presentation.xml.rels", rels}},
         PPTXParserError::unreadableArchive},
        {"empty slide list",
         {{"ppt/presentation.xml", presentationXml({})}, {"ppt/_rels/presentation.xml.rels", rels}},
         PPTXParserError::invalidPresentation},
        {"external slide target",
         {{"ppt/presentation.xml", presentationXml({"r1"})},
          {"ppt/_rels/presentation.xml.rels", relationshipsXml({{"r1", "slides/slide1.xml", slideRelType, true}})},
          {"ppt/slides/slide1.xml", slide}},
         PPTXParserError::invalidPresentation},
        {"listed id is a layout, not a slide",
         {{"ppt/presentation.xml", presentationXml({"r1"})},
          {"ppt/_rels/presentation.xml.rels",
           relationshipsXml({{"r1", "slides/slide1.xml",
                              "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideLayout"}})},
          {"ppt/slides/slide1.xml", slide}},
         PPTXParserError::invalidPresentation},
        {"malformed slide",
         {{"ppt/presentation.xml", presentationXml({"r1"})},
          {"ppt/_rels/presentation.xml.rels", rels},
          {"ppt/slides/slide1.xml", "<p:sld><a:t>open</p:sld>"}},
         PPTXParserError::invalidPresentation},
        {"malformed relationships",
         {{"ppt/presentation.xml", presentationXml({"r1"})},
          {"ppt/_rels/presentation.xml.rels", "<Relationships"},
          {"ppt/slides/slide1.xml", slide}},
         PPTXParserError::invalidPresentation},
    };
    for (const Case& c : cases) {
        PackageBuilder package;
        for (const auto& [entry, bytes] : c.parts)
            package.add(entry, bytes);
        const auto deck = PPTXParser::parse(package.build("case.pptx"));
        ASSERT_FALSE(deck.has_value()) << c.name;
        EXPECT_EQ(parserError(deck.error()), c.expected) << c.name;
    }

    PackageBuilder scratch;
    QFile notZip(scratch.path("garbage.pptx"));
    ASSERT_TRUE(notZip.open(QIODevice::WriteOnly));
    notZip.write("this is not a zip archive");
    notZip.close();
    const auto garbage = PPTXParser::parse(notZip.fileName());
    ASSERT_FALSE(garbage.has_value());
    EXPECT_EQ(parserError(garbage.error()), PPTXParserError::unreadableArchive);
    EXPECT_EQ(parserError(PPTXParser::parse(scratch.path("missing.pptx")).error()),
              PPTXParserError::unreadableArchive);
}

TEST(PPTXParserTest, ChildWritingMuchToItsErrorStreamDoesNotHang)
{
    // Thousands of copies of the entry, each with a wrong checksum: unzip
    // reports every one on its error stream, far more than a pipe holds.
    const std::vector<std::pair<QByteArray, QByteArray>> copies(
        4000, {QByteArray("ppt/presentation.xml"), presentationXml({"r1"})});
    QTemporaryDir dir;
    QFile file(dir.filePath("noisy.pptx"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(storedZip(copies, 0x12345678));
    file.close();

    const auto deck = PPTXParser::parse(file.fileName());
    ASSERT_FALSE(deck.has_value());
    EXPECT_EQ(parserError(deck.error()), PPTXParserError::unreadableArchive);
}

TEST(PPTXParserTest, OversizedEntryIsRefusedAsUnreadable)
{
    // Well-formed, so without the size cap it would parse.
    QByteArray huge = "<p:sld><a:t>x</a:t>";
    huge += QByteArray(PPTXParser::maximumEntrySize, ' ');
    huge += "</p:sld>";
    PackageBuilder package;
    package.add("ppt/presentation.xml", presentationXml({"r1"}))
        .add("ppt/_rels/presentation.xml.rels", relationshipsXml({{"r1", "slides/slide1.xml"}}))
        .add("ppt/slides/slide1.xml", huge);
    const auto deck = PPTXParser::parse(package.build("bomb.pptx"));
    ASSERT_FALSE(deck.has_value());
    EXPECT_EQ(parserError(deck.error()), PPTXParserError::unreadableArchive);
}

TEST(PPTXParserTest, EntitiesStayLocalAndBounded)
{
    QTemporaryDir dir;
    const QString secretPath = dir.filePath("secret.txt");
    QFile secret(secretPath);
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("SECRET");
    secret.close();

    pptx::SlideTextXMLParser external;
    const QByteArray withExternal = "<!DOCTYPE p:sld [<!ENTITY leak SYSTEM \"file://" + secretPath.toUtf8() +
                                    "\">]><p:sld><a:t>A&leak;B</a:t><a:t>&#x4E2D;&amp;</a:t></p:sld>";
    ASSERT_TRUE(external.parse(withExternal));
    EXPECT_EQ(external.textRuns, (QStringList{"AB", "中&"}));

    pptx::SlideTextXMLParser small;
    ASSERT_TRUE(small.parse("<!DOCTYPE p:sld [<!ENTITY co \"Quorvia\">]><p:sld><a:t>&co;</a:t></p:sld>"));
    EXPECT_EQ(small.textRuns, (QStringList{"Quorvia"}));

    QByteArray laughs = "<!DOCTYPE p:sld [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
    char prev = 'a';
    for (char name = 'b'; name <= 'j'; ++name) {
        laughs += QByteArray("<!ENTITY ") + name + " \"";
        for (int i = 0; i < 10; ++i)
            laughs += QByteArray("&") + prev + ";";
        laughs += "\">";
        prev = name;
    }
    laughs += "]><p:sld><a:t>&j;</a:t></p:sld>";
    pptx::SlideTextXMLParser bomb;
    EXPECT_FALSE(bomb.parse(laughs));
}

TEST(PPTXParserXmlTest, ReadersMatchNamesWithTheirPrefixes)
{
    pptx::SlideOrderXMLParser order;
    ASSERT_TRUE(order.parse(R"(<presentation><sldId id="plain"/><p:sldId id="256" r:id="rA"/><x:sldId r:id="no"/></presentation>)"));
    EXPECT_EQ(order.relationshipIDs, (QStringList{"plain", "rA"}));

    pptx::PresentationRelationshipsXMLParser rels;
    ASSERT_TRUE(rels.parse(R"(<Relationships>
        <Relationship Id="r1" Type="x/slide" Target="a.xml"/>
        <Relationship Id="r1" Type="x/slide" Target="b.xml"/>
        <Relationship Id="r2" Type="x/notesSlide" Target="n.xml"/>
        <Relationship Id="r3" Type="x/slide"/>
        <r:Relationship Id="r4" Type="x/slide" Target="c.xml"/></Relationships>)"));
    EXPECT_EQ(rels.slideTargets, (QHash<QString, QString>{{"r1", "b.xml"}}));

    pptx::SlideTextXMLParser text;
    ASSERT_TRUE(text.parse(R"(<sld>outside<t>plain</t><a:t></a:t><a:t>x<a:rPr/>y</a:t><b:t>no</b:t></sld>)"));
    EXPECT_EQ(text.textRuns, (QStringList{"plain", "", "xy"}));
    EXPECT_FALSE(text.currentText.has_value());
}
