#include "keynote/PPTXParserXml.h"

#include <QXmlStreamReader>

#include <functional>

namespace quorvia::pptx {
namespace {

struct XmlEvents {
    std::function<void(QStringView name, const QXmlStreamAttributes& attributes)> onStartElement;
    std::function<void(QStringView text)> onCharacters;
    std::function<void(QStringView name)> onEndElement;
};

// Namespace processing stays off so names keep their prefixes. No entity
// resolver is installed, so external entities are never fetched; they arrive
// as unresolved references and contribute nothing.
bool runXml(const QByteArray& data, const XmlEvents& events)
{
    QXmlStreamReader reader(data);
    reader.setNamespaceProcessing(false);
    reader.setEntityExpansionLimit(entityExpansionLimit);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (events.onStartElement)
                events.onStartElement(reader.qualifiedName(), reader.attributes());
            break;
        case QXmlStreamReader::Characters:
            if (events.onCharacters)
                events.onCharacters(reader.text());
            break;
        case QXmlStreamReader::EndElement:
            if (events.onEndElement)
                events.onEndElement(reader.qualifiedName());
            break;
        default:
            break;
        }
    }
    return !reader.hasError();
}

std::optional<QString> attribute(const QXmlStreamAttributes& attributes, QStringView qualifiedName)
{
    for (const auto& a : attributes) {
        if (a.qualifiedName() == qualifiedName)
            return a.value().toString();
    }
    return std::nullopt;
}

} // namespace

bool SlideOrderXMLParser::parse(const QByteArray& data)
{
    XmlEvents events;
    events.onStartElement = [this](QStringView name, const QXmlStreamAttributes& attributes) {
        if (name != u"p:sldId" && name != u"sldId")
            return;
        auto id = attribute(attributes, u"r:id");
        if (!id)
            id = attribute(attributes, u"id");
        if (id)
            relationshipIDs.append(*id);
    };
    return runXml(data, events);
}

bool PresentationRelationshipsXMLParser::parse(const QByteArray& data)
{
    XmlEvents events;
    events.onStartElement = [this](QStringView name, const QXmlStreamAttributes& attributes) {
        if (name != u"Relationship")
            return;
        if (attribute(attributes, u"TargetMode") == QStringLiteral("External"))
            return;
        const auto type = attribute(attributes, u"Type");
        if (!type || !type->endsWith(QStringLiteral("/slide")))
            return;
        const auto id = attribute(attributes, u"Id");
        const auto target = attribute(attributes, u"Target");
        if (id && target)
            slideTargets.insert(*id, *target);
    };
    return runXml(data, events);
}

bool SlideTextXMLParser::parse(const QByteArray& data)
{
    XmlEvents events;
    events.onStartElement = [this](QStringView name, const QXmlStreamAttributes&) {
        if (name == u"a:t" || name == u"t")
            currentText = QString();
    };
    events.onCharacters = [this](QStringView text) {
        if (currentText)
            currentText->append(text);
    };
    events.onEndElement = [this](QStringView name) {
        if ((name == u"a:t" || name == u"t") && currentText) {
            textRuns.append(*currentText);
            currentText.reset();
        }
    };
    return runXml(data, events);
}

} // namespace quorvia::pptx
