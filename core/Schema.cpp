#include "Schema.h"
#include "BillSummary.h"
#include "BillTable.h"
#include "Database.h"

namespace corvane {

namespace {

QStringList numbered(const QString &stem, int from, int to)
{
    QStringList names;
    for (int i = from; i <= to; ++i)
        names.append(stem + QString::number(i));
    return names;
}

// Indexes serve the lookups that run for every call record, caller event or
// settled row. None is unique: the windows do their own duplicate checks, and
// storing a call record must never fail on a repeated value.
QList<TableDef> buildSwitchTables()
{
    QList<TableDef> t;

    // The single configuration row.
    t.append(
        {QStringLiteral("SWTConfig"),
         QStringList{QStringLiteral("用户容量"), QStringLiteral("超额或清账后等级"), QStringLiteral("随机账号密码长度"),
                     QStringLiteral("分机号长"), QStringLiteral("功能首位字头"), QStringLiteral("启用密码时限制市话"),
                     QStringLiteral("呼入等待信号音类型"), QStringLiteral("夜服值班分机"), QStringLiteral("交换机串口")}
             + numbered(QStringLiteral("代理总机"), 1, 5)
             + QStringList{QStringLiteral("启用串口向外发送"), QStringLiteral("向外发送串口"),
                           QStringLiteral("启用文件向外发送"), QStringLiteral("话单文件路径"),
                           QStringLiteral("启用夜间自动复位")}});

    // One row per extension, keyed by physical port.
    t.append({QStringLiteral("User"),
              {QStringLiteral("物理端口"), QStringLiteral("用户号码"), QStringLiteral("用户名称"),
               QStringLiteral("分机等级"), QStringLiteral("分机来电显示"), QStringLiteral("分机附加功能"),
               QStringLiteral("分机拨打本地权"), QStringLiteral("分机拨打特服权"), QStringLiteral("分机内部分机呼叫权"),
               QStringLiteral("分机允许中继呼入权"), QStringLiteral("分机中继分组"), QStringLiteral("分机呼出时限"),
               QStringLiteral("付费方式"), QStringLiteral("月租费"), QStringLiteral("中继显示号码"),
               QStringLiteral("组名")}});
    t.last().indexes = {{QStringLiteral("物理端口")}, {QStringLiteral("用户号码")}};

    // Call records. Settlement and deletion find rows by 主叫号码, 结束时间, 话单性质.
    t.append({QStringLiteral("PHNBill"),
              {QStringLiteral("主叫号码"), QStringLiteral("被叫号码"), QStringLiteral("结束时间"),
               QStringLiteral("时长"), QStringLiteral("费率"), QStringLiteral("通达地址"), QStringLiteral("总费用"),
               QStringLiteral("话单类型"), QStringLiteral("手续费"), QStringLiteral("服务费"), QStringLiteral("话费"),
               QStringLiteral("话单性质"), QStringLiteral("组名"), QStringLiteral("用户名称")}});
    // The end-time index also holds what the statistics sum over many
    // months (type, state, fee), so that they never read the records.
    t.last().indexes = {
        {QStringLiteral("主叫号码"), QStringLiteral("结束时间")},
        {QStringLiteral("结束时间"), QStringLiteral("话单类型"), QStringLiteral("话单性质"), QStringLiteral("总费用")}};
    // The records not settled by caller and end time, whatever the history
    // holds: the everyday question reads these only. Every state by itself
    // was indexed before; only the records not settled are looked up so.
    t.last().partialIndexes = {
        {BillTable::openIndex(), {QStringLiteral("主叫号码"), QStringLiteral("结束时间")}, BillTable::openCondition()}};
    t.last().retiredIndexes = {QStringLiteral("idx_PHNBill_结束时间"), QStringLiteral("idx_PHNBill_话单性质")};

    // Trunks 1 to 12; the trunk grid shows these names as its header row.
    t.append({QStringLiteral("Exchange"),
              QStringList{QStringLiteral("中继"), QStringLiteral("中继开关"), QStringLiteral("中继计费开关方式"),
                          QStringLiteral("中继呼入方式"), QStringLiteral("中继发码方式"),
                          QStringLiteral("中继出局方式"), QStringLiteral("中继路由局向"), QStringLiteral("间局局向"),
                          QStringLiteral("中继来电显示"), QStringLiteral("中继分组")}
                  + numbered(QStringLiteral("虚拟总机"), 1, 5)});

    t.append({QStringLiteral("SPCPhone"), {QStringLiteral("特服号码")}});

    // Charging delays per call class, in seconds.
    t.append({QStringLiteral("Feesetting"),
              {QStringLiteral("国际延时"), QStringLiteral("国内延时"), QStringLiteral("本地延时"),
               QStringLiteral("市话延时"), QStringLiteral("手机延时")}});

    // Working days and the outside line number of each trunk.
    t.append({QStringLiteral("ExNO"),
              {QStringLiteral("中继号"), QStringLiteral("工作日控制"), QStringLiteral("起始星期"),
               QStringLiteral("结束星期"), QStringLiteral("时段一起"), QStringLiteral("时段一止"),
               QStringLiteral("时段二起"), QStringLiteral("时段二止"), QStringLiteral("外线号码")}});

    // Rates by area-code prefix; 类型 is the call-type code.
    t.append({QStringLiteral("Feerate"),
              {QStringLiteral("区号"), QStringLiteral("地区"), QStringLiteral("首次时长"), QStringLiteral("首次费率"),
               QStringLiteral("单位时长"), QStringLiteral("单位费率"), QStringLiteral("单位手续费"),
               QStringLiteral("手续费百分比"), QStringLiteral("每次服务费"), QStringLiteral("服务费百分比"),
               QStringLiteral("折价"), QStringLiteral("类型")}});

    // Discount periods per call-type name.
    t.append({QStringLiteral("Discount"),
              {QStringLiteral("类型"), QStringLiteral("时段A开关"), QStringLiteral("时段A起始"),
               QStringLiteral("时段A结束"), QStringLiteral("时段A折扣率"), QStringLiteral("时段B开关"),
               QStringLiteral("时段B起始"), QStringLiteral("时段B结束"), QStringLiteral("时段B折扣率"),
               QStringLiteral("星期六开关"), QStringLiteral("星期六折扣率"), QStringLiteral("星期天开关"),
               QStringLiteral("星期天折扣率"), QStringLiteral("节假日开关"), QStringLiteral("节假日折扣率")}});

    // IP-card entries 1 to 12, then row 13: IP dialling without a card number.
    t.append({QStringLiteral("IP"),
              {QStringLiteral("序号"), QStringLiteral("启用"), QStringLiteral("切入码"), QStringLiteral("延时1"),
               QStringLiteral("语言"), QStringLiteral("延时2"), QStringLiteral("卡号"), QStringLiteral("延时3"),
               QStringLiteral("密码"), QStringLiteral("延时4")}});

    t.append({QStringLiteral("Holiday"), {QStringLiteral("节日"), QStringLiteral("月份"), QStringLiteral("日期")}});

    t.append({QStringLiteral("Group"), {QStringLiteral("组名")}});

    t.append({QStringLiteral("Account"),
              {QStringLiteral("账号编号"), QStringLiteral("账号名称"), QStringLiteral("等级"),
               QStringLiteral("中继分组"), QStringLiteral("密码"), QStringLiteral("付费方式")}});
    t.last().indexes = {{QStringLiteral("账号编号")}};

    // Deposits; an account's row has the literal "账号" as 用户号码.
    t.append(
        {QStringLiteral("Foregift"),
         {QStringLiteral("物理端口"), QStringLiteral("用户号码"), QStringLiteral("用户名称"), QStringLiteral("等级"),
          QStringLiteral("余额"), QStringLiteral("押金"), QStringLiteral("密码"), QStringLiteral("启用密码")}});
    t.last().indexes = {{QStringLiteral("物理端口"), QStringLiteral("用户号码")}};

    t.append(
        {QStringLiteral("Client"),
         QStringList{QStringLiteral("编号"), QStringLiteral("姓名"), QStringLiteral("单位"), QStringLiteral("网址"),
                     QStringLiteral("传真"), QStringLiteral("住址"), QStringLiteral("邮编"), QStringLiteral("邮箱"),
                     QStringLiteral("事项"), QStringLiteral("备注")}
             + numbered(QStringLiteral("电话"), 1, 10)});

    t.append({QStringLiteral("BlackLst"), {QStringLiteral("电话号码"), QStringLiteral("备注")}});
    t.last().indexes = {{QStringLiteral("电话号码")}};

    // Operators: name, password, the eleven rights (captions of the rights
    // window), four reserved columns written "0".
    t.append(
        {QStringLiteral("OP"),
         QStringList{QStringLiteral("用户名"), QStringLiteral("密码"), QStringLiteral("客户黑名单信息"),
                     QStringLiteral("费率折价"), QStringLiteral("计费设置"), QStringLiteral("话单查询与结算"),
                     QStringLiteral("用户参数设置"), QStringLiteral("交换机参数设置"), QStringLiteral("交换机信息比照"),
                     QStringLiteral("分机闹钟"), QStringLiteral("参数备份与恢复"), QStringLiteral("操作员使用记录"),
                     QStringLiteral("删除话单权限")}
             + numbered(QStringLiteral("备用"), 1, 4)});

    t.append(
        {QStringLiteral("OPRec"),
         {QStringLiteral("序号"), QStringLiteral("操作员"), QStringLiteral("登录时间"), QStringLiteral("登出时间")}});
    return t;
}

QList<TableDef> buildPrintTables()
{
    QList<TableDef> t;
    // The listed call records: columns 0 to 6 of a main PHNBill row, then the
    // main row's own rowid, so that deleting or settling the list touches
    // exactly the listed rows (caller and end time can repeat within a minute).
    t.append(
        {QStringLiteral("PHNBill"),
         {QStringLiteral("主叫号码"), QStringLiteral("被叫号码"), QStringLiteral("结束时间"), QStringLiteral("时长"),
          QStringLiteral("费率"), QStringLiteral("通达地址"), QStringLiteral("总费用"), QStringLiteral("主表行号")}});
    t.append({QStringLiteral("Print"),
              {QStringLiteral("组名"), QStringLiteral("用户号码"), QStringLiteral("用户名称"), QStringLiteral("长话费"),
               QStringLiteral("市话费"), QStringLiteral("本地费"), QStringLiteral("呼入费"), QStringLiteral("月租费"),
               QStringLiteral("手续费"), QStringLiteral("服务费"), QStringLiteral("合计"),
               // The deposit side, after the fee columns: the deposit and
               // balance held, what is collected or refunded, why no rent.
               QStringLiteral("押金"), QStringLiteral("余额"), QStringLiteral("应收"), QStringLiteral("应退"),
               QStringLiteral("说明")}});
    return t;
}

QString createTableSql(const TableDef &def)
{
    QStringList cols;
    for (const QString &c : def.columns)
        cols.append(Database::quoteId(c) + QStringLiteral(" TEXT DEFAULT ''"));
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(Database::quoteId(def.name), cols.join(QStringLiteral(", ")));
}

QString mismatch(Database &db, const TableDef &def)
{
    const QStringList have = db.columnNames(def.name);
    if (have == def.columns)
        return QString();
    return QStringLiteral("表 %1 的列不符：应为 %2 列（%3），实有 %4 列（%5）")
        .arg(def.name)
        .arg(def.columns.size())
        .arg(def.columns.join(QLatin1Char(',')))
        .arg(have.size())
        .arg(have.join(QLatin1Char(',')));
}

} // namespace

const QList<TableDef> &switchTables()
{
    static const QList<TableDef> tables = buildSwitchTables();
    return tables;
}

const QList<TableDef> &printTables()
{
    static const QList<TableDef> tables = buildPrintTables();
    return tables;
}

const TableDef *findTable(const QList<TableDef> &tables, const QString &name)
{
    for (const TableDef &t : tables)
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

const TableDef *findTable(const QString &name) { return findTable(switchTables(), name); }

QStringList schemaProblems(Database &db, const QList<TableDef> &tables)
{
    QStringList problems;
    if (!db.isOpen()) {
        problems.append(QStringLiteral("数据库未打开"));
        return problems;
    }
    for (const TableDef &def : tables) {
        if (!db.tableExists(def.name)) {
            problems.append(QStringLiteral("缺少表 %1").arg(def.name));
            continue;
        }
        const QString m = mismatch(db, def);
        if (!m.isEmpty())
            problems.append(m);
    }
    return problems;
}

namespace {

// The listed indexes of the tables that exist, made where missing; the
// retired ones dropped.
Status makeIndexes(Database &db, const QList<TableDef> &tables)
{
    for (const TableDef &def : tables) {
        if (!db.tableExists(def.name))
            continue;
        for (const QStringList &ix : def.indexes) {
            QStringList cols;
            for (const QString &c : ix)
                cols.append(Database::quoteId(c));
            const QString name = QStringLiteral("idx_%1_%2").arg(def.name, ix.join(QLatin1Char('_')));
            const QString sql =
                QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                    .arg(Database::quoteId(name), Database::quoteId(def.name), cols.join(QStringLiteral(", ")));
            if (Status s = db.exec(sql); !s)
                return s;
        }
        for (const TableDef::PartialIndex &ix : def.partialIndexes) {
            QStringList cols;
            for (const QString &c : ix.columns)
                cols.append(Database::quoteId(c));
            const QString sql = QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3) WHERE %4")
                                    .arg(Database::quoteId(ix.name), Database::quoteId(def.name),
                                         cols.join(QStringLiteral(", ")), ix.where);
            if (Status s = db.exec(sql); !s)
                return s;
        }
        for (const QString &old : def.retiredIndexes)
            if (Status s = db.exec(QStringLiteral("DROP INDEX IF EXISTS %1").arg(Database::quoteId(old))); !s)
                return s;
    }
    return Status::ok();
}

} // namespace

Status createSchema(Database &db, const QList<TableDef> &tables)
{
    if (!db.isOpen())
        return Status::fail(QStringLiteral("数据库未打开"));

    // Refuse before touching anything: a same-named table of another layout
    // would otherwise be read by position and give wrong values everywhere.
    for (const TableDef &def : tables) {
        if (db.tableExists(def.name)) {
            const QString m = mismatch(db, def);
            if (!m.isEmpty())
                return Status::fail(m);
        }
    }

    return InTransaction(db, [&]() -> Status {
        for (const TableDef &def : tables) {
            if (db.tableExists(def.name))
                continue;
            if (Status s = db.exec(createTableSql(def)); !s)
                return s;
        }
        if (Status s = makeIndexes(db, tables); !s)
            return s;
        // The sums of the call records, with the call records.
        if (findTable(tables, BillTable::Name) == findTable(BillTable::Name))
            return BillSummary(db).ensure().status();
        return Status::ok();
    });
}

Status updateIndexes(Database &db, const QList<TableDef> &tables)
{
    if (!db.isOpen())
        return Status::fail(QStringLiteral("数据库未打开"));
    return InTransaction(db, [&]() -> Status { return makeIndexes(db, tables); });
}

} // namespace corvane
