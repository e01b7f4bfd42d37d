#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace corvane {

// A condition list "column op value [and ...]" used to find rows. Values are
// compared as text and bound as parameters when the criteria become SQL.
class Criteria {
public:
    enum class Op { Eq, Ne, Lt, Le, Gt, Ge, Like };
    struct Term {
        QString column;
        Op op;
        QString value;
    };

    Criteria() = default;
    Criteria(const QString &column, const QString &value) { andEq(column, value); }

    Criteria &andEq(const QString &column, const QString &value) { return add(column, Op::Eq, value); }
    Criteria &andNe(const QString &column, const QString &value) { return add(column, Op::Ne, value); }
    Criteria &add(const QString &column, Op op, const QString &value)
    {
        m_terms.append({column, op, value});
        return *this;
    }

    bool isEmpty() const { return m_terms.isEmpty(); }
    const QList<Term> &terms() const { return m_terms; }

    // SQL condition text with '?' placeholders; the values are appended to params.
    QString toSql(QVariantList &params) const;
    // Evaluates against one row whose column names are given. A column that is
    // not in the row makes the criteria false.
    bool matches(const QStringList &columns, const QStringList &row) const;

private:
    QList<Term> m_terms;
};

} // namespace corvane
