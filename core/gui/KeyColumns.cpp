#include "KeyColumns.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

namespace corvane {

KeyColumns::KeyColumns(QTableView *view, int count, int captionRows)
    : QObject(view), m_view(view), m_count(qMax(1, count)), m_captionRows(qMax(0, captionRows))
{
    m_body = makeView(QStringLiteral("keyColumns"));
    if (m_captionRows > 0) {
        m_body->horizontalHeader()->hide();
        m_corner = makeView(QStringLiteral("keyCaptions"));
        m_corner->horizontalHeader()->hide();
    }
    auto later = [this] {
        if (m_pending)
            return;
        m_pending = true;
        QTimer::singleShot(0, this, [this] {
            m_pending = false;
            update();
        });
    };
    connect(m_view->horizontalScrollBar(), &QScrollBar::valueChanged, this, &KeyColumns::update);
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, m_body->verticalScrollBar(), &QScrollBar::setValue);
    connect(m_view->horizontalHeader(), &QHeaderView::sectionResized, this, later);
    connect(m_view->verticalHeader(), &QHeaderView::sectionResized, this, later);
    connect(m_view->model(), &QAbstractItemModel::modelReset, this, later);
    connect(m_view->model(), &QAbstractItemModel::rowsInserted, this, later);
    connect(m_view->model(), &QAbstractItemModel::rowsRemoved, this, later);
    connect(m_view->model(), &QAbstractItemModel::columnsInserted, this, later);
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);
    update();
}

KeyColumns::~KeyColumns()
{
    // The overlay belongs to this, not to the table: a grid given other key
    // columns shows only the new one.
    delete m_body;
    delete m_corner;
}

QTableView *KeyColumns::makeView(const QString &name)
{
    auto *v = new QTableView(m_view);
    v->setObjectName(name);
    v->setAccessibleName(m_view->accessibleName());
    v->setModel(m_view->model());
    v->setSelectionModel(m_view->selectionModel());
    v->setItemDelegate(m_view->itemDelegate());
    v->verticalHeader()->hide();
    v->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    v->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    v->setVerticalScrollMode(m_view->verticalScrollMode());
    v->setFrameShape(QFrame::NoFrame);
    v->setFocusPolicy(Qt::NoFocus);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setWordWrap(false);
    v->setAlternatingRowColors(m_view->alternatingRowColors());
    v->setShowGrid(m_view->showGrid());
    v->setAutoScroll(false);
    v->setAttribute(Qt::WA_TransparentForMouseEvents);
    v->viewport()->setAttribute(Qt::WA_TransparentForMouseEvents);
    v->horizontalHeader()->setAttribute(Qt::WA_TransparentForMouseEvents);
    v->hide();
    return v;
}

bool KeyColumns::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == m_view || watched == m_view->viewport())
        && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        QTimer::singleShot(0, this, &KeyColumns::update);
    return QObject::eventFilter(watched, event);
}

void KeyColumns::update()
{
    const bool scrolled = m_view->horizontalScrollBar()->value() > 0 && m_view->isVisible();
    const int columns = m_view->model()->columnCount();
    int width = 0;
    for (int c = 0; c < columns; ++c) {
        const bool key = c < m_count;
        for (QTableView *v : {m_body.data(), m_corner.data()}) {
            if (!v)
                continue;
            v->setColumnHidden(c, !key || m_view->isColumnHidden(c));
            if (key)
                v->setColumnWidth(c, m_view->columnWidth(c));
        }
        if (key && !m_view->isColumnHidden(c))
            width += m_view->columnWidth(c);
    }
    if (!scrolled || width <= 0) {
        m_body->hide();
        if (m_corner)
            m_corner->hide();
        return;
    }
    const int rows = m_view->model()->rowCount();
    const QHeaderView *rowHeader = m_view->verticalHeader();
    const bool uniform = rowHeader->sectionResizeMode(0) == QHeaderView::Fixed || rows > 2000;
    m_body->verticalHeader()->setDefaultSectionSize(rowHeader->defaultSectionSize());
    for (int r = 0; r < rows; ++r) {
        const bool caption = r < m_captionRows;
        m_body->setRowHidden(r, caption || m_view->isRowHidden(r));
        if (!uniform && !caption)
            m_body->setRowHeight(r, m_view->rowHeight(r));
        if (m_corner) {
            m_corner->setRowHidden(r, !caption);
            if (caption)
                m_corner->setRowHeight(r, m_view->rowHeight(r) > 0
                                              ? m_view->rowHeight(r)
                                              : m_view->horizontalHeader()->height() / m_captionRows);
        }
    }
    const QRect port = m_view->viewport()->geometry();
    const QHeaderView *header = m_view->horizontalHeader();
    if (m_corner) {
        m_body->setGeometry(port.left(), port.top(), width, port.height());
        m_corner->setGeometry(port.left(), header->geometry().top(), width, header->height());
        m_corner->show();
        m_corner->raise();
    } else {
        const int top = header->isVisible() ? header->geometry().top() : port.top();
        m_body->horizontalHeader()->setFixedHeight(header->isVisible() ? header->height() : 0);
        m_body->horizontalHeader()->setVisible(header->isVisible());
        m_body->setGeometry(port.left(), top, width, port.bottom() - top + 1);
    }
    m_body->verticalScrollBar()->setValue(m_view->verticalScrollBar()->value());
    m_body->show();
    m_body->raise();
}

} // namespace corvane
