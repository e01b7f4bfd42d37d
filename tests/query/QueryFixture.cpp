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
                     {b.caller, b.called, b.endTime, QStringLiteral("60"), QStringLiteral("0.30"), b.area, b.fee,
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

void QueryData::addTrafficSample()
{
    const QString settled = s("已结算"), open = s("未结算");
    addGroup(s("前台"));
    setUser(QStringLiteral("801"), s("前台"), s("张三"), QStringLiteral("20.00"));
    setUser(QStringLiteral("802"), s("前台"), s("李四"), QStringLiteral("0.00"));
    addAccount(QStringLiteral("012"), s("前台账号"), QStringLiteral("1"), QStringLiteral("0"));
    auto bill = [&](const char *caller, const char *end, const char *type, const char *fee, const QString &state,
                    const char *area) {
        Bill b;
        b.caller = s(caller);
        b.endTime = s(end);
        b.type = s(type);
        b.fee = s(fee);
        b.charge = s(fee);
        b.state = state;
        b.area = s(area);
        b.group = b.caller.startsWith(s("账号")) ? QString() : s("前台");
        b.name = b.caller == QLatin1String("801")   ? s("张三")
                 : b.caller == QLatin1String("802") ? s("李四")
                                                    : QString();
        EXPECT_GT(addBill(b), 0);
    };
    bill("801", "2026年12月03日09时15分", "2", "3.60", open, "北京");
    bill("801", "2026年12月03日09:40:10", "9", "0.30", settled, "呼入");
    bill("账号012", "2026年12月03日23时59分", "3", "1.25", settled, "移动");
    bill("802", "2026年12月31日23:59:59", "8", "", open, "广州");
    bill("802", "2026年12月15日9时05分", "1", "12.5元", open, "美国");
    bill("802", "2026年12月01日00:00:00", "5", "0.20", settled, "广州");
    // Outside the month, without a call type, at an hour no clock shows, on a
    // day no calendar has.
    bill("801", "2026年11月30日23时59分", "2", "9.99", open, "北京");
    bill("801", "2027年01月01日00:00:00", "9", "0.50", open, "呼入");
    bill("801", "2026年12月10日10时00分", "", "5.00", open, "北京");
    bill("801", "2026年12月10日25时00分", "2", "7.00", open, "北京");
    bill("801", "2026年11月31日10时00分", "2", "8.88", open, "北京");
}

} // namespace corvane::test
