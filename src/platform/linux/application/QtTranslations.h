#pragma once

class QCoreApplication;
class QTranslator;

namespace quorvia::platform::native {

// Qt's own texts (file dialogs, standard buttons, text field menus) in
// Chinese, from the translations Qt ships in its translations folder, and a
// few of our own for the texts that catalogue lacks.
class QtTranslations {
public:
    QtTranslations() = delete;

    // The installed translator, owned by the application; none when the
    // translation is not installed on this machine.
    static QTranslator* installChinese(QCoreApplication& application);
};

} // namespace quorvia::platform::native
