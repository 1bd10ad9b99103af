#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// Readers of the three kinds of XML part the PowerPoint reader needs. Each is
// used for one document and then dropped. Element and attribute names are
// matched as written, prefix included.
namespace quorvia::pptx {

// The slide list of ppt/presentation.xml, in document order.
class SlideOrderXMLParser {
public:
    bool parse(const QByteArray& data);
    QStringList relationshipIDs;
};

// Slide relationships of ppt/_rels/presentation.xml.rels: id to target.
class PresentationRelationshipsXMLParser {
public:
    bool parse(const QByteArray& data);
    QHash<QString, QString> slideTargets;
};

// The text runs of one slide part, in document order.
class SlideTextXMLParser {
public:
    bool parse(const QByteArray& data);
    QStringList textRuns;
    std::optional<QString> currentText;
};

// Longest expansion of entity references in one document; a part asking for
// more is malformed.
inline constexpr int entityExpansionLimit = 4096;

} // namespace quorvia::pptx
