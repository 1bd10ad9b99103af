#pragma once

#include <QString>

namespace quorvia {

enum class PPTXParserError {
    unreadableArchive,
    invalidPresentation,
    noSlides,
};

QString description(PPTXParserError error);

} // namespace quorvia
