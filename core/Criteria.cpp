#include "Criteria.h"
#include "Database.h"
#include <QRegularExpression>

namespace corvane {

namespace {

QString opText(Criteria::Op op)
{
    switch (op) {
    case Criteria::Op::Eq: return QStringLiteral("=");
    case Criteria::Op::Ne: return QStringLiteral("<>");
    case Criteria::Op::Lt: return QStringLiteral("<");
    case Criteria::Op::Le: return QStringLiteral("<=");
    case Criteria::Op::Gt: return QStringLiteral(">");
    case Criteria::Op::Ge: return QStringLiteral(">=");
    case Criteria::Op::Like: return QStringLiteral("LIKE");
    }
    return QStringLiteral("=");
}

// LIKE with % and _ wildcards, case-sensitive as every comparison here is textual.
bool likeMatch(const QString &text, const QString &pattern)
{
    QString rx = QRegularExpression::escape(pattern);
    rx.replace(QStringLiteral("%"), QStringLiteral(".*")).replace(QStringLiteral("_"), QStringLiteral("."));
    return QRegularExpression(QStringLiteral("\\A") + rx + QStringLiteral("\\z"),
                              QRegularExpression::DotMatchesEverythingOption)
        .match(text)
        .hasMatch();
}

} // namespace

QString Criteria::toSql(QVariantList &params) const
{
    QStringList parts;
    for (const Term &t : m_terms) {
        parts.append(Database::quoteId(t.column) + QLatin1Char(' ') + opText(t.op) + QStringLiteral(" ?"));
        params.append(t.value);
    }
    return parts.join(QStringLiteral(" AND "));
}

bool Criteria::matches(const QStringList &columns, const QStringList &row) const
{
    for (const Term &t : m_terms) {
        const int idx = columns.indexOf(t.column);
        if (idx < 0 || idx >= row.size())
            return false;
        const QString &v = row.at(idx);
        const int cmp = QString::compare(v, t.value);
        bool ok = false;
        switch (t.op) {
        case Op::Eq: ok = cmp == 0; break;
        case Op::Ne: ok = cmp != 0; break;
        case Op::Lt: ok = cmp < 0; break;
        case Op::Le: ok = cmp <= 0; break;
        case Op::Gt: ok = cmp > 0; break;
        case Op::Ge: ok = cmp >= 0; break;
        case Op::Like: ok = likeMatch(v, t.value); break;
        }
        if (!ok)
            return false;
    }
    return true;
}

} // namespace corvane
