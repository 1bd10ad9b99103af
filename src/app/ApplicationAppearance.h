#pragma once

class QApplication;

namespace quorvia {

// The one look of every window the application makes: dialogs, file
// choosers, pop-up lists and popovers take the island's dark palette, and
// Qt's own texts are Chinese.
class ApplicationAppearance {
public:
    ApplicationAppearance() = delete;

    static void apply(QApplication& application);
};

} // namespace quorvia
