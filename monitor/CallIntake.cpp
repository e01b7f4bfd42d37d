#include "CallIntake.h"

#include "CallRecordDecoder.h"
#include "Columns.h"
#include "ConsoleContext.h"
#include "Criteria.h"
#include "Data.h"
#include "Database.h"
#include "FeeEngine.h"
#include "Money.h"
#include "Recordset.h"
#include "SwitchLink.h"

#include <QFile>
#include <QStringEncoder>

namespace corvane {

namespace {

const QString kAccountWord = QStringLiteral("账号");
const QString kNotSettled = QStringLiteral("未结算");

const QString kStoreFailed = QStringLiteral("话单无法存入数据库，本话单未确认，交换机将重发。\n原因：%1");
const QString kStoreTitle = QStringLiteral("话单存储错误");
const QString kFileFailed = QStringLiteral("话单文件无法写入：%1\n原因：%2");
const QString kFileTitle = QStringLiteral("话单文件错误");

// The deposit after a call: the old balance less the fee, two decimals, and
// whether it has run out (below zero; exactly zero is not).
struct Charged {
    QString balance;
    bool overrun;
};

Charged charge(const QString &oldBalance, const QString &fee)
{
    const QString text = (Money::fromText(oldBalance) - Money::fromText(fee)).toText();
    return {text, Money::fromText(text).isNegative()};
}

} // namespace

const QString CallIntake::SeenTable = QStringLiteral("CallIntakeSeen");
const QString CallIntake::StoreFailedKey = QStringLiteral("CallIntake.storeFailed");

CallIntake::CallIntake(ConsoleContext &ctx, FeeEngine &fees, CallIntakeView *view)
    : CallIntake(ctx, fees, view, Options())
{}

CallIntake::CallIntake(ConsoleContext &ctx, FeeEngine &fees, CallIntakeView *view, const Options &options)
    : m_ctx(ctx), m_fees(fees), m_view(view), m_options(options)
{
    EnsureSeenTable();
}

bool CallIntake::EnsureSeenTable()
{
    if (m_seenTableReady)
        return true;
    Database &db = m_ctx.db;
    if (!db.isOpen())
        return false;
    // One row, the last frame taken; no index, every lookup reads the newest
    // row by rowid.
    m_seenTableReady = bool(
        db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"Frame\" TEXT NOT NULL, \"SeenMs\" INTEGER NOT NULL)")
                    .arg(Database::quoteId(SeenTable))));
    return m_seenTableReady;
}

int CallIntake::ProcessCallRecord(const QByteArray &frame)
{
    if (!CallRecordChecksumOk(frame)) {
        m_lastOutcome = Outcome::BadChecksum;
        return 1;
    }

    const QDate today = m_ctx.clock.now().date();
    const DecodedCall d = DecodeCallRecord(frame, today);
    m_rec.IsAccount = d.account ? QStringLiteral("1") : QStringLiteral("0");
    m_rec.Trunk = QString::number(d.trunk);
    m_rec.Caller = QString::number(d.line);
    m_rec.EndTime = d.endTime();
    m_rec.Duration = QString::number(d.duration);
    m_rec.Called = d.called;
    m_rec.FeePart1.clear();
    m_rec.FeePart2.clear();
    m_rec.FeePart3.clear();

    Effects fx;
    fx.endTimeDigits = d.endTimeDigits();
    QString why;
    m_lastOutcome = storeRecord(frame, fx, why);
    switch (m_lastOutcome) {
    case Outcome::Failed: reportStoreFailure(why); break;
    case Outcome::Repeat:
        // Already stored and charged; only our acknowledgement went missing.
        if (m_ctx.link)
            m_ctx.link->SendAck();
        break;
    case Outcome::Stored: afterCommit(fx); break;
    case Outcome::BadChecksum: break;
    }
    return CallRecordFrame::Length;
}

