#include "CallIntake.h"

#include "AccountTable.h"
#include "BillTable.h"
#include "CallRecordDecoder.h"
#include "ConfigTable.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DepositTable.h"
#include "FeeEngine.h"
#include "Money.h"
#include "SwitchLink.h"
#include "TrunkTable.h"
#include "UserTable.h"

namespace corvane {

namespace {

const QString kStoreFailed = QStringLiteral("话单无法存入数据库，本话单未确认，交换机将重发。\n原因：%1");
const QString kStoreTitle = QStringLiteral("话单存储错误");
const QString kFileTitle = QStringLiteral("话单文件错误");

} // namespace

const QString CallIntake::SeenTable = QStringLiteral("CallIntakeSeen");
const QString CallIntake::StoreFailedKey = QStringLiteral("CallIntake.storeFailed");

CallIntake::CallIntake(ConsoleContext &ctx, FeeEngine &fees, CallIntakeView *view)
    : CallIntake(ctx, fees, view, Options())
{}

CallIntake::CallIntake(ConsoleContext &ctx, FeeEngine &fees, CallIntakeView *view, const Options &options)
    : m_ctx(ctx), m_fees(fees), m_view(view), m_options(options), m_file(ctx.db)
{
    EnsureSeenTable();
    // Lines a killed console kept and had not written yet.
    if (m_file.EnsureTable() && m_file.Pending() > 0)
        flushCallFile();
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
        // Already stored and charged; only our acknowledgement went missing,
        // and perhaps the copies of a console killed after the commit.
        if (m_ctx.link)
            m_ctx.link->SendAck();
        flushCallFile();
        if (m_ctx.link)
            m_ctx.link->FlushOutward();
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
    const auto trunk = TrunkTable(db).byTrunk(m_rec.Trunk.toInt());
    if (!trunk)
        return failedWith(QStringLiteral("无法读取中继设置"), trunk.status());
    if (*trunk)
        m_rec.Called = StripIndirectOffice(m_rec.Called, (*trunk)->get(TrunkField::OutgoingMode),
                                           (*trunk)->get(TrunkField::IndirectDirection));

    m_fees.ComputeFee(m_rec);

    const auto config = ConfigTable(db).read();
    if (!config)
        return failedWith(QStringLiteral("无法读取系统设置"), config.status());
    const QString demoteClass = config->demoteClass();
    const QString folder = config->get(ConfigField::FilePath);
    if (!folder.isEmpty())
        fx.filePath = CallFilePath(folder, m_ctx.clock.now().date());

    // The caller's deposit, found before the record names the caller.
    const int line = m_rec.Caller.toInt();
    const bool account = m_rec.IsAccount == QLatin1String("1");
    const auto deposit = account ? resolveAccount(line, fx) : resolveExtension(line, fx);
    if (!deposit)
        return failedWith(QStringLiteral("无法读取押金"), deposit.status());

    BillRecord bill;
    bill.set(BillField::Caller, m_rec.Caller);
    bill.set(BillField::Called, m_rec.Called);
    bill.set(BillField::EndTime, m_rec.EndTime);
    bill.set(BillField::Duration, m_rec.Duration);
    bill.set(BillField::Rate, m_rec.Rate);
    bill.set(BillField::Area, m_rec.Area);
    bill.set(BillField::Fee, m_rec.Fee);
    bill.set(BillField::CallType, m_rec.CallType);
    bill.set(BillField::Handling, m_rec.FeePart1);
    bill.set(BillField::Service, m_rec.FeePart2);
    bill.set(BillField::Charge, m_rec.FeePart3);
    bill.set(BillField::Group, fx.group);
    bill.set(BillField::Name, fx.name);
    const auto written = BillTable(db).append(bill, account ? QString() : QString::number(line));
    if (!written)
        return failedWith(QStringLiteral("无法写入话单"), written.status());

    // The deposit pays for the call (the journal names the record); one that
    // runs out demotes the extension or account.
    if (*deposit) {
        const auto charged = DepositTable(db).charge(**deposit, Money::fromText(m_rec.Fee), *written, demoteClass);
        if (!charged)
            return failedWith(QStringLiteral("无法记入押金"), charged.status());
        fx.starCodes = charged->commands;
    }

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
    if (!fx.filePath.isEmpty())
        if (Status s = m_file.Keep(fx.filePath,
                                   CallFileLine(m_rec.Caller, m_rec.Called, m_rec.Duration, m_rec.EndTime, m_rec.Fee));
            !s)
            return failedWith(QStringLiteral("无法保存话单文件的记录"), s);

    if (Status s = tx.commit(); !s)
        return failedWith(QStringLiteral("无法提交话单"), s);
    m_file.Committed();
    return Outcome::Stored;
}

Checked<std::optional<DepositRow>> CallIntake::resolveAccount(int account, Effects &fx)
{
    Database &db = m_ctx.db;
    const QString number = AccountTable::numberText(account);
    const auto deposit = DepositTable(db).ofAccount(number);
    if (!deposit)
        return deposit;
    const auto acct = AccountTable(db).byNumber(number);
    if (!acct)
        return acct.refusedAs<std::optional<DepositRow>>();
    // An account call belongs to no group; its name is the account's.
    fx.group.clear();
    fx.name = *acct ? (*acct)->name() : *deposit ? (*deposit)->get(DepositField::Name) : QString();
    m_rec.Caller = AccountTable::callerText(number);
    return deposit;
}

Checked<std::optional<DepositRow>> CallIntake::resolveExtension(int port, Effects &fx)
{
    Database &db = m_ctx.db;
    const QString portText = QString::number(port);
    const auto deposit = DepositTable(db).ofExtension(portText);
    if (!deposit)
        return deposit;
    const auto user = UserTable(db).byPort(portText);
    if (!user)
        return user.refusedAs<std::optional<DepositRow>>();
    // Without a user row the port stands as the caller and group and name stay empty.
    if (*user) {
        m_rec.Caller = (*user)->get(UserField::Number);
        fx.group = (*user)->group();
        fx.name = (*user)->name();
    }
    return deposit;
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
    flushCallFile();
    if (m_ctx.link)
        m_ctx.link->FlushOutward();
    if (m_view)
        m_view->ShowCall({m_rec.Caller, m_rec.Called, m_rec.EndTime, m_rec.Duration, m_rec.Area, m_rec.Rate, m_rec.Fee,
                          m_rec.Trunk});
}

void CallIntake::flushCallFile()
{
    const Status written = m_file.Pending() == 0 ? Status::ok() : m_file.Flush();
    if (written) {
        m_fileFaultShown.clear();
        return;
    }
    // The record itself is stored and its line kept; only the file lags
    // behind. Said once, and again when another file fails.
    qWarning("%s", qPrintable(written.reason()));
    if (written.reason() != m_fileFaultShown) {
        m_fileFaultShown = written.reason();
        m_ctx.messages.notify(written.reason(), kFileTitle, MessageService::Icon::Warning);
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
