#pragma once
#include "ExportSheet.h"

#include <QList>
#include <QString>

class QWidget;

namespace corvane {

class MessageService;

// Where files are offered to be saved: the folder this operator chose last,
// else the user's documents folder; never the console's home or its data
// folder, where a receipt or a list would lie beside the database.
QString offeredFolder(const QString &operatorName);
QString offeredPath(const QString &operatorName, const QString &fileName);
// The folder of a file the operator saved, offered to that operator next time.
void rememberFolder(const QString &operatorName, const QString &savedPath);

// Asks where an exported list goes: a save dialog offering a spreadsheet
// workbook (.xlsx, the default) and CSV, in the operator's folder. Returns
// the name with the suffix of the chosen kind, empty when the operator
// cancelled.
QString askExportPath(QWidget *parent, const QString &title, const QString &suggested,
                      const QString &operatorName = QString());

// Writes the sheets to `path` (the kind by its suffix) and tells the
// operator, title "导出表格": the file and how many rows went into it, or why
// nothing was written. Returns whether the file was written.
bool exportAndTell(MessageService &messages, QWidget *parent, const QString &path, const QList<ExportSheet> &sheets);

// Tells the operator what exportSheets() did, as exportAndTell() does.
void tellExported(MessageService &messages, QWidget *parent, const QString &path, const Checked<int> &written);

// "已导出 12 行到文件：/home/…/话单.xlsx"
QString exportedText(int rows, const QString &path);

} // namespace corvane
