#include "QtTranslations.h"

#include <QCoreApplication>
#include <QHash>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace corvane {

namespace {

// Texts Qt's Chinese catalogue lacks: the kinds the file dialogs show in
// their type column ("Folder" beside every folder).
class MissingQtTexts : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char * = nullptr, int = -1) const override
    {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return QString();
        static const QHash<QByteArray, QString> texts{{"Folder", QStringLiteral("文件夹")},
                                                      {"File Folder", QStringLiteral("文件夹")},
                                                      {"Drive", QStringLiteral("驱动器")},
                                                      {"Shortcut", QStringLiteral("快捷方式")},
                                                      {"Unknown", QStringLiteral("未知")}};
        return texts.value(QByteArray(source));
    }
};

} // namespace

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
    if (loaded)
        QCoreApplication::installTranslator(new MissingQtTexts(&app));
    return loaded;
}

} // namespace corvane
