#pragma once
// A Switch.mdb with call records, users, groups, accounts and deposits made
// directly in the tables, and a print.mdb beside it.
#include "Database.h"
#include "PrintStore.h"
#include "TestHome.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

namespace corvane::test {

inline QString s(const char *utf8) { return QString::fromUtf8(utf8); }

struct Bill {
    QString caller;
    QString endTime;
    QString type = QStringLiteral("2");
    QString fee = QStringLiteral("1.00"); // total
    QString handling = QStringLiteral("0.00");
    QString service = QStringLiteral("0.00");
    QString charge = QStringLiteral("1.00");
    QString state = QString::fromUtf8("未结算");
    QString group{};
    QString name{};
    QString called = QStringLiteral("02087654321");
    QString area = QString::fromUtf8("广州");
};

class QueryData {
public:
    // Its own Switch.mdb and print.mdb in a home of its own.
    QueryData();
    // Rows written into a database opened elsewhere (a window test's console).
    explicit QueryData(Database &external);
    ~QueryData();
    bool ok() const { return m_ok; }

    TestHome home;
    Database ownDb;
    Database &db;
    PrintStore store;

    // Appends a call record; returns its rowid.
    qint64 addBill(const Bill &b);
    // User row of this number: group, name and rent.
    void setUser(const QString &number, const QString &group, const QString &name, const QString &rent);
    void addGroup(const QString &name);
    void addAccount(const QString &number, const QString &name, const QString &cls, const QString &trunkGroup);
    // A deposit row: an extension's (port, number) or an account's (number, "账号").
    void addDeposit(const QString &port, const QString &number, const QString &cls, const QString &balance,
                    const QString &deposit);
    void setSettleClass(const QString &cls);

    QString cell(const QString &sql, const QVariantList &params = {});
    QList<QStringList> rows(const QString &sql, const QVariantList &params = {});
    // 话单性质 of a record.
    QString stateOf(qint64 rowId);
    // Balance, deposit and class of a deposit row.
    QStringList depositOf(const QString &port, bool account);
    // A few records around December 2026 whose traffic figures are worked
    // out by hand (test_traffic_stats.cpp): 801 and 802 of group 前台,
    // 账号012; both end-time forms, one written loosely, one fee empty and
    // one with text after the number; and records no choice may take.
    void addTrafficSample();

private:
    bool m_ok = false;
};

} // namespace corvane::test
