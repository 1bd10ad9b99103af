#pragma once

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>

#include <vector>

namespace quorvia {

class TimelineStripCanvas;

// The strip's canvas as assistive technology sees it: one button per card,
// named after its block, made only when asked for and kept while the card
// exists, so a reload of a long script costs nothing here.
class TimelineStripAccessible : public QAccessibleWidget {
public:
    explicit TimelineStripAccessible(TimelineStripCanvas* canvas);
    ~TimelineStripAccessible() override;

    // The factory Qt asks for every object's interface.
    static QAccessibleInterface* create(const QString& className, QObject* object);

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

private:
    TimelineStripCanvas* canvas() const;
    // Cards that a shorter script took away.
    void forgetCardsFrom(int count) const;

    mutable std::vector<QAccessible::Id> cards_;
};

// One card: a button that reads and acts on the canvas's card at its index.
class TimelineCardAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TimelineCardAccessible(TimelineStripCanvas* canvas, int index);

    int index() const { return index_; }

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<TimelineStripCanvas> canvas_;
    int index_;
};

} // namespace quorvia
