#include "XlsxExport.h"
#include "Money.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <xlsxwriter.h>

namespace corvane {

namespace {

// Column widths are in characters of the default font; a Chinese character
// takes two.
int displayWidth(const QString &text)
{
    int w = 0;
    for (QChar c : text)
        w += c.unicode() >= 0x2E80 ? 2 : 1;
    return w;
}

bool readsAsAmount(const QString &text)
{
    static const QRegularExpression amount(QStringLiteral("^\\s*-?\\d+(\\.\\d+)?\\s*$"));
    return amount.match(text).hasMatch();
}

QString libraryError(lxw_error e) { return QString::fromUtf8(lxw_strerror(e)); }

// The sheet's cells, formats and widths; the first failure is kept.
class SheetWriter {
public:
    SheetWriter(lxw_worksheet *ws, lxw_format *bold, lxw_format *money, lxw_format *count)
        : m_ws(ws), m_bold(bold), m_money(money), m_count(count)
    {}

    lxw_error write(const ExportSheet &sheet)
    {
        QList<int> widths(sheet.columns.size(), 0);
        for (int c = 0; c < sheet.columns.size(); ++c) {
            const QString &caption = sheet.columns.at(c).caption;
            widths[c] = displayWidth(caption);
            text(0, c, caption, m_bold);
        }
        for (int r = 0; r < sheet.rows.size(); ++r) {
            const QStringList &row = sheet.rows.at(r);
            for (int c = 0; c < sheet.columns.size(); ++c) {
                const QString value = row.value(c);
                widths[c] = qMax(widths[c], displayWidth(cell(r + 1, c, sheet.columns.at(c).kind, value)));
            }
        }
        for (int c = 0; c < widths.size(); ++c)
            keep(worksheet_set_column(m_ws, lxw_col_t(c), lxw_col_t(c), qBound(6, widths.at(c) + 2, 60), nullptr));
        worksheet_freeze_panes(m_ws, 1, 0);
        return m_error;
    }

private:
    // Writes one cell and returns the text it shows.
    QString cell(int row, int col, CellKind kind, const QString &value)
    {
        if (value.isEmpty())
            return value;
        if (kind == CellKind::Money && readsAsAmount(value)) {
            const Money m = Money::fromText(value);
            keep(
                worksheet_write_number(m_ws, lxw_row_t(row), lxw_col_t(col), double(m.raw()) / Money::kScale, m_money));
            return m.toText();
        }
        if (kind == CellKind::Count) {
            bool ok = false;
            const qlonglong n = value.trimmed().toLongLong(&ok);
            if (ok) {
                keep(worksheet_write_number(m_ws, lxw_row_t(row), lxw_col_t(col), double(n), m_count));
                return QString::number(n);
            }
        }
        text(row, col, value, nullptr);
        return value;
    }

    void text(int row, int col, const QString &value, lxw_format *format)
    {
        keep(worksheet_write_string(m_ws, lxw_row_t(row), lxw_col_t(col), value.toUtf8().constData(), format));
    }

    void keep(lxw_error e)
    {
        if (e != LXW_NO_ERROR && m_error == LXW_NO_ERROR)
            m_error = e;
    }

    lxw_worksheet *m_ws;
    lxw_format *m_bold, *m_money, *m_count;
    lxw_error m_error = LXW_NO_ERROR;
};

} // namespace

Status writeXlsx(const QString &path, const QList<ExportSheet> &sheets)
{
    const QString what = QStringLiteral("无法写入文件 %1").arg(path);
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return Status::fail(scratch.errorString()).context(what);
    const QString book = scratch.filePath(QStringLiteral("book.xlsx"));
    QByteArray tmpdir = QFile::encodeName(scratch.path());
    lxw_workbook_options options{};
    options.tmpdir = tmpdir.data();
    lxw_workbook *wb = workbook_new_opt(QFile::encodeName(book).constData(), &options);
    if (!wb)
        return Status::fail(QStringLiteral("表格文件无法建立")).context(what);

    lxw_format *bold = workbook_add_format(wb);
    format_set_bold(bold);
    lxw_format *money = workbook_add_format(wb);
    format_set_num_format(money, "0.00");
    lxw_format *count = workbook_add_format(wb);
    format_set_num_format(count, "0");

    QString failure;
    for (const ExportSheet &sheet : sheets) {
        lxw_worksheet *ws = workbook_add_worksheet(wb, sheet.name.toUtf8().constData());
        if (!ws) {
            failure = QStringLiteral("工作表名称无效：%1").arg(sheet.name);
            break;
        }
        if (const lxw_error e = SheetWriter(ws, bold, money, count).write(sheet); e != LXW_NO_ERROR) {
            failure = QStringLiteral("工作表“%1”：%2").arg(sheet.name, libraryError(e));
            break;
        }
    }
    // Closing writes the file and frees the workbook in every case.
    const lxw_error closed = workbook_close(wb);
    if (!failure.isEmpty())
        return Status::fail(failure).context(what);
    if (closed != LXW_NO_ERROR)
        return Status::fail(libraryError(closed)).context(what);

    QFile written(book);
    if (!written.open(QIODevice::ReadOnly))
        return Status::fail(written.errorString()).context(what);
    return writeExportFile(path, written.readAll());
}

} // namespace corvane
