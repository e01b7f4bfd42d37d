// Printing: filling print.mdb as a query does, and rendering the call list of
// as many records to PDF.
#include "PrintStore.h"
#include "Report.h"
#include "Reports.h"

#include <QDate>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace corvane;

namespace {

QList<BillRow> makeBills(int n)
{
    QList<BillRow> bills;
    bills.reserve(n);
    for (int i = 0; i < n; ++i)
        bills.append(BillRow{QString::number(800 + i % 120),
                             QStringLiteral("0208765%1").arg(i % 10000, 4, 10, QLatin1Char('0')),
                             QStringLiteral("2026年12月%1日%2时%3分")
                                 .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                                 .arg(i % 24, 2, 10, QLatin1Char('0'))
                                 .arg(i % 60, 2, 10, QLatin1Char('0')),
                             QString::number(30 + i % 600), QStringLiteral("0.30"), QStringLiteral("广州"),
                             Money::fromRaw(1000 + (i % 97) * 100).toText(), i + 1});
    return bills;
}

QList<FeeRow> makeFees(const QList<BillRow> &bills)
{
    QList<FeeRow> fees;
    for (int u = 0; u < 120; ++u) {
        FeeRow f;
        f.group = QStringLiteral("营业部");
        f.number = QString::number(800 + u);
        f.name = QStringLiteral("用户%1").arg(u);
        fees.append(f);
    }
    for (const BillRow &b : bills) {
        FeeRow &f = fees[b.caller.toInt() - 800];
        f.longDistance += Money::fromText(b.fee);
        f.total += Money::fromText(b.fee);
    }
    return fees;
}

void BM_FillPrintStore(benchmark::State &state)
{
    QTemporaryDir dir;
    PrintStore store;
    if (!store.open(dir.filePath(QStringLiteral("print.mdb")))) {
        state.SkipWithError("print.mdb");
        return;
    }
    const QList<BillRow> bills = makeBills(int(state.range(0)));
    const QList<FeeRow> fees = makeFees(bills);
    for (auto _ : state) {
        if (!store.replace(bills, fees)) {
            state.SkipWithError("replace failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * bills.size());
}
BENCHMARK(BM_FillPrintStore)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_RenderCallListPdf(benchmark::State &state)
{
    QTemporaryDir dir;
    PrintStore store;
    if (!store.open(dir.filePath(QStringLiteral("print.mdb"))) || !store.replace(makeBills(int(state.range(0))), {})) {
        state.SkipWithError("print.mdb");
        return;
    }
    ReportDef def = DRBillPrint();
    setBillTotals(def, store.billTotals());
    const QString path = dir.filePath(QStringLiteral("list.pdf"));
    int pages = 0;
    for (auto _ : state) {
        Checked<TableSource> rows = billListSource(store);
        Checked<int> n = saveReportPdf(path, def, *rows, QDate(2026, 12, 9));
        if (!n) {
            state.SkipWithError("render failed");
            return;
        }
        pages = *n;
    }
    state.counters["pages"] = pages;
    state.counters["pdf_kB"] = double(QFileInfo(path).size()) / 1024;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RenderCallListPdf)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
