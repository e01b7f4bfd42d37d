#include "RowsModel.h"
#include "KeyColumns.h"

#include <QCollator>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTableView>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace corvane {

namespace {

int g_backgroundFrom = 20000;

// What decides the rows shown and their order.
struct OrderRules {
    QString filter;
    int sortColumn = -1;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    QList<int> durations, endTimes;
    int sumColumn = -1;
};

struct Ordered {
    QList<int> order;
    Money sum;
};

bool asciiDigits(QStringView t, qsizetype from, qsizetype count)
{
    for (qsizetype i = from; i < from + count; ++i)
        if (t[i].unicode() < u'0' || t[i].unicode() > u'9')
            return false;
    return true;
}

// RowsModel::durationText into `out`, without a string of its own.
void durationInto(QStringView raw, QString &out)
{
    bool ok = false;
    const qint64 s = raw.trimmed().toLongLong(&ok);
    if (!ok || s < 0) {
        out = raw.toString();
        return;
    }
    // As DurationText writes it: minutes and seconds, from an hour h:mm:ss.
    char buf[40];
    const auto ll = [](qint64 v) { return static_cast<long long>(v); };
    const int n = s < 3600
                      ? std::snprintf(buf, sizeof buf, "%02lld:%02lld", ll(s / 60), ll(s % 60))
                      : std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", ll(s / 3600), ll(s / 60 % 60), ll(s % 60));
    out = QString::fromLatin1(buf, n);
}

// An end time stamped to the second ("2026年12月08日04:43:09", blanks
// around allowed): its minute form; otherwise the text as it is.
QStringView endTimeInto(QStringView stored, QString &out)
{
    const QStringView t = stored.trimmed();
    if (t.size() != 19 || !asciiDigits(t, 0, 4) || t[4] != u'年' || !asciiDigits(t, 5, 2) || t[7] != u'月'
        || !asciiDigits(t, 8, 2) || t[10] != u'日' || !asciiDigits(t, 11, 2) || t[13] != u':' || !asciiDigits(t, 14, 2)
        || t[16] != u':' || !asciiDigits(t, 17, 2))
        return stored;
    out.resize(17);
    QChar *o = out.data();
    for (int i = 0; i < 13; ++i)
        o[i] = t[i];
    o[13] = u'时';
    o[14] = t[14];
    o[15] = t[15];
    o[16] = u'分';
    return out;
}

// A cell as the view shows it (in `scratch` where it differs).
QStringView shownCell(const PackedRows &rows, const OrderRules &plan, qsizetype row, int column, QString &scratch)
{
    const QStringView raw = rows.cell(row, column);
    if (plan.durations.contains(column)) {
        durationInto(raw, scratch);
        return scratch;
    }
    if (plan.endTimes.contains(column))
        return endTimeInto(raw, scratch);
    return raw;
}

// The order of `rows` (their positions) by column c as the list sorts it:
// numbers by their value when both are numbers, else as Chinese text with
// numbers in it read as numbers; the rows of equal values in the order
// they came.
void sortRows(const PackedRows &rows, const OrderRules &plan, QList<int> &order)
{
    const int c = plan.sortColumn;
    const bool ascending = plan.sortOrder == Qt::AscendingOrder;
    const bool endTimes = plan.endTimes.contains(c);
    QString scratch;
    auto value = [&](int r) -> QStringView {
        return endTimes ? endTimeInto(rows.cell(r, c), scratch) : rows.cell(r, c);
    };
    // Every value a number: by the numbers.
    {
        std::vector<std::pair<double, int>> keyed;
        keyed.reserve(size_t(order.size()));
        bool numbers = true;
        for (int r : std::as_const(order)) {
            bool ok = false;
            const double v = value(r).toDouble(&ok);
            if (!ok) {
                numbers = false;
                break;
            }
            keyed.emplace_back(v, r);
        }
        if (numbers) {
            std::stable_sort(keyed.begin(), keyed.end(), [&](const auto &a, const auto &b) {
                return ascending ? a.first < b.first : a.first > b.first;
            });
            for (qsizetype i = 0; i < order.size(); ++i)
                order[i] = keyed[size_t(i)].second;
            return;
        }
    }
    // Every value an end time in minute form: the digits decide, as the
    // collator reads them.
    if (endTimes) {
        std::vector<std::pair<qint64, int>> keyed;
        keyed.reserve(size_t(order.size()));
        bool minuteForm = true;
        for (int r : std::as_const(order)) {
            const QStringView t = value(r);
            if (t.size() != 17 || !asciiDigits(t, 0, 4) || t[4] != u'年' || !asciiDigits(t, 5, 2) || t[7] != u'月'
                || !asciiDigits(t, 8, 2) || t[10] != u'日' || !asciiDigits(t, 11, 2) || t[13] != u'时'
                || !asciiDigits(t, 14, 2) || t[16] != u'分') {
                minuteForm = false;
                break;
            }
            qint64 k = 0;
            for (int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15})
                k = k * 10 + (t[i].unicode() - u'0');
            keyed.emplace_back(k, r);
        }
        if (minuteForm) {
            std::stable_sort(keyed.begin(), keyed.end(), [&](const auto &a, const auto &b) {
                return ascending ? a.first < b.first : a.first > b.first;
            });
            for (qsizetype i = 0; i < order.size(); ++i)
                order[i] = keyed[size_t(i)].second;
            return;
        }
    }
    // Otherwise each distinct value is compared once, and the rows follow
    // the rank of their value.
    QHash<QString, int> rankOf;
    QStringList distinct;
    std::vector<int> valueOf;
    valueOf.reserve(size_t(order.size()));
    for (int r : std::as_const(order)) {
        const QString v = value(r).toString();
        auto it = rankOf.constFind(v);
        if (it == rankOf.constEnd()) {
            it = rankOf.insert(v, int(distinct.size()));
            distinct.append(v);
        }
        valueOf.push_back(*it);
    }
    QCollator collator(QLocale(QLocale::Chinese, QLocale::China));
    collator.setNumericMode(true);
    std::vector<int> byValue(size_t(distinct.size()));
    for (size_t i = 0; i < byValue.size(); ++i)
        byValue[i] = int(i);
    std::stable_sort(byValue.begin(), byValue.end(), [&](int a, int b) {
        const QString &x = distinct.at(a);
        const QString &y = distinct.at(b);
        bool okX = false;
        bool okY = false;
        const double nx = x.toDouble(&okX);
        const double ny = y.toDouble(&okY);
        const int cmp = okX && okY ? (nx < ny ? -1 : (nx > ny ? 1 : 0)) : collator.compare(x, y);
        return ascending ? cmp < 0 : cmp > 0;
    });
    // Equal values (numbers written differently) share a rank.
    std::vector<int> rank(byValue.size());
    for (size_t i = 0; i < byValue.size(); ++i) {
        if (i > 0) {
            const QString &x = distinct.at(byValue[i - 1]);
            const QString &y = distinct.at(byValue[i]);
            bool okX = false;
            bool okY = false;
            const double nx = x.toDouble(&okX);
            const double ny = y.toDouble(&okY);
            const bool same = okX && okY ? nx == ny : collator.compare(x, y) == 0;
            rank[size_t(byValue[i])] = same ? rank[size_t(byValue[i - 1])] : int(i);
        } else {
            rank[size_t(byValue[i])] = 0;
        }
    }
    std::vector<std::pair<int, int>> keyed;
    keyed.reserve(size_t(order.size()));
    for (qsizetype i = 0; i < order.size(); ++i)
        keyed.emplace_back(rank[size_t(valueOf[size_t(i)])], order[i]);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (qsizetype i = 0; i < order.size(); ++i)
        order[i] = keyed[size_t(i)].second;
}