CallIntake::Outcome CallIntake::storeRecord(const QByteArray &frame, Effects &fx, QString &why)
{
    Database &db = m_ctx.db;
    auto failed = [&](const QString &step) {
        why = step;
        return Outcome::Failed;
    };
    auto failedWith = [&](const QString &step, const Status &status) {
        why = status.context(step).reason();
        return Outcome::Failed;
    };
    if (!db.isOpen())
        return failed(QStringLiteral("数据库未打开"));
    if (!EnsureSeenTable())
        return failed(QStringLiteral("无法建立话单记录表"));

    Transaction tx(db);
    if (!tx.begun())
        return failedWith(QStringLiteral("无法开始事务"), tx.begun());

    const QString key = CallRecordKey(frame);
    const qint64 nowMs = m_ctx.clock.now().toMSecsSinceEpoch();
    const QString seenTable = Database::quoteId(SeenTable);
    // A repeat is the resend of the last frame taken, inside the window.
    const auto last =
        db.select(QStringLiteral("SELECT \"Frame\", \"SeenMs\" FROM %1 ORDER BY rowid DESC LIMIT 1").arg(seenTable));
    if (!last)
        return failedWith(QStringLiteral("无法读取话单记录表"), last.status());
    if (!last->isEmpty() && last->first().value(0) == key
        && qAbs(nowMs - last->first().value(1).toLongLong()) <= m_options.seenWindowMs)
        return Outcome::Repeat;

    // The indirect-office digit of the trunk's route is not part of the number.
    Recordset exchange(db, QStringLiteral("Exchange"), Criteria(QStringLiteral("中继"), m_rec.Trunk));
    if (!exchange.isValid())
        return failedWith(QStringLiteral("无法读取中继设置"), exchange.status());
    if (exchange.hasCurrent())
        m_rec.Called = StripIndirectOffice(m_rec.Called, exchange.value(col::Exchange::OutgoingMode),
                                           exchange.value(col::Exchange::IndirectDirection));

    m_fees.ComputeFee(m_rec);

    Recordset config(db, QStringLiteral("SWTConfig"));
    if (!config.isValid())
        return failedWith(QStringLiteral("无法读取系统设置"), config.status());
    const QString demoteClass = config.value(col::SWTConfig::DemoteClass).trimmed();
    const QString folder = config.value(col::SWTConfig::FilePath);
    if (!folder.isEmpty())
        fx.filePath = CallFilePath(folder, m_ctx.clock.now().date());

    const int line = m_rec.Caller.toInt();
    const Status charged = m_rec.IsAccount == QLatin1String("1") ? chargeAccount(line, demoteClass, fx)
                                                                 : chargeExtension(line, demoteClass, fx);
    if (!charged)
        return failedWith(QStringLiteral("无法记入押金"), charged);

    Recordset bills = Recordset::forAppend(db, QStringLiteral("PHNBill"));
    const QStringList row{m_rec.Caller,   m_rec.Called, m_rec.EndTime,  m_rec.Duration, m_rec.Rate,
                          m_rec.Area,     m_rec.Fee,    m_rec.CallType, m_rec.FeePart1, m_rec.FeePart2,
                          m_rec.FeePart3, kNotSettled,  fx.group,       fx.name};
    if (!bills.isValid())
        return failedWith(QStringLiteral("无法写入话单"), bills.status());
    if (const Status written = WriteRecord(bills, true, row); !written)
        return failedWith(QStringLiteral("无法写入话单"), written);

    // This frame becomes the last taken; every older row goes (an earlier
    // console kept the frames of the last minutes here).
    if (Status s = db.exec(QStringLiteral("INSERT INTO %1 (\"Frame\", \"SeenMs\") VALUES (?, ?)").arg(seenTable),
                           {key, nowMs});
        !s)
        return failedWith(QStringLiteral("无法写入话单记录表"), s);
    if (Status s = db.exec(QStringLiteral("DELETE FROM %1 WHERE rowid<?").arg(seenTable), {db.lastInsertRowId()}); !s)
        return failedWith(QStringLiteral("无法整理话单记录表"), s);
    if (Status s = keepOutward(fx); !s)
        return failedWith(QStringLiteral("无法保存外发话单"), s);

    if (Status s = tx.commit(); !s)
        return failedWith(QStringLiteral("无法提交话单"), s);
    return Outcome::Stored;
}

Status CallIntake::chargeAccount(int account, const QString &demoteClass, Effects &fx)
{
    Database &db = m_ctx.db;
    const QString number = AccountNumberText(account);
    Recordset deposit(db, QStringLiteral("Foregift"),
                      Criteria(QStringLiteral("物理端口"), number).andEq(QStringLiteral("用户号码"), kAccountWord));
    Recordset acct(db, QStringLiteral("Account"), Criteria(QStringLiteral("账号编号"), number));
    if (!deposit.isValid())
        return deposit.status();
    if (!acct.isValid())
        return acct.status();

    // An account call belongs to no group; its name is the account's.
    fx.group.clear();
    fx.name = acct.hasCurrent() ? acct.value(col::Account::Name) : deposit.value(col::Foregift::Name);

    if (deposit.hasCurrent()) {
        const Charged c = charge(deposit.value(col::Foregift::Balance), m_rec.Fee);
        if (Status s = SetField(deposit, col::Foregift::Balance, c.balance); !s)
            return s;
        if (c.overrun) {
            if (Status s = SetField(deposit, col::Foregift::Class, demoteClass); !s)
                return s;
            if (acct.hasCurrent()) {
                fx.starCodes << QStringLiteral("*68*") + demoteClass + QLatin1Char('*')
                                    + acct.value(col::Account::TrunkGroup).trimmed() + QStringLiteral("*0*") + number
                                    + QLatin1Char('#');
                if (Status s = SetField(acct, col::Account::Class, demoteClass); !s)
                    return s;
            }
        }
    }
    m_rec.Caller = kAccountWord + number;
    return Status::ok();
}

