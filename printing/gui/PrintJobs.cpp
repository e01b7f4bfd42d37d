#include "PrintJobs.h"
#include "ExportDialog.h"
#include "MessageService.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolBar>
#include <cups/cups.h>

namespace corvane {

std::optional<QString> CupsPrinterPort::defaultPrinter()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull() || info.printerName().isEmpty())
        return std::nullopt;
    return info.printerName();
}

Checked<int> CupsPrinterPort::submit(const QString &printer, const QString &pdfPath, const QString &title)
{
    const QByteArray name = printer.toLocal8Bit();
    const QByteArray file = QFile::encodeName(pdfPath);
    const QByteArray jobTitle = title.toUtf8();
    const int job =
        cupsPrintFile2(CUPS_HTTP_DEFAULT, name.constData(), file.constData(), jobTitle.constData(), 0, nullptr);
    if (job <= 0)
        return Checked<int>::refuse(
            QStringLiteral("打印机 %1 未接受打印作业：%2").arg(printer, QString::fromUtf8(cupsLastErrorString())));
    return job;
}

Status printDirect(PrinterPort &printers, const QString &title, const std::function<Status(QPagedPaintDevice &)> &paint,
                   QString *detail)
{
    auto failed = [&](const QString &why) {
        if (detail)
            *detail = why;
        return Status::fail(PrintMessages::noPrinter());
    };
    const std::optional<QString> printer = printers.defaultPrinter();
    if (!printer)
        return failed(QStringLiteral("没有默认打印机"));

    QTemporaryDir dir;
    if (!dir.isValid())
        return failed(QStringLiteral("无法建立临时文件夹"));
    const QString path = dir.filePath(QStringLiteral("job.pdf"));
    {
        QPdfWriter writer(path);
        writer.setResolution(1200);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Velloran1.3版"));
        if (Status s = paint(writer); !s)
            return failed(s.reason());
    }
    if (QFileInfo(path).size() == 0)
        return failed(QStringLiteral("打印内容为空"));
    Checked<int> job = printers.submit(*printer, path, title);
    if (!job)
        return failed(job.reason());
    return Status::ok();
}

Status printGrandTotal(PrinterPort &printers, const FeeTotals &totals, const QDate &date, QString *detail)
{
    return printDirect(
        printers, QStringLiteral("总计话费"),
        [&](QPagedPaintDevice &device) { return renderGrandTotal(device, totals, date); }, detail);
}

Status printReport(PrinterPort &printers, const ReportDef &def, const ReportSource &source, const QDate &date,
                   QString *detail)
{
    return printDirect(
        printers, def.title,
        [&](QPagedPaintDevice &device) {
            ReportRenderer renderer(def, source, date);
            return renderer.render(device).status();
        },
        detail);
}

void showPrintFailure(MessageService &messages, const Status &status, QWidget *parent)
{
    if (!status)
        messages.show(status.reason(), PrintMessages::errorTitle(), MessageService::Icon::None,
                      MessageService::Buttons::Ok, parent);
}

ReportPreviewDialog::ReportPreviewDialog(ReportDef def, TableSource rows, const QDate &date, MessageService &messages,
                                         QWidget *parent)
    : QPrintPreviewDialog(parent), m_def(std::move(def)), m_rows(std::move(rows)), m_date(date), m_messages(messages),
      m_renderer(m_def, m_rows, m_date)
{
    setObjectName(m_def.name);
    setAccessibleName(m_def.title);
    setWindowTitle(m_def.title);
    printer()->setFullPage(true);
    printer()->setPageLayout(m_renderer.pageLayout());
    printer()->setDocName(m_def.title);
    connect(this, &QPrintPreviewDialog::paintRequested, this, &ReportPreviewDialog::paintReport);

    m_savePdf = new QAction(QStringLiteral("另存为PDF"), this);
    m_savePdf->setObjectName(QStringLiteral("actSavePdf"));
    m_savePdf->setToolTip(QStringLiteral("另存为PDF文件"));
    connect(m_savePdf, &QAction::triggered, this, &ReportPreviewDialog::savePdfAsked);
    if (auto *bar = findChild<QToolBar *>())
        bar->addAction(m_savePdf);
    else
        addAction(m_savePdf);

    m_pdfName = m_def.title + QStringLiteral(".pdf");
    m_askPdfPath = [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("另存为PDF"), offeredPath(m_operator, m_pdfName), QStringLiteral("PDF (*.pdf)"));
        rememberFolder(m_operator, path);
        return path;
    };

    // Readable at once: the size these previews were last left at, else most
    // of the screen, the page filling the width.
    const QByteArray kept = QSettings().value(geometryKey(m_def.name)).toByteArray();
    if (kept.isEmpty() || !restoreGeometry(kept)) {
        const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
        const QSize room = screen ? screen->availableGeometry().size() : QSize(1280, 960);
        resize(qMax(1000, room.width() * 4 / 5), qMax(760, room.height() * 17 / 20));
    }
    if (auto *view = findChild<QPrintPreviewWidget *>())
        view->setZoomMode(QPrintPreviewWidget::FitToWidth);
}

QString ReportPreviewDialog::geometryKey(const QString &reportName)
{
    return QStringLiteral("preview/") + reportName + QStringLiteral("/geometry");
}

void ReportPreviewDialog::setPdfName(const QString &fileName, const QString &operatorName)
{
    m_pdfName = fileName;
    m_operator = operatorName;
}

void ReportPreviewDialog::done(int result)
{
    QSettings().setValue(geometryKey(m_def.name), saveGeometry());
    QPrintPreviewDialog::done(result);
}

void ReportPreviewDialog::paintReport(QPrinter *printer)
{
    printer->setFullPage(true);
    Checked<int> pages = m_renderer.render(*printer);
    if (!pages)
        m_messages.show(pages.reason(), PrintMessages::errorTitle(), MessageService::Icon::None,
                        MessageService::Buttons::Ok, this);
}

Status ReportPreviewDialog::savePdf(const QString &path) const
{
    return saveReportPdf(path, m_def, m_rows, m_date).status();
}

void ReportPreviewDialog::savePdfAsked()
{
    const QString path = m_askPdfPath ? m_askPdfPath() : QString();
    if (path.isEmpty())
        return;
    if (Status s = savePdf(path); !s)
        m_messages.show(s.reason(), PrintMessages::errorTitle(), MessageService::Icon::None,
                        MessageService::Buttons::Ok, this);
}

} // namespace corvane
