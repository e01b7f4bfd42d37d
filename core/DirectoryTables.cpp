#include "DirectoryTables.h"

namespace corvane {

Checked<std::optional<ClientRow>> ClientTable::byPhone(const QString &number) const
{
    QStringList where;
    QVariantList params;
    for (int k = 0; k < ClientPhones; ++k) {
        where << equals(PhoneField(k));
        params << number;
    }
    return firstOf(where.join(QStringLiteral(" OR ")), params);
}

Checked<bool> BlackListTable::isBlocked(const QString &number) const
{
    const auto row = first(BlackListField::Number, number);
    if (!row)
        return row.refusedAs<bool>();
    return row->has_value();
}

Checked<QStringList> GroupTable::names() const
{
    const auto rows = all();
    if (!rows)
        return rows.refusedAs<QStringList>();
    QStringList out;
    for (const GroupRow &r : *rows)
        out << r.get(GroupField::Name);
    return out;
}

} // namespace corvane
