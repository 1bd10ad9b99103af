#include "platform/desktop/AccessibleButton.h"

#include <QAccessibleWidget>
#include <QHash>

namespace quorvia::platform {

namespace {

QHash<QString, std::function<void(QWidget*)>>& presses()
{
    static QHash<QString, std::function<void(QWidget*)>> table;
    return table;
}

class AccessibleButton : public QAccessibleWidget {
public:
    AccessibleButton(QWidget* widget, std::function<void(QWidget*)> press)
        : QAccessibleWidget(widget, QAccessible::Button), press_(std::move(press))
    {
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction() && press_ && widget()->isEnabled())
            press_(widget());
    }

private:
    std::function<void(QWidget*)> press_;
};

QAccessibleInterface* buttonFactory(const QString& key, QObject* object)
{
    const auto it = presses().constFind(key);
    if (it == presses().constEnd() || !object || !object->isWidgetType())
        return nullptr;
    return new AccessibleButton(static_cast<QWidget*>(object), *it);
}

} // namespace

void presentAsButton(const QMetaObject& type, std::function<void(QWidget*)> press)
{
    if (presses().isEmpty())
        QAccessible::installFactory(buttonFactory);
    presses().insert(QString::fromLatin1(type.className()), std::move(press));
}

} // namespace quorvia::platform