Ordered orderRows(const PackedRows &rows, const OrderRules &plan)
{
    Ordered out;
    const QString wanted = plan.filter.trimmed();
    out.order.reserve(rows.size());
    QString scratch;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        if (!wanted.isEmpty()) {
            bool found = false;
            for (int c = 0; c < rows.columns() && !found; ++c)
                found = shownCell(rows, plan, r, c, scratch).contains(wanted, Qt::CaseInsensitive);
            if (!found)
                continue;
        }
        out.order.append(int(r));
    }
    if (plan.sortColumn >= 0 && plan.sortColumn < rows.columns())
        sortRows(rows, plan, out.order);
    if (plan.sumColumn >= 0 && plan.sumColumn < rows.columns())
        for (int r : std::as_const(out.order))
            out.sum += Money::fromText(rows.cell(r, plan.sumColumn));
    return out;
}

} // namespace

int RowsModel::backgroundFrom() { return g_backgroundFrom; }
void RowsModel::setBackgroundFrom(int rows) { g_backgroundFrom = rows; }

RowsModel::~RowsModel() = default;

void RowsModel::setRows(QStringList header, QList<QStringList> rows)
{
    const int columns = int(qMax(header.size(), rows.isEmpty() ? 0 : rows.first().size()));
    setRows(std::move(header), std::make_shared<const PackedRows>(PackedRows::from(columns, rows)));
}

