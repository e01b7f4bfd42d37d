#include "DefaultRows.h"
#include "Database.h"
#include "PasswordHash.h"
#include "Schema.h"

namespace corvane {

namespace {

// Call-type names in code order ("0" to "9"); the same list the console builds
// at start-up. Discount rows are keyed by these names, rate rows by the code.
const QStringList &typeNames()
{
    static const QStringList names{QStringLiteral("港澳台"),   QStringLiteral("国际"),   QStringLiteral("国内"),
                                   QStringLiteral("移动电话"), QStringLiteral("信息台"), QStringLiteral("本地"),
                                   QStringLiteral("网络电话"), QStringLiteral("虚拟网"), QStringLiteral("市话"),
                                   QStringLiteral("呼入")};
    return names;
}

const QString Yes = QStringLiteral("√");
const QString No = QStringLiteral("×");

QStringList repeated(const QString &value, int n)
{
    QStringList list;
    for (int i = 0; i < n; ++i)
        list.append(value);
    return list;
}

// One rate: first period, per-unit charge, whether the discount applies.
struct Tariff {
    const char *firstSeconds;
    const char *firstCharge;
    const char *unitSeconds;
    const char *unitCharge;
    bool discounted;
};

// Default tariffs by call-type code. The city row (code 8) prices every number
// no prefix matches: 0.20 for the first three minutes, 0.10 per further minute.
// Incoming calls mirror the fixed incoming charge of 0.10 per six seconds.
const Tariff DefaultTariffs[10] = {
    {"6", "0.20", "6", "0.20", true},     // 港澳台
    {"6", "0.80", "6", "0.80", true},     // 国际
    {"6", "0.07", "6", "0.07", true},     // 国内
    {"60", "0.20", "60", "0.20", true},   // 移动电话
    {"60", "0.60", "60", "0.60", false},  // 信息台
    {"60", "0.30", "60", "0.30", true},   // 本地
    {"60", "0.30", "60", "0.30", false},  // 网络电话
    {"60", "0.10", "60", "0.10", false},  // 虚拟网
    {"180", "0.20", "60", "0.10", false}, // 市话
    {"6", "0.10", "6", "0.10", false},    // 呼入
};

struct Prefix {
    const char *prefix;
    const char *area;
    int type;
};

// A starting set of destinations; sites add their own local-network prefixes
// (type 5), which are also sent to the switch, so none are preset here.
const Prefix SamplePrefixes[] = {
    {"00852", "香港", 0},
    {"00853", "澳门", 0},
    {"00886", "台湾", 0},
    {"00", "国际其他地区", 1},
    {"001", "美国/加拿大", 1},
    {"007", "俄罗斯", 1},
    {"0033", "法国", 1},
    {"0044", "英国", 1},
    {"0049", "德国", 1},
    {"0061", "澳大利亚", 1},
    {"0065", "新加坡", 1},
    {"0081", "日本", 1},
    {"0082", "韩国", 1},
    {"0", "国内其他地区", 2},
    {"010", "北京", 2},
    {"020", "广州", 2},
    {"021", "上海", 2},
    {"022", "天津", 2},
    {"023", "重庆", 2},
    {"024", "沈阳", 2},
    {"025", "南京", 2},
    {"027", "武汉", 2},
    {"028", "成都", 2},
    {"029", "西安", 2},
    {"0371", "郑州", 2},
    {"0531", "济南", 2},
    {"0571", "杭州", 2},
    {"0591", "福州", 2},
    {"0731", "长沙", 2},
    {"0755", "深圳", 2},
    {"13", "移动电话13号段", 3},
    {"15", "移动电话15号段", 3},
    {"18", "移动电话18号段", 3},
    {"160", "声讯台160", 4},
    {"168", "声讯台168", 4},
    {"17909", "电信IP电话17909", 6},
    {"17911", "联通IP电话17911", 6},
    {"17951", "移动IP电话17951", 6},
};

QStringList feerateRow(const QString &prefix, const QString &area, int type)
{
    const Tariff &t = DefaultTariffs[type];
    return {prefix,
            area,
            QString::fromLatin1(t.firstSeconds),
            QString::fromLatin1(t.firstCharge),
            QString::fromLatin1(t.unitSeconds),
            QString::fromLatin1(t.unitCharge),
            QStringLiteral("0.00"), // handling fee per unit
            QStringLiteral("0"),    // handling fee percentage
            QStringLiteral("0.00"), // service fee per call
            QStringLiteral("0"),    // service fee percentage
            t.discounted ? Yes : No,
            QString::number(type)};
}

class RowWriter {
public:
    explicit RowWriter(Database &db) : m_db(db) {}

