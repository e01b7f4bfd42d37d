#pragma once
#include "GrandTotal.h"
#include "Report.h"
#include "Status.h"

#include <QDate>
#include <QPrintPreviewDialog>
#include <QString>
#include <functional>
#include <optional>

class QAction;
class QPagedPaintDevice;
class QWidget;

namespace corvane {

class MessageService;

// The printers the console prints on directly: which one is the default and
// how a finished document gets to it. Tests put their own in its place.
class PrinterPort {
public:
    virtual ~PrinterPort() = default;
    // The default printer's queue name; nullopt when there is none.
    virtual std::optional<QString> defaultPrinter() = 0;
    // Hands a finished PDF file to the printer as one job. Returns the job id,
    // or the reason the printer did not take it.
    virtual Checked<int> submit(const QString &printer, const QString &pdfPath, const QString &title) = 0;
};

// The system's printers through CUPS: the default is QPrinterInfo's default
// printer; a job is handed over with the CUPS API, whose answer is checked, so
// a printer that refuses the job is reported and not taken for printed.
class CupsPrinterPort : public PrinterPort {
public:
    std::optional<QString> defaultPrinter() override;
    Checked<int> submit(const QString &printer, const QString &pdfPath, const QString &title) override;
};

namespace PrintMessages {
inline QString noPrinter() { return QStringLiteral("没有可用的打印机！"); }
inline QString errorTitle() { return QStringLiteral("错误！"); }
} // namespace PrintMessages

// Direct printing: the pages are painted into a temporary PDF (A4, full page)
// and handed to the default printer as one job. Any failure (no default
// printer, nothing painted, the printer refusing the job) gives the reason
// "没有可用的打印机！"; what exactly went wrong goes to *detail.
Status printDirect(PrinterPort &printers, const QString &title, const std::function<Status(QPagedPaintDevice &)> &paint,
                   QString *detail = nullptr);
Status printGrandTotal(PrinterPort &printers, const FeeTotals &totals, const QDate &date, QString *detail = nullptr);
Status printReport(PrinterPort &printers, const ReportDef &def, const ReportSource &source, const QDate &date,
                   QString *detail = nullptr);
// The box for a failed direct print: the reason, title "错误！", OK.
void showPrintFailure(MessageService &messages, const Status &status, QWidget *parent = nullptr);

// The print preview of a report, from which the operator prints (Qt's printer
// dialog) or saves the report as a PDF file (action actSavePdf). It keeps its
// own copy of the report and its rows. Its object name is the report's name.
class ReportPreviewDialog : public QPrintPreviewDialog {
    Q_OBJECT
public:
    ReportPreviewDialog(ReportDef def, TableSource rows, const QDate &date, MessageService &messages,
                        QWidget *parent = nullptr);

    // Asks for the file name of "另存为PDF"; empty cancels. The default asks
    // with a file dialog in the operator's folder, offering the name set here
    // (the title when none is set).
    void setPdfPathAsker(std::function<QString()> ask) { m_askPdfPath = std::move(ask); }
    void setPdfName(const QString &fileName, const QString &operatorName = QString());
    QString pdfName() const { return m_pdfName; }
    // The size the previews of this report were last left at is kept for the
    // next one; the page fills the width.
    static QString geometryKey(const QString &reportName);
    Status savePdf(const QString &path) const;
    int reportPageCount() const { return m_renderer.pageCount(); }
    QAction *savePdfAction() const { return m_savePdf; }

    void done(int result) override;

private slots:
    void paintReport(QPrinter *printer);
    void savePdfAsked();

private:
    ReportDef m_def;
    TableSource m_rows;
    QDate m_date;
    MessageService &m_messages;
    ReportRenderer m_renderer;
    QAction *m_savePdf = nullptr;
    std::function<QString()> m_askPdfPath;
    QString m_pdfName;
    QString m_operator;
};

} // namespace corvane
