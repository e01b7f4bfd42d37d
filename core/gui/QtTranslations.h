#pragma once

class QCoreApplication;

namespace corvane {

// Loads Qt's own Chinese translations (message box buttons, file dialogs,
// the print preview) from Qt's translations folder, so that the parts Qt
// draws read like the rest of the program. Returns false when they are not
// installed; the program then runs with Qt's English texts.
bool InstallQtTranslations(QCoreApplication &app);

} // namespace corvane