Status CallIntake::chargeExtension(int port, const QString &demoteClass, Effects &fx)
{
    Database &db = m_ctx.db;
    const QString portText = QString::number(port);
    Recordset deposit(db, QStringLiteral("Foregift"),
                      Criteria(QStringLiteral("物理端口"), portText).andNe(QStringLiteral("用户号码"), kAccountWord));
    Recordset user(db, QStringLiteral("User"), Criteria(QStringLiteral("物理端口"), portText));
    if (!deposit.isValid())
        return deposit.status();
    if (!user.isValid())
        return user.status();

    // Without a user row the port stands as the caller and group and name stay empty.
    if (user.hasCurrent()) {
        m_rec.Caller = user.value(col::User::Number);
        fx.group = user.value(col::User::Group);
        fx.name = user.value(col::User::Name);
    }
    if (!deposit.hasCurrent())
        return Status::ok();

    const Charged c = charge(deposit.value(col::Foregift::Balance), m_rec.Fee);
    if (Status s = SetField(deposit, col::Foregift::Balance, c.balance); !s)
        return s;
    if (!c.overrun)
        return Status::ok();
    if (Status s = SetField(deposit, col::Foregift::Class, demoteClass); !s)
        return s;
    // The switch knows the extension by its number; without a user row the
    // deposit row's number is the one, never the port.
    QString number = m_rec.Caller;
    if (user.hasCurrent()) {
        if (Status s = SetField(user, col::User::Class, demoteClass); !s)
            return s;
    } else {
        number = deposit.value(col::Foregift::Number).trimmed();
    }
    if (!number.isEmpty())
        fx.starCodes << QStringLiteral("*10*") + demoteClass + QLatin1Char('*') + number + QLatin1Char('#');
    return Status::ok();
}

Status CallIntake::keepOutward(const Effects &fx)
{
    if (!m_ctx.link)
        return Status::ok();
    return m_ctx.link->KeepOutward(FeeRecord(m_rec.Caller, fx.endTimeDigits, m_rec.Duration, m_rec.Fee, m_rec.Called));
}

void CallIntake::afterCommit(const Effects &fx)
{
    if (m_ctx.link) {
        m_ctx.link->SendAck();
        for (const QString &code : fx.starCodes)
            m_ctx.link->SendStarCommand(code);
    }
    if (!fx.filePath.isEmpty())
        appendCallFile(fx.filePath);
    if (m_ctx.link)
        m_ctx.link->FlushOutward();
    if (m_view)
        m_view->ShowCall({m_rec.Caller, m_rec.Called, m_rec.EndTime, m_rec.Duration, m_rec.Area, m_rec.Rate, m_rec.Fee,
                          m_rec.Trunk});
}

void CallIntake::appendCallFile(const QString &path)
{
    QStringEncoder encoder("GB18030");
    const QByteArray bytes = encoder.encode(
        CallFileLine(m_rec.Caller, m_rec.Called, m_rec.Duration, m_rec.EndTime, m_rec.Fee) + QStringLiteral("\r\n"));
    QFile file(path);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Append);
    ok = ok && file.write(bytes) == bytes.size();
    ok = ok && file.flush();
    const QString error = file.errorString();
    file.close();
    if (ok) {
        m_fileFaultShown = false;
        return;
    }
    // The record itself is stored; only this copy is missing. Said once until
    // the file can be written again.
    if (!m_fileFaultShown) {
        m_fileFaultShown = true;
        m_ctx.messages.notify(kFileFailed.arg(path, error), kFileTitle, MessageService::Icon::Warning);
    }
}

void CallIntake::reportStoreFailure(const QString &why)
{
    qWarning("call record not stored: %s", qPrintable(why));
    // The switch resends the record every few seconds while the fault lasts:
    // one box, its count raised by each resend, never holding up the receive
    // path.
    m_ctx.messages.notifyKeyed(StoreFailedKey, kStoreFailed.arg(why), kStoreTitle, MessageService::Icon::Critical);
}

} // namespace corvane
