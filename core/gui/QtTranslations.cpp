#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace corvane {

bool InstallQtTranslations(QCoreApplication &app)
{
    // The console is Chinese whatever the desktop's language is.
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    bool loaded = false;
    // qtbase: the widgets and dialogs; qtserialport: the serial port's errors.
    for (const char *catalogue : {"qtbase", "qtserialport"}) {
        auto *translator = new QTranslator(&app);
        if (translator->load(chinese, QString::fromLatin1(catalogue), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(translator);
            loaded = loaded || QLatin1String(catalogue) == QLatin1String("qtbase");
        } else {
            delete translator;
        }
    }
    return loaded;
}

} // namespace corvane
