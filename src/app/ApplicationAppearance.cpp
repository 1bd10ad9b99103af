#include "app/ApplicationAppearance.h"

#include "platform/linux/application/QtTranslations.h"
#include "look/DarkColours.h"

#include <QApplication>
#include <QStyleFactory>

namespace quorvia {

void ApplicationAppearance::apply(QApplication& application)
{
    // A style that draws with the palette, whatever the desktop's theme is.
    if (auto* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    QApplication::setPalette(dark_colours::darkAppearance());
    platform::native::QtTranslations::installChinese(application);
}

} // namespace quorvia
