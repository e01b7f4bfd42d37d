#include "BigHome.h"
#include "HomeKey.h"

#include "ConsoleContext.h"
#include "Database.h"
#include "HomePaths.h"
#include "HomeSetup.h"
#include "LedgerTable.h"
#include "Money.h"
#include "OwnTables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <algorithm>
#include <array>
#include <random>
#include <sqlite3.h>

namespace corvane::bench {

namespace {

constexpr int kRooms = 120;
constexpr int kFloor = 12;
constexpr int kAccounts = 5;
const QString kOpen = QStringLiteral("未结算");
const QString kSettled = QStringLiteral("已结算");
const QString kDesk = QStringLiteral("前台1");

// A prepared statement bound by position, for the millions of rows.
class Insert {
public:
    Insert(sqlite3 *db, const QString &sql)
    {
        const QByteArray u = sql.toUtf8();
        m_ok = sqlite3_prepare_v2(db, u.constData(), u.size(), &m_stmt, nullptr) == SQLITE_OK;
        m_db = db;
    }
    ~Insert() { sqlite3_finalize(m_stmt); }
    bool ok() const { return m_ok; }
    Insert &text(int i, const QString &v)
    {
        const QByteArray u = v.toUtf8();
        sqlite3_bind_text(m_stmt, i, u.constData(), u.size(), SQLITE_TRANSIENT);
        return *this;
    }
    Insert &integer(int i, qint64 v)
    {
        sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    Status run()
    {
        const int rc = sqlite3_step(m_stmt);
        sqlite3_reset(m_stmt);
        if (rc != SQLITE_DONE)
            return Status::fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
        return Status::ok();
    }

private:
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
    bool m_ok = false;
};

struct TypeMix {
    int code;
    int weight;
    int ratePerMinute; // cents
    int handling;      // cents per call
};
// As a hotel dials: local and city calls most, then mobile and long distance.
constexpr std::array<TypeMix, 10> kTypes{{{5, 30, 20, 0},
                                          {8, 20, 20, 0},
                                          {3, 16, 40, 0},
                                          {2, 14, 60, 50},
                                          {9, 10, 0, 0},
                                          {6, 3, 30, 0},
                                          {1, 2, 800, 100},
                                          {4, 2, 100, 0},
                                          {7, 2, 10, 0},
                                          {0, 1, 300, 100}}};

const QStringList kCities{
    QStringLiteral("北京"), QStringLiteral("上海"), QStringLiteral("广州"), QStringLiteral("深圳"),
    QStringLiteral("南京"), QStringLiteral("杭州"), QStringLiteral("成都"), QStringLiteral("武汉"),
    QStringLiteral("西安"), QStringLiteral("天津"), QStringLiteral("重庆"), QStringLiteral("沈阳"),
    QStringLiteral("长沙"), QStringLiteral("郑州"), QStringLiteral("济南"), QStringLiteral("青岛"),
    QStringLiteral("厦门"), QStringLiteral("福州"), QStringLiteral("昆明"), QStringLiteral("哈尔滨")};
const QStringList kCountries{QStringLiteral("美国"),   QStringLiteral("英国"), QStringLiteral("日本"),
                             QStringLiteral("德国"),   QStringLiteral("法国"), QStringLiteral("澳大利亚"),
                             QStringLiteral("加拿大"), QStringLiteral("韩国"), QStringLiteral("新加坡"),
                             QStringLiteral("泰国")};
const QStringList kRegions{QStringLiteral("香港"), QStringLiteral("澳门"), QStringLiteral("台湾")};
const QStringList kSurnames{QStringLiteral("王"), QStringLiteral("李"), QStringLiteral("张"), QStringLiteral("刘"),
                            QStringLiteral("陈"), QStringLiteral("杨"), QStringLiteral("赵"), QStringLiteral("黄"),
                            QStringLiteral("周"), QStringLiteral("吴"), QStringLiteral("徐"), QStringLiteral("孙")};
const QStringList kGiven{QStringLiteral("先生"), QStringLiteral("女士"), QStringLiteral("伟"), QStringLiteral("芳"),
                         QStringLiteral("娜"),   QStringLiteral("敏"),   QStringLiteral("静"), QStringLiteral("强"),
                         QStringLiteral("磊"),   QStringLiteral("洋")};

QString money(qint64 cents) { return Money::fromRaw(cents * (Money::kScale / 100)).toText(); }

QString minuteForm(const QDateTime &t) { return t.toString(QStringLiteral("yyyy年MM月dd日HH时mm分")); }
QString secondForm(const QDateTime &t) { return t.toString(QStringLiteral("yyyy年MM月dd日HH:mm:ss")); }
QString stampForm(const QDateTime &t) { return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

// What one settlement of a room (or account) sums.
struct Tally {
    int records = 0;
    QString firstEnd, lastEnd;
    qint64 longDistance = 0, city = 0, local = 0, incoming = 0, handling = 0, total = 0;
    void add(int type, qint64 charge, qint64 hand, qint64 fee, const QString &end)
    {
        if (records++ == 0)
            firstEnd = end;
        lastEnd = end;
        if (type <= 3)
            longDistance += charge;
        else if (type <= 5)
            local += charge;
        else if (type <= 8)
            city += charge;
        else
            incoming += charge;
        handling += hand;
        total += fee;
    }
};

struct Room {
    int port = 0;
    QString number;
    QString group;
    bool deposit = false; // the first floor pays by deposit
    bool occupied = false;
    bool longStay = false;
    QDate checkout;
    QString guest;
    Tally tally;
    qint64 balance = 0, paid = 0; // cents, deposit rooms
    QSet<QString> rentMonths;     // months whose rent a settlement charged
};

class Generator {
public:
    Generator(const BigHomePlan &plan, Database &db) : m_plan(plan), m_db(db), m_rng(20261215u + plan.years) {}

    Status run()
    {
        m_first = m_plan.lastDay.addYears(-m_plan.years).addDays(1);
        const int days = int(m_first.daysTo(m_plan.lastDay)) + 1;
        // About 80 % of the rooms are let on a day.
        m_callsPerRoomDay = double(m_plan.recordsPerYear) * m_plan.years / days / (kRooms * 0.8);
        m_renumberAt = QDateTime(m_first.addDays(days * 2 / 5), QTime(14, 0));
        m_exchangeAt = QDateTime(m_first.addDays(days * 7 / 10), QTime(15, 0));
        if (Status s = setUpRooms(); !s)
            return s;
        m_bill = std::make_unique<Insert>(m_db.handle(),
                                          QStringLiteral("INSERT INTO PHNBill VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
        m_port = std::make_unique<Insert>(m_db.handle(),
                                          QStringLiteral("INSERT INTO BillPort (\"话单\", \"物理端口\") VALUES (?,?)"));
        m_journal = std::make_unique<Insert>(
            m_db.handle(), QStringLiteral("INSERT INTO MoneyJournal (时间, 操作员, 类别, 键, 号码, 种类, 金额, 余额, "
                                          "押金变动, 押金, 等级, 话单, 结算, 月份, 说明) "
                                          "VALUES (?,?,'分机',?,?,?,?,?,?,?,'',?,?,?,'')"));
        m_usage = std::make_unique<Insert>(m_db.handle(), QStringLiteral("INSERT INTO OPRec VALUES (?,?,?,?)"));
        if (!m_bill->ok() || !m_port->ok() || !m_journal->ok() || !m_usage->ok())
            return Status::fail(QString::fromUtf8(sqlite3_errmsg(m_db.handle())));

        for (QDate day = m_first; day <= m_plan.lastDay; day = day.addDays(1)) {
            if (day.day() == 1 || day == m_first) {
                if (day != m_first)
                    if (Status s = m_db.commit(); !s)
                        return s;
                if (Status s = m_db.beginTransaction(); !s)
                    return s;
            }
            if (Status s = oneDay(day); !s)
                return s;
        }
        if (Status s = finish(); !s)
            return s;
        return m_db.commit();
    }

private:
    int pick(int n) { return int(m_rng() % unsigned(n)); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_rng) < p; }

    QString numberAt(const Room &r, const QDateTime &t) const
    {
        const int p = r.port;
        if (p >= 20 && p <= 25)
            return t < m_renumberAt ? QString::number(800 + p) : QString::number(930 + p - 20);
        if (p == 30 || p == 31)
            return t < m_exchangeAt ? QString::number(800 + p) : QString::number(800 + (61 - p));
        return QString::number(800 + p);
    }

    Status setUpRooms()
    {
        for (int p = 0; p < kRooms; ++p) {
            Room r;
            r.port = p;
            r.group = QStringLiteral("%1楼").arg(p / kFloor + 1);
            r.deposit = p < kFloor;
            r.number = numberAt(r, QDateTime(m_plan.lastDay, QTime(23, 59)));
            m_rooms.append(r);
        }
        if (Status s = m_db.beginTransaction(); !s)
            return s;
        for (int g = 1; g <= kRooms / kFloor; ++g)
            if (Status s =
                    m_db.exec(QStringLiteral("INSERT INTO \"Group\" VALUES (?)"), {QStringLiteral("%1楼").arg(g)});
                !s)
                return s;
        for (const Room &r : std::as_const(m_rooms)) {
            if (Status s =
                    m_db.exec(QStringLiteral("UPDATE User SET 用户号码=?, 组名=?, 用户名称=?, 月租费='20.00', "
                                             "付费方式=? WHERE 物理端口=?"),
                              {r.number, r.group, QStringLiteral("%1房").arg(r.number),
                               r.deposit ? QStringLiteral("押金") : QStringLiteral("普通"), QString::number(r.port)});
                !s)
                return s;
            if (r.deposit)
                if (Status s = m_db.exec(QStringLiteral("INSERT INTO Foregift VALUES (?,?,?,'1','0.00','0.00','','×')"),
                                         {QString::number(r.port), r.number, QStringLiteral("%1房").arg(r.number)});
                    !s)
                    return s;
        }
        for (int a = 1; a <= kAccounts; ++a)
            if (Status s = m_db.exec(
                    QStringLiteral("INSERT INTO Account VALUES (?,?,'3','0','1234','普通')"),
                    {QStringLiteral("%1").arg(a, 3, 10, QLatin1Char('0')), QStringLiteral("会议室%1").arg(a)});
                !s)
                return s;
        return m_db.commit();
    }

    // A guest's stay from today: one to seven nights, or a month or three for
    // every tenth room outside the deposit floor.
    void checkIn(Room &r, const QDate &day)
    {
        r.occupied = true;
        r.longStay = r.port >= kFloor && r.port % 10 == 5;
        r.checkout = day.addDays(r.longStay ? 30 + pick(60) : 1 + pick(7));
        r.guest = kSurnames.at(pick(kSurnames.size())) + kGiven.at(pick(kGiven.size()));
        r.tally = Tally();
        if (r.deposit) {
            const qint64 paid = 20000 + 10000 * pick(3);
            r.paid = paid;
            r.balance = paid;
            m_pendingJournal.append({r.port, QDateTime(day, QTime(13, 0)), QStringLiteral("交押金"), paid, paid, -1});
        }
    }

    // When the records a room makes on `day` are settled: at the checkout,
    // or for a long stay also at the turn of the month.
    QDate settleDay(const Room &r, const QDate &day) const
    {
        if (!r.longStay)
            return r.checkout;
        return std::min(r.checkout, QDate(day.year(), day.month(), 1).addMonths(1));
    }

    struct JournalEntry {
        int port;
        QDateTime at;
        QString kind;
        qint64 amount, depositDelta;
        qint64 bill;
    };

    Status writeJournal(const JournalEntry &e, qint64 ledger = -1, const QString &month = {})
    {
        Room &r = m_rooms[e.port];
        m_journal->text(1, stampForm(e.at))
            .text(2, kDesk)
            .text(3, QString::number(r.port))
            .text(4, numberAt(r, e.at))
            .text(5, e.kind)
            .text(6, money(e.amount))
            .text(7, money(r.balance))
            .text(8, money(e.depositDelta))
            .text(9, money(r.paid))
            .text(10, e.bill < 0 ? QString() : QString::number(e.bill))
            .text(11, ledger < 0 ? QString() : QString::number(ledger))
            .text(12, month);
        return m_journal->run();
    }

    Status settle(Room *room, const QString &account, Tally &t, const QDateTime &at)
    {
        if (t.records == 0)
            return Status::ok();
        LedgerRow row;
        row.settledAt = at;
        row.operatorName = kDesk;
        row.records = t.records;
        row.firstEnd = t.firstEnd;
        row.lastEnd = t.lastEnd;
        row.longDistance = Money::fromRaw(t.longDistance * 100);
        row.city = Money::fromRaw(t.city * 100);
        row.local = Money::fromRaw(t.local * 100);
        row.incoming = Money::fromRaw(t.incoming * 100);
        row.handling = Money::fromRaw(t.handling * 100);
        qint64 total = t.total;
        const QString month = at.date().toString(QStringLiteral("yyyy-MM"));
        if (room) {
            row.caller = numberAt(*room, at);
            row.port = QString::number(room->port);
            row.group = room->group;
            row.name = room->guest;
            if (!room->rentMonths.contains(month)) {
                room->rentMonths.insert(month);
                row.rent = Money::fromYuan(20);
                row.rentMonth = month;
                row.rentState = LedgerTable::charged();
                total += 2000;
            }
            if (room->deposit) {
                row.deposit = Money::fromRaw(room->paid * 100);
                row.balance = Money::fromRaw(room->balance * 100);
                const qint64 left = room->balance - (total - t.total);
                (left >= 0 ? row.refund : row.collect) = Money::fromRaw((left >= 0 ? left : -left) * 100);
            } else {
                row.collect = Money::fromRaw(total * 100);
            }
        } else {
            row.caller = account;
            row.name = QStringLiteral("会议室%1").arg(account.right(1));
            row.collect = Money::fromRaw(total * 100);
        }
        row.total = Money::fromRaw(total * 100);
        const auto id = LedgerTable(m_db).append(row);
        if (!id)
            return id.status();
        if (room && room->deposit) {
            // The deposit settled: what is left handed back (or what is owed
            // taken), the deposit given up.
            const qint64 rent = total - t.total;
            room->balance -= rent;
            if (rent > 0)
                if (Status s = writeJournal({room->port, at, QStringLiteral("月租"), -rent, 0, -1}, *id, month); !s)
                    return s;
            const qint64 amount = -room->balance, delta = -room->paid;
            room->balance = 0;
            room->paid = 0;
            if (Status s =
                    writeJournal({room->port, at, amount <= 0 ? QStringLiteral("结算退款") : QStringLiteral("结算收款"),
                                  amount, delta, -1},
                                 *id);
                !s)
                return s;
        }
        t = Tally();
        return Status::ok();
    }

    struct Call {
        QDateTime end;
        int room = -1;    // or
        int account = -1; // 1..5
        bool stranded = false;
    };

    Status oneDay(const QDate &day)
    {
        // The morning: checkouts and month-end settlements.
        for (Room &r : m_rooms) {
            if (!r.occupied)
                continue;
            const bool out = r.checkout == day;
            const bool monthEnd = r.longStay && day.day() == 1;
            if (out || monthEnd)
                if (Status s = settle(&r, QString(), r.tally, QDateTime(day, QTime(out ? 11 : 10, r.port % 60, 0))); !s)
                    return s;
            if (out)
                r.occupied = false;
        }
        if (day.day() == 1)
            for (int a = 1; a <= kAccounts; ++a)
                if (Status s = settle(nullptr, QStringLiteral("账号%1").arg(a, 3, 10, QLatin1Char('0')),
                                      m_accountTally[a], QDateTime(day, QTime(9, a, 0)));
                    !s)
                    return s;
        for (Room &r : m_rooms)
            if (!r.occupied && chance(0.45))
                checkIn(r, day);
        for (const JournalEntry &e : std::as_const(m_pendingJournal))
            if (Status s = writeJournal(e); !s)
                return s;
        m_pendingJournal.clear();

        // The day's calls, in the order they end.
        QList<Call> calls;
        std::poisson_distribution<int> perRoom(m_callsPerRoomDay);
        auto moment = [&](const QDate &d) {
            // Evenings busiest, nights quiet.
            static const int weights[24] = {2, 1, 1, 1, 1, 2,  4,  8,  10, 10, 9, 9,
                                            9, 8, 8, 8, 9, 10, 12, 14, 14, 12, 8, 4};
            int h = 0;
            for (int w = pick(172); w >= weights[h]; w -= weights[h])
                ++h;
            return QDateTime(d, QTime(h, pick(60), pick(60)));
        };
        for (int i = 0; i < m_rooms.size(); ++i) {
            if (!m_rooms.at(i).occupied)
                continue;
            for (int n = perRoom(m_rng); n > 0; --n)
                calls.append({moment(day), i, -1, false});
        }
        std::poisson_distribution<int> perAccount(m_callsPerRoomDay * kRooms * 0.8 * 0.01 / kAccounts);
        for (int a = 1; a <= kAccounts; ++a)
            for (int n = perAccount(m_rng); n > 0; --n)
                calls.append({moment(day), -1, a, false});
        // A number no room has any more, still calling in the last days.
        if (day > m_plan.lastDay.addDays(-10))
            calls.append({moment(day), -1, -1, true});
        std::sort(calls.begin(), calls.end(), [](const Call &a, const Call &b) { return a.end < b.end; });
        for (const Call &c : std::as_const(calls))
            if (Status s = store(c); !s)
                return s;

        // The desk's logins.
        for (int shift = 0; shift < 4; ++shift) {
            const QDateTime in(day, QTime(shift * 6, 1, pick(60)));
            m_usage->text(1, QString::number(++m_usageSeq))
                .text(2, shift % 2 ? QStringLiteral("前台2") : kDesk)
                .text(3, in.toString(QStringLiteral("yyyy年MM月dd日HH:mm:ss")))
                .text(4, in.addSecs(6 * 3600 - 120).toString(QStringLiteral("yyyy年MM月dd日HH:mm:ss")));
            if (Status s = m_usage->run(); !s)
                return s;
        }
        return Status::ok();
    }

    Status store(const Call &c)
    {
        int w = pick(100);
        const TypeMix *type = &kTypes.front();
        for (const TypeMix &t : kTypes) {
            if (w < t.weight) {
                type = &t;
                break;
            }
            w -= t.weight;
        }
        const int code = type->code;
        const bool incoming = code == 9;
        std::exponential_distribution<double> len(1.0 / 150);
        const int duration = std::clamp(int(len(m_rng)), 5, 3600);
        QString called, area;
        switch (code) {
        case 5:
            called = QStringLiteral("5%1").arg(pick(9000000) + 1000000);
            area = QStringLiteral("本地");
            break;
        case 8:
            called = QStringLiteral("8%1").arg(pick(9000000) + 1000000);
            area = QStringLiteral("市话");
            break;
        case 3:
            called = QStringLiteral("13%1%2").arg(pick(10)).arg(pick(90000000) + 10000000);
            area = QStringLiteral("移动电话");
            break;
        case 2: {
            const int city = pick(kCities.size());
            called = QStringLiteral("0%1%2").arg(10 + city * 7).arg(pick(90000000) + 10000000);
            area = kCities.at(city);
            break;
        }
        case 1: {
            const int country = pick(kCountries.size());
            called = QStringLiteral("00%1%2").arg(1 + country * 3).arg(pick(900000000) + 100000000);
            area = kCountries.at(country);
            break;
        }
        case 0: {
            const int region = pick(kRegions.size());
            called = QStringLiteral("00%1%2").arg(852 + region).arg(pick(90000000) + 10000000);
            area = kRegions.at(region);
            break;
        }
        case 4:
            called = QStringLiteral("168%1").arg(pick(9000) + 1000);
            area = QStringLiteral("信息台");
            break;
        case 6:
            called = QStringLiteral("17951%1").arg(pick(90000000) + 10000000);
            area = QStringLiteral("网络电话");
            break;
        case 7:
            called = QStringLiteral("6%1").arg(pick(900) + 100);
            area = QStringLiteral("虚拟网");
            break;
        default: called = QStringLiteral("13%1%2").arg(pick(10)).arg(pick(90000000) + 10000000); break;
        }
        const qint64 units = (duration + 59) / 60;
        const qint64 charge = units * type->ratePerMinute;
        const qint64 fee = charge + type->handling;
        const QString end = incoming ? secondForm(c.end) : minuteForm(c.end);

        QString caller, group, name, state = kSettled;
        Room *room = nullptr;
        if (c.room >= 0) {
            room = &m_rooms[c.room];
            caller = numberAt(*room, c.end);
            group = room->group;
            name = room->guest;
            if (settleDay(*room, c.end.date()) > m_plan.lastDay || pick(2000) == 0)
                state = kOpen;
        } else if (c.account > 0) {
            caller = QStringLiteral("账号%1").arg(c.account, 3, 10, QLatin1Char('0'));
            name = QStringLiteral("会议室%1").arg(c.account);
            if (QDate(c.end.date().year(), c.end.date().month(), 1).addMonths(1) > m_plan.lastDay)
                state = kOpen;
        } else {
            caller = QStringLiteral("8999");
            state = kOpen;
        }
        m_bill->text(1, caller)
            .text(2, called)
            .text(3, end)
            .text(4, QString::number(duration))
            .text(5, money(type->ratePerMinute))
            .text(6, area)
            .text(7, money(fee))
            .text(8, QString::number(code))
            .text(9, money(type->handling))
            .text(10, QStringLiteral("0.00"))
            .text(11, money(charge))
            .text(12, state)
            .text(13, group)
            .text(14, name);
        if (Status s = m_bill->run(); !s)
            return s;
        const qint64 id = m_db.lastInsertRowId();
        if (state == kOpen && room)
            if (Status s = m_port->integer(1, id).text(2, QString::number(room->port)).run(); !s)
                return s;
        if (state == kSettled) {
            if (room)
                room->tally.add(code, charge, type->handling, fee, end);
            else if (c.account > 0)
                m_accountTally[c.account].add(code, charge, type->handling, fee, end);
        }
        if (room && room->deposit && fee > 0) {
            room->balance -= fee;
            if (Status s = writeJournal({room->port, c.end, QStringLiteral("话费"), -fee, 0, id}); !s)
                return s;
        }
        return Status::ok();
    }

    Status finish()
    {
        // The deposits hold what their journals add up to.
        for (const Room &r : std::as_const(m_rooms))
            if (r.deposit)
                if (Status s = m_db.exec(QStringLiteral("UPDATE Foregift SET 余额=?, 押金=? WHERE 物理端口=?"),
                                         {money(r.balance), money(r.paid), QString::number(r.port)});
                    !s)
                    return s;
        // The numbers each port had.
        if (Status s = m_db.exec(QStringLiteral("DELETE FROM NumberHistory")); !s)
            return s;
        auto span = [&](int port, const QString &number, const QDateTime &from, const QDateTime &to) {
            return m_db.exec(QStringLiteral("INSERT INTO NumberHistory VALUES (?,?,?,?)"),
                             {QString::number(port), number, from.isValid() ? stampForm(from) : QString(),
                              to.isValid() ? stampForm(to) : QString()});
        };
        for (const Room &r : std::as_const(m_rooms)) {
            const QString before = numberAt(r, QDateTime(m_first, QTime(0, 0)));
            const QDateTime changed = r.port >= 20 && r.port <= 25   ? m_renumberAt
                                      : r.port == 30 || r.port == 31 ? m_exchangeAt
                                                                     : QDateTime();
            if (changed.isValid()) {
                if (Status s = span(r.port, before, QDateTime(), changed); !s)
                    return s;
                if (Status s = span(r.port, r.number, changed, QDateTime()); !s)
                    return s;
            } else if (Status s = span(r.port, r.number, QDateTime(), QDateTime()); !s) {
                return s;
            }
        }
        return Status::ok();
    }

    const BigHomePlan &m_plan;
    Database &m_db;
    std::mt19937 m_rng;
    QDate m_first;
    double m_callsPerRoomDay = 0;
    QDateTime m_renumberAt, m_exchangeAt;
    QList<Room> m_rooms;
    Tally m_accountTally[kAccounts + 1];
    QList<JournalEntry> m_pendingJournal;
    qint64 m_usageSeq = 0;
    std::unique_ptr<Insert> m_bill, m_port, m_journal, m_usage;
};

Status removeTree(const QString &path)
{
    QDir dir(path);
    if (dir.exists() && !dir.removeRecursively())
        return Status::fail(QStringLiteral("cannot remove %1").arg(path));
    return Status::ok();
}

} // namespace

QString BigHomePlan::name() const { return QStringLiteral("home-%1y-%2").arg(years).arg(recordsPerYear); }

QString BenchCacheDir()
{
    const QString env = qEnvironmentVariable("CORVANE_BENCH_CACHE");
    return env.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache/corvane-bench") : env;
}

Checked<QString> EnsureBigHome(const BigHomePlan &plan)
{
    const QString root = BenchCacheDir() + QLatin1Char('/') + plan.name();
    if (QFileInfo::exists(root + QStringLiteral("/data/Switch.mdb")))
        return root;
    const QString building = root + QStringLiteral(".building");
    if (Status s = removeTree(building); !s)
        return Checked<QString>::refuse(s);
    const HomePaths home(building);
    QString error;
    if (!InitHome(home, plan.adminPassword, error))
        return Checked<QString>::refuse(error);
    {
        Database db;
        if (Status s = db.open(home.switchDb(), HomeDatabaseKey(home).value_or(LegacyDatabaseKey())); !s)
            return Checked<QString>::refuse(s);
        // Generation is repeatable: a lost file is made again.
        for (const char *pragma : {"PRAGMA synchronous=OFF", "PRAGMA cache_size=-262144"})
            if (Status s = db.exec(QString::fromLatin1(pragma)); !s)
                return Checked<QString>::refuse(s);
        if (Status s = BringOwnTablesUpToDate(db, QDateTime(plan.lastDay.addYears(-plan.years), QTime(8, 0))); !s)
            return Checked<QString>::refuse(s);
        if (Status s = db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS BillPort (\"话单\" INTEGER PRIMARY KEY, "
                                              "\"物理端口\" TEXT)"));
            !s)
            return Checked<QString>::refuse(s);
        Generator g(plan, db);
        if (Status s = g.run(); !s)
            return Checked<QString>::refuse(s.context(QStringLiteral("generating %1").arg(plan.name())));
        if (Status s = db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")); !s)
            return Checked<QString>::refuse(s);
    }
    if (!QDir().rename(building, root))
        return Checked<QString>::refuse(QStringLiteral("cannot rename %1").arg(building));
    return root;
}

Status CopyHome(const QString &from, const QString &target)
{
    if (Status s = removeTree(target); !s)
        return s;
    if (!QDir().mkpath(target))
        return Status::fail(QStringLiteral("cannot make %1").arg(target));
    // cp keeps it quick and sparse; the home holds nothing but files.
    const int rc = QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), from + QStringLiteral("/."), target});
    if (rc != 0)
        return Status::fail(QStringLiteral("cp %1 %2 failed").arg(from, target));
    // The copy's ports point nowhere: the benchmark plugs its own switch in.
    const QString ports = target + QStringLiteral("/ports");
    QDir(ports).removeRecursively();
    QDir().mkpath(ports);
    for (int n = 1; n <= 16; ++n)
        QFile::link(ports + QStringLiteral("/absent-COM%1").arg(n), ports + QStringLiteral("/COM%1").arg(n));
    return Status::ok();
}

} // namespace corvane::bench
