#include "QueryFixture.h"
#include "TestStatus.h"

namespace corvane::test {

QueryData::QueryData() : db(ownDb)
{
    m_ok = createSwitchDb(db, home.file(QStringLiteral("data/Switch.mdb")))
           && bool(store.open(home.file(QStringLiteral("data/print.mdb"))));
}

QueryData::QueryData(Database &external) : db(external) { m_ok = db.isOpen(); }

QueryData::~QueryData()
{
    store.close();
    ownDb.close();
}

qint64 QueryData::addBill(const Bill &b)
{
    const bool added =
        bool(db.exec(QStringLiteral("INSERT INTO PHNBill VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)"),
                     {b.caller, b.called, b.endTime, QStringLiteral("60"), QStringLiteral("0.30"), s("广州"), b.fee,
                      b.type, b.handling, b.service, b.charge, b.state, b.group, b.name}));
    return added ? db.lastInsertRowId() : -1;
}

void QueryData::setUser(const QString &number, const QString &group, const QString &name, const QString &rent)
{
    EXPECT_TRUE(test::Ok(
        db.exec(s("UPDATE User SET 组名=?, 用户名称=?, 月租费=? WHERE 用户号码=?"), {group, name, rent, number})));
}
void QueryData::addGroup(const QString &name)
{
    EXPECT_TRUE(test::Ok(db.exec(s("INSERT INTO \"Group\" VALUES (?)"), {name})));
}

void QueryData::addAccount(const QString &number, const QString &name, const QString &cls, const QString &trunkGroup)
{
    EXPECT_TRUE(test::Ok(db.exec(QStringLiteral("INSERT INTO Account VALUES (?,?,?,?,?,?)"),
                                 {number, name, cls, trunkGroup, QStringLiteral("1234"), s("押金")})));
}

void QueryData::addDeposit(const QString &port, const QString &number, const QString &cls, const QString &balance,
                           const QString &deposit)
{
    EXPECT_TRUE(test::Ok(db.exec(QStringLiteral("INSERT INTO Foregift VALUES (?,?,?,?,?,?,?,?)"),
                                 {port, number, QString(), cls, balance, deposit, QString(), s("×")})));
}

void QueryData::setSettleClass(const QString &cls)
{
    EXPECT_TRUE(test::Ok(db.exec(s("UPDATE SWTConfig SET 超额或清账后等级=?"), {cls})));
}

QString QueryData::cell(const QString &sql, const QVariantList &params)
{
    return db.scalar(sql, params).value_or(QStringLiteral("<none>"));
}

QList<QStringList> QueryData::rows(const QString &sql, const QVariantList &params)
{
    return db.select(sql, params).value_or(QList<QStringList>());
}

QString QueryData::stateOf(qint64 rowId) { return cell(s("SELECT 话单性质 FROM PHNBill WHERE rowid=?"), {rowId}); }

QStringList QueryData::depositOf(const QString &port, bool account)
{
    const auto r = rows(account ? s("SELECT 余额, 押金, 等级 FROM Foregift WHERE 物理端口=? AND 用户号码='账号'")
                                : s("SELECT 余额, 押金, 等级 FROM Foregift WHERE 物理端口=? AND 用户号码<>'账号'"),
                        {port});
    return r.isEmpty() ? QStringList() : r.first();
}

} // namespace corvane::test
