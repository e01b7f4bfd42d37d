#pragma once
#include "Gateway.h"

namespace corvane {

// Client: the customer directory; a caller is known by any of ten phone numbers.
enum class ClientField {
    Id, // 编号
    Name,
    Company,
    Web,
    Fax,
    Address,
    PostCode,
    Email,
    Matter,
    Remark,
    Phone1, // 电话1 .. 电话10
};
constexpr int ClientPhones = 10;
constexpr ClientField PhoneField(int k) { return ClientField(int(ClientField::Phone1) + k); } // k 0..9
using ClientRow = TableRow<ClientField, int(ClientField::Phone1) + ClientPhones>;

class ClientTable : public Gateway<ClientRow, ClientField> {
public:
    explicit ClientTable(Database &db) : Gateway(db, QStringLiteral("Client")) {}
    // The first client (in table order) one of whose numbers is this one.
    Checked<std::optional<ClientRow>> byPhone(const QString &number) const;
};

// BlackLst: callers the switch drops.
enum class BlackListField { Number, Remark };
using BlackListRow = TableRow<BlackListField, 2>;

class BlackListTable : public Gateway<BlackListRow, BlackListField> {
public:
    explicit BlackListTable(Database &db) : Gateway(db, QStringLiteral("BlackLst")) {}
    Checked<bool> isBlocked(const QString &number) const;
};

// Group: the groups (companies) users belong to, by name.
enum class GroupField { Name };
using GroupRow = TableRow<GroupField, 1>;

class GroupTable : public Gateway<GroupRow, GroupField> {
public:
    explicit GroupTable(Database &db) : Gateway(db, QStringLiteral("Group")) {}
    // The names in table order.
    Checked<QStringList> names() const;
};

} // namespace corvane
