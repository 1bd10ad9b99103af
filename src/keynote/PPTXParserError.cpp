#include "keynote/PPTXParserError.h"

namespace quorvia {

QString description(PPTXParserError error)
{
    switch (error) {
    case PPTXParserError::unreadableArchive:
        return QStringLiteral("无法读取该 PPTX 文件。请确认文件没有损坏。");
    case PPTXParserError::invalidPresentation:
        return QStringLiteral("PPTX 内缺少有效的幻灯片顺序或页面关系。");
    case PPTXParserError::noSlides:
        return QStringLiteral("该 PPTX 没有可导入的幻灯片。");
    }
    return {};
}

} // namespace quorvia
