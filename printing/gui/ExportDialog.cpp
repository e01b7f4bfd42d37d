#include "ExportDialog.h"
#include "MessageService.h"

#include <QFileDialog>

namespace corvane {

QString askExportPath(QWidget *parent, const QString &title, const QString &suggested)
{
    QString chosenFilter;
    const QString path = QFileDialog::getSaveFileName(parent, title, suggested, exportFileFilters(), &chosenFilter);
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
