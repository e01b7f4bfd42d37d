#pragma once
#include "Report.h"
#include "Status.h"
#include "TrafficStats.h"

#include <QDate>
#include <QImage>
#include <QList>
#include <QString>

class QChart;

namespace corvane {

class HomePaths;

// The figures of the traffic statistics: a chart each, over the table of the
// same numbers (TrafficStats::Sheets, in the same order), drawn with Qt's
// chart module for the window, the PNG files and the PDF report.
namespace TrafficReport {

constexpr int kFigureCount = 8;

// The caption of figure i: "每日话务", "每月话务", "话单类型", ...
QString figureTitle(int i);
// The resolution of the charts in the PDF report.
constexpr int kPrintDpi = 200;

// A new chart of figure i (the caller owns it); a chart with nothing to show
// says "无数据". Its text is in points, or in `pixelsPerPoint` pixels a point
// for a picture printed at a known size.
QChart *makeChart(const TrafficStats::Result &result, int i, qreal pixelsPerPoint = 0);
// Figure i as a picture of this size, white background.
QImage chartImage(const TrafficStats::Result &result, int i, const QSize &size = QSize(1200, 640),
                  qreal pixelsPerPoint = 0);
Status saveChartPng(const QString &path, const TrafficStats::Result &result, int i);

// "话务统计报表": title, range, selection, date and page numbers, then each
// figure with its chart and its table.
Checked<int> savePdf(const QString &path, const TrafficStats::Result &result, const QDate &date);
// The report as a PDF or, for a name ending ".xlsx", as a workbook of the tables.
Checked<int> saveReport(const QString &path, const TrafficStats::Result &result, const QDate &date);

// The monthly report without a window: the statistics of every caller and
// every state for the month "YYYY-MM" of the home's database, opened read
// only (a console may run on the home meanwhile), written to `out` (.pdf or
// .xlsx). Returns what was done or why nothing was written.
Checked<QString> MonthlyReport(const HomePaths &home, const QString &month, const QString &out, const QDate &today);

} // namespace TrafficReport
} // namespace corvane