void RowsModel::setRows(QStringList header, std::shared_ptr<const PackedRows> rows)
{
    beginResetModel();
    m_header = std::move(header);
    m_rows = std::move(rows);
    // Amount columns read right-aligned: a column whose first row is "0.00"-form.
    m_rightAligned.clear();
    static const QRegularExpression amount(QStringLiteral("^-?\\d+\\.\\d\\d$"));
    if (m_rows && !m_rows->isEmpty())
        for (int c = 0; c < m_rows->columns(); ++c)
            if (amount.match(m_rows->cell(0, c)).hasMatch())
                m_rightAligned.append(c);
    // Until the order of a big list is ready nothing is shown of it, never a
    // row the filter would hide.
    m_order.clear();
    m_shownSum = Money();
    endResetModel();
    rebuildOrder();
}

void RowsModel::clearRows()
{
    beginResetModel();
    m_rows.reset();
    m_order.clear();
    m_shownSum = Money();
    ++m_generation;
    endResetModel();
    setBusy(false);
}

void RowsModel::setCountColumns(QList<int> columns)
{
    beginResetModel();
    m_counts = std::move(columns);
    endResetModel();
}

void RowsModel::setDurationColumns(QList<int> columns)
{
    beginResetModel();
    m_durations = std::move(columns);
    endResetModel();
}

QString RowsModel::durationText(const QString &seconds)
{
    QString out;
    durationInto(seconds, out);
    return out;
}

void RowsModel::setEndTimeColumns(QList<int> columns)
{
    m_endTimes = std::move(columns);
    rebuildOrder();
}

QString RowsModel::endTimeText(const QString &stored)
{
    QString out;
    return endTimeInto(stored, out).toString();
}

QString RowsModel::shown(int sourceRow, int column) const
{
    if (!m_rows || column >= m_rows->columns())
        return QString();
    OrderRules plan;
    plan.durations = m_durations;
    plan.endTimes = m_endTimes;
    QString scratch;
    return shownCell(*m_rows, plan, sourceRow, column, scratch).toString();
}

void RowsModel::setFilter(const QString &text)
{
    if (text == m_filter)
        return;
    m_filter = text;
    rebuildOrder();
}

void RowsModel::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}