    bool insert(const QString &table, const QStringList &values)
    {
        const TableDef *def = findTable(table);
        if (!def || def->columns.size() != values.size()) {
            m_error = QStringLiteral("表 %1 的默认行列数不符").arg(table);
            return false;
        }
        QStringList cols, marks;
        QVariantList params;
        for (int i = 0; i < values.size(); ++i) {
            cols.append(Database::quoteId(def->columns.at(i)));
            marks.append(QStringLiteral("?"));
            params.append(values.at(i));
        }
        const QString sql =
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(Database::quoteId(def->name), cols.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
        if (Status s = m_db.exec(sql, params); !s) {
            m_error = s.reason();
            return false;
        }
        return true;
    }
    QString error() const { return m_error; }

private:
    Database &m_db;
    QString m_error;
};

bool writeAll(RowWriter &w, const QString &adminPasswordHash)
{
    // Configuration: capacity 120, demotion class 1, 6-digit random passwords,
    // 3-digit extension numbers, function digit 6 (clear of the extension
    // numbers 8xx/9xx), no password restriction, ring-back tone, night service
    // on port 0, switch on COM1, no agents, outward copies off.
    QStringList config{QStringLiteral("120"), QStringLiteral("1"), QStringLiteral("6"),
                       QStringLiteral("3"),   QStringLiteral("6"), QStringLiteral("0"),
                       QStringLiteral("1"),   QStringLiteral("0"), QStringLiteral("1")};
    config += repeated(QString(), 5);
    config +=
        QStringList{QStringLiteral("0"), QStringLiteral("2"), QStringLiteral("0"), QString(), QStringLiteral("0")};
    if (!w.insert(QStringLiteral("SWTConfig"), config))
        return false;

    for (int port = 0; port < 120; ++port) {
        const QStringList user{QString::number(port),
                               QString::number(800 + port),
                               QString(),           // name
                               QStringLiteral("4"), // class
                               Yes,                 // caller-ID display
                               No,                  // switch setting "*15*"
                               Yes,                 // local-network numbers
                               Yes,                 // special-service numbers
                               Yes,                 // other extensions
                               Yes,                 // trunk calls in
                               QStringLiteral("0"), // trunk group
                               QStringLiteral("0"), // outgoing time limit (0: none)
                               QStringLiteral("普通"),
                               QStringLiteral("0.00"),
                               Yes,        // number shown on the trunk indicator
                               QString()}; // group
        if (!w.insert(QStringLiteral("User"), user))
            return false;
    }

    for (int trunk = 1; trunk <= 12; ++trunk) {
        QStringList ex{QString::number(trunk),
                       Yes,
                       QStringLiteral("延时"),
                       QStringLiteral("转接"),
                       QStringLiteral("音频"),
                       QStringLiteral("直局"),
                       QStringLiteral("0"),
                       QStringLiteral("0"),
                       Yes,
                       QStringLiteral("0")};
        ex += repeated(QString(), 5);
        if (!w.insert(QStringLiteral("Exchange"), ex))
            return false;
    }

    // Trunk 1's outside number cannot be set on the switch.
    for (int trunk = 1; trunk <= 12; ++trunk) {
        const QStringList exno{QString::number(trunk),
                               No,
                               QStringLiteral("1"),
                               QStringLiteral("5"),
                               QStringLiteral("08:00"),
                               QStringLiteral("12:00"),
                               QStringLiteral("14:00"),
                               QStringLiteral("18:00"),
                               trunk == 1 ? QStringLiteral("无需设置") : QString()};
        if (!w.insert(QStringLiteral("ExNO"), exno))
            return false;
    }

    if (!w.insert(QStringLiteral("Feesetting"), repeated(QStringLiteral("10"), 5)))
        return false;

    const QStringList &names = typeNames();
    for (int type = 0; type < names.size(); ++type)
        if (!w.insert(QStringLiteral("Feerate"), feerateRow(QString(), names.at(type) + QStringLiteral("默认"), type)))
            return false;
    for (const Prefix &p : SamplePrefixes)
        if (!w.insert(QStringLiteral("Feerate"),
                      feerateRow(QString::fromLatin1(p.prefix), QString::fromUtf8(p.area), p.type)))
            return false;

    // Discounts are all switched off; the preset bands and percentages are
    // what an operator usually switches on (night half price).
    for (const QString &name : names) {
        const QStringList d{name,
                            No,
                            QStringLiteral("00:00"),
                            QStringLiteral("07:00"),
                            QStringLiteral("50"),
                            No,
                            QStringLiteral("21:00"),
                            QStringLiteral("23:59"),
                            QStringLiteral("60"),
                            No,
                            QStringLiteral("60"),
                            No,
                            QStringLiteral("60"),
                            No,
                            QStringLiteral("60")};
        if (!w.insert(QStringLiteral("Discount"), d))
            return false;
    }

    const QString pause = QStringLiteral("1.5s");
    for (int entry = 1; entry <= 12; ++entry) {
        const QStringList ip{QString::number(entry),
                             No,
                             QString(),
                             pause,
                             QStringLiteral("中文"),
                             pause,
                             QString(),
                             pause,
                             QString(),
                             pause};
        if (!w.insert(QStringLiteral("IP"), ip))
            return false;
    }
    // Row 13: IP dialling without a card number, off, no number, interval 0.
    QStringList noCard{QStringLiteral("13"), QStringLiteral("0"), QString(), QStringLiteral("0")};
    noCard += repeated(QString(), 6);
    if (!w.insert(QStringLiteral("IP"), noCard))
        return false;

    const QList<QStringList> holidays{
        {QStringLiteral("元旦"), QStringLiteral("01"), QStringLiteral("01")},
        {QStringLiteral("劳动节"), QStringLiteral("05"), QStringLiteral("01")},
        {QStringLiteral("国庆节"), QStringLiteral("10"), QStringLiteral("01")},
    };
    for (const QStringList &h : holidays)
        if (!w.insert(QStringLiteral("Holiday"), h))
            return false;

    // The administrator holds every right; columns 13 to 16 are reserved.
    QStringList admin{QStringLiteral("管理员"), adminPasswordHash};
    admin += repeated(QStringLiteral("1"), 11);
    admin += repeated(QStringLiteral("0"), 4);
    return w.insert(QStringLiteral("OP"), admin);
}

const QStringList &filledTables()
{
    static const QStringList tables{
        QStringLiteral("SWTConfig"),  QStringLiteral("User"),    QStringLiteral("Exchange"), QStringLiteral("ExNO"),
        QStringLiteral("Feesetting"), QStringLiteral("Feerate"), QStringLiteral("Discount"), QStringLiteral("IP"),
        QStringLiteral("Holiday"),    QStringLiteral("OP")};
    return tables;
}

} // namespace

Status insertDefaultRows(Database &db, const QString &adminPassword)
{
    if (!db.isOpen())
        return Status::fail(QStringLiteral("数据库未打开"));
    if (adminPassword.isEmpty())
        return Status::fail(QStringLiteral("管理员密码不能为空"));

    return InTransaction(db, [&]() -> Status {
        for (const QString &table : filledTables()) {
            if (!db.tableExists(table))
                return Status::fail(QStringLiteral("缺少表 %1").arg(table));
            const auto n = db.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(Database::quoteId(table)));
            if (!n)
                return n.status();
            if (n->toLongLong() > 0)
                return Status::fail(QStringLiteral("表 %1 已有数据，不再写入默认数据").arg(table));
        }

        // The administrator's password is stored as its hash, like every other.
        const Checked<QString> stored = PasswordHash::hash(adminPassword);
        if (!stored)
            return stored.status();

        RowWriter w(db);
        if (!writeAll(w, *stored))
            return Status::fail(w.error());
        return Status::ok();
    });
}

} // namespace corvane
