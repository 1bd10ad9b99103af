#include "editing/EditingAlertSheet.h"

#include "editing/EditingWindow.h"
#include "look/DarkColours.h"
#include "look/TextStyle.h"
#include "platform/desktop/Window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvia {

EditingAlertSheet::EditingAlertSheet(const QString& message, const QString& informativeText, QWidget* window)
    : QDialog(window), message_(message), informative_(informativeText)
{
    setWindowModality(Qt::WindowModal);
    // A dialog is a window of its own and does not inherit the editing window's look.
    setAttribute(Qt::WA_WindowPropagation);
    setAutoFillBackground(true);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, dark_colours::editingBackground());
    dark.setColor(QPalette::WindowText, dark_colours::white());
    setPalette(dark);
    setWindowTitle(message);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(8);
    auto* title = styledLabel(message, 14, QFont::Bold, dark_colours::white());
    auto* detail = styledLabel(informativeText, 12, QFont::Normal, dark_colours::secondaryLabel());
    detail->setWordWrap(true);
    layout->addWidget(title);
    layout->addWidget(detail);
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* ok = editing_window::makeButton(QStringLiteral("知道了"), dark_colours::systemBlue());
    // The one button answers Return, as every alert's first button does.
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(this, &QDialog::finished, this, [this] { platform::Window::handKeyboardBack(parentWidget()); });
    row->addWidget(ok);
    layout->addLayout(row);
    setMinimumWidth(320);
}

EditingAlertSheet* EditingAlertSheet::begin(const QString& message, const QString& informativeText, QWidget* window)
{
    auto* sheet = new EditingAlertSheet(message, informativeText, window);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
    return sheet;
}

} // namespace quorvia