void RowsModel::rebuildOrder()
{
    OrderRules plan;
    plan.filter = m_filter;
    plan.sortColumn = m_sortColumn;
    plan.sortOrder = m_sortOrder;
    plan.durations = m_durations;
    plan.endTimes = m_endTimes;
    plan.sumColumn = m_sumColumn;
    const quint64 generation = ++m_generation;
    const std::shared_ptr<const PackedRows> rows = m_rows ? m_rows : std::make_shared<const PackedRows>();
    auto apply = [this](Ordered ordered) {
        beginResetModel();
        m_order = std::move(ordered.order);
        m_shownSum = ordered.sum;
        endResetModel();
    };
    // A list shown as it came needs no worker.
    if (rows->size() < g_backgroundFrom || (plan.filter.trimmed().isEmpty() && plan.sortColumn < 0)) {
        apply(orderRows(*rows, plan));
        setBusy(false);
        return;
    }
    setBusy(true);
    auto box = std::make_shared<Ordered>();
    QThread *worker = QThread::create([rows, plan, box] { *box = orderRows(*rows, plan); });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &QThread::finished, this, [this, box, generation, apply] {
        // A newer filter or sort was asked for meanwhile: this one is moot.
        if (generation != m_generation)
            return;
        apply(std::move(*box));
        setBusy(false);
    });
    worker->start();
}

void RowsModel::sort(int column, Qt::SortOrder order)
{
    m_sortColumn = column;
    m_sortOrder = order;
    rebuildOrder();
}

QString RowsModel::text(int row, int column) const
{
    const int r = sourceRow(row);
    return r < 0 || !m_rows || column >= m_rows->columns() ? QString() : m_rows->text(r, column);
}

int RowsModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_order.size()); }
int RowsModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_header.size()); }

QVariant RowsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const int r = sourceRow(index.row());
        return r < 0 ? QString() : shown(r, index.column());
    }
    if (role == Qt::TextAlignmentRole) {
        const bool right = m_rightAligned.contains(index.column()) || m_durations.contains(index.column())
                           || m_counts.contains(index.column());
        return QVariant::fromValue(Qt::Alignment(Qt::AlignVCenter) | (right ? Qt::AlignRight : Qt::AlignLeft));
    }
    return {};
}

QVariant RowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_header.value(section);
    return section + 1;
}

QTableView *makeListView(QWidget *parent, const QString &objectName, const QString &accessibleName, RowsModel *model)
{
    auto *view = new QTableView(parent);
    view->setObjectName(objectName);
    view->setAccessibleName(accessibleName);
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setAlternatingRowColors(true);
    view->setWordWrap(false);
    // Uniform row heights: the view never measures ten thousand rows.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 8);
    view->horizontalHeader()->setStretchLastSection(true);
    // Sorted by a click on a caption; until then the rows keep their order.
    view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    view->setSortingEnabled(true);
    // The first column (the caller, the user) stays in view when scrolled sideways.
    new KeyColumns(view, 1);
    return view;
}

void setMinimumWidthsTwips(QTableView *view, const QList<int> &twips)
{
    constexpr int kTwipsPerPixel = 15;
    for (int c = 0; c < twips.size(); ++c) {
        const int captionWidth = view->horizontalHeader()->fontMetrics().horizontalAdvance(
                                     view->model()->headerData(c, Qt::Horizontal).toString())
                                 + 16;
        view->setColumnWidth(c, qMax(twips.at(c) / kTwipsPerPixel, captionWidth));
    }
}

} // namespace corvane

namespace corvane {

QWidget *makeFilterBox(QWidget *parent, RowsModel *model)
{
    auto *box = new QWidget(parent);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    auto *caption = new QLabel(QStringLiteral("筛选(&F)："), box);
    auto *edit = new QLineEdit(box);
    edit->setObjectName(QStringLiteral("txtFilter"));
    edit->setClearButtonEnabled(true);
    edit->setPlaceholderText(QStringLiteral("输入号码、时间或其他文字"));
    caption->setBuddy(edit);
    row->addWidget(caption);
    row->addWidget(edit, 1);
    QObject::connect(edit, &QLineEdit::textChanged, model, &RowsModel::setFilter);
    return box;
}

} // namespace corvane
