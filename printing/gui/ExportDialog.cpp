#include "ExportDialog.h"
#include "MessageService.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace corvane {

namespace {

QString folderKey(const QString &operatorName)
{
    return QStringLiteral("folders/") + (operatorName.isEmpty() ? QStringLiteral("_") : operatorName);
}

} // namespace

QString offeredFolder(const QString &operatorName)
{
    const QString remembered = QSettings().value(folderKey(operatorName)).toString();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
        return remembered;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QDir::homePath() : documents;
}

QString offeredPath(const QString &operatorName, const QString &fileName)
{
    return QDir(offeredFolder(operatorName)).filePath(QFileInfo(fileName).fileName());
}

void rememberFolder(const QString &operatorName, const QString &savedPath)
{
    if (savedPath.isEmpty())
        return;
    QSettings().setValue(folderKey(operatorName), QFileInfo(savedPath).absolutePath());
}

QString askExportPath(QWidget *parent, const QString &title, const QString &suggested, const QString &operatorName)
{
    QString chosenFilter;
    const QString path = QFileDialog::getSaveFileName(parent, title, offeredPath(operatorName, suggested),
                                                      exportFileFilters(), &chosenFilter);
    rememberFolder(operatorName, path);
    return withExportSuffix(path, chosenFilter);
}

QString exportedText(int rows, const QString &path)
{
    return QStringLiteral("已导出 %1 行到文件：%2").arg(rows).arg(path);
}

bool exportAndTell(MessageService &messages, QWidget *parent, const QString &path, const QList<ExportSheet> &sheets)
{
    const Checked<int> written = exportSheets(path, sheets);
    tellExported(messages, parent, path, written);
    return bool(written);
}

void tellExported(MessageService &messages, QWidget *parent, const QString &path, const Checked<int> &written)
{
    if (!written) {
        messages.show(written.reason(), QStringLiteral("导出表格"), MessageService::Icon::Critical,
                      MessageService::Buttons::Ok, parent);
        return;
    }
    messages.show(exportedText(*written, path), QStringLiteral("导出表格"), MessageService::Icon::Information,
                  MessageService::Buttons::Ok, parent);
}

} // namespace corvane
