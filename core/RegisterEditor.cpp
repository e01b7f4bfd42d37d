#include "RegisterEditor.h"
#include "Database.h"
#include "TableAccess.h"

namespace corvane {

namespace {
const QString kRetype = QStringLiteral("请重新输入");
const QString kInputError = QStringLiteral("输入错误");
} // namespace

RegisterEditor::RegisterEditor(Database &db, const QString &table, const QString &orderBy, int fieldCount,
                               const RegisterRules &rules, QString what)
    : m_db(db), m_table(table), m_orderBy(orderBy), m_rules(rules), m_what(std::move(what)), m_fieldCount(fieldCount)
{
    (void)reload();
}

Status RegisterEditor::reload()
{
    const qint64 selectedId = m_rows.rowId(m_selected);
    // Rows with the same key keep their table order.
    auto stored =
        TableAccess::read(m_db, m_table, QString(), {},
                          m_orderBy.isEmpty() ? QStringLiteral("rowid") : m_orderBy + QStringLiteral(", rowid"));
    if (!stored) {
        m_rows = TableRows();
        m_selected = -1;
        return Status::fail(QStringLiteral("%1无法读取：%2").arg(m_what, stored.reason()));
    }
    TableRows rows;
    rows.columns = m_db.columnNames(m_table);
    for (TableAccess::StoredRow &r : *stored) {
        rows.rowIds.append(r.rowId);
        rows.rows.append(std::move(r.values));
    }
    m_rows = std::move(rows);
    m_selected = m_rows.indexOf(selectedId);
    return Status::ok();
}

std::optional<QStringList> RegisterEditor::select(int index)
{
    if (index < 0 || index >= m_rows.size())
        return std::nullopt;
    QStringList values = m_rows.row(index);
    if (values.value(0).trimmed().isEmpty())
        return std::nullopt;
    m_selected = index;
    while (values.size() < m_fieldCount)
        values << QString();
    return values.mid(0, m_fieldCount);
}

RegisterStep RegisterEditor::refusal(const QString &text, const QString &title, MessageService::Icon icon, int focus,
                                     bool select)
{
    RegisterStep s;
    s.status = Status::fail(text);
    s.title = title;
    s.icon = icon;
    s.focus = focus;
    s.selectText = select;
    return s;
}

RegisterStep RegisterEditor::storeFailed(const Status &s, const QString &doing)
{
    RegisterStep step;
    step.status = s.context(m_what + doing);
    step.storeFailure = true;
    return step;
}

RegisterStep RegisterEditor::add()
{
    m_mode = Mode::Adding;
    return RegisterStep::ok(0, false);
}

RegisterStep RegisterEditor::amend(const QString &key)
{
    if (key.trimmed().isEmpty())
        return refusal(nothingToAmend(), QStringLiteral("请选择"), MessageService::Icon::Information);
    m_mode = Mode::Amending;
    return RegisterStep::ok(0, true);
}

int RegisterEditor::rowOfKey(const QString &key, int except) const
{
    for (int i = 0; i < m_rows.size(); ++i)
        if (i != except && m_rows.rows.at(i).value(0) == key)
            return i;
    return -1;
}

RegisterStep RegisterEditor::save(const QStringList &texts)
{
    if (!editing())
        return RegisterStep::ok();
    const QString key = texts.value(0).trimmed();
    if (Status s = m_rules.checkKey(key); !s)
        return refusal(s.reason(), kRetype, MessageService::Icon::Information, 0, true);
    // Every field once more: a box filled without being left (pasted, then
    // saved) is held to the same rule as one that was left.
    for (int i = 0; i < m_fieldCount; ++i) {
        const QString text = i == 0 ? key : texts.value(i);
        if (Status s = m_rules.checkField(i, text); !s)
            return refusal(s.reason(), kInputError, MessageService::Icon::Critical, i, true);
    }
    // The key must not be another row's; an amended row keeps its own.
    const int except = m_mode == Mode::Amending ? m_selected : -1;
    if (rowOfKey(key, except) >= 0)
        return refusal(duplicateKey(), kRetype, MessageService::Icon::Information, 0, false);

    QStringList values;
    for (int i = 0; i < m_fieldCount; ++i)
        values << m_rules.stored(i, i == 0 ? key : texts.value(i));
    Status written;
    if (m_mode == Mode::Adding) {
        written = TableAccess::insert(m_db, m_table, values).status();
    } else {
        // Every field of the selected row; a row gone meanwhile is said so.
        QList<QPair<int, QString>> fields;
        for (int i = 0; i < values.size(); ++i)
            fields.append({i, values.at(i)});
        written = TableAccess::update(m_db, m_table, m_rows.rowId(m_selected), fields);
    }
    if (!written)
        return storeFailed(written, QStringLiteral("未能保存")); // stays in editing: nothing typed is lost
    m_mode = Mode::Browsing;
    m_selected = -1;
    (void)reload(); // the grid shows the rows as the window last had them when this fails
    return RegisterStep::ok();
}

int RegisterEditor::rowToRemove(const QString &key) const
{
    const QString k = key.trimmed();
    // The selected row when box 0 still shows its key, else the first row
    // with that key. An empty key selects nothing, even if a row has none.
    if (k.isEmpty())
        return -1;
    return m_rows.row(m_selected).value(0) == k ? m_selected : rowOfKey(k, -1);
}

RegisterStep RegisterEditor::remove(const QString &key)
{
    const int index = rowToRemove(key);
    if (index < 0)
        return refusal(nothingToDelete(), MessageService::defaultTitle(), MessageService::Icon::None);
    Status gone = TableAccess::remove(m_db, m_table, m_rows.rowId(index));
    if (gone && m_db.changes() == 0)
        gone = Status::fail(QStringLiteral("这条记录已不在表中"));
    if (!gone)
        return storeFailed(gone, QStringLiteral("未能删除"));
    m_selected = -1;
    (void)reload();
    return RegisterStep::ok();
}

} // namespace corvane
