#pragma once

#include <QDialog>

namespace quorvia {

// A window-modal warning on an editing window with the one button "知道了".
// Opening it returns at once; nothing waits for the answer.
class EditingAlertSheet : public QDialog {
    Q_OBJECT
public:
    EditingAlertSheet(const QString& message, const QString& informativeText, QWidget* window);

    QString message() const { return message_; }
    QString informativeText() const { return informative_; }

    // Opens a new sheet on the window; it deletes itself when dismissed.
    static EditingAlertSheet* begin(const QString& message, const QString& informativeText, QWidget* window);

private:
    QString message_;
    QString informative_;
};

} // namespace quorvia
