#include "TrunkMonitor.h"
#include "CallRecordDecoder.h"

#include "BillTable.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DirectoryTables.h"
#include "General.h"
#include "Money.h"
#include "SwitchLink.h"
#include "TrunkTable.h"
#include "TrunkView.h"
#include "UserTable.h"

namespace corvane {

namespace {

const QString kIdlePicture = QStringLiteral("phone.gif");
const QString kBusyPicture = QStringLiteral("phoneon.gif");
const QString kTalkPicture = QStringLiteral("phonehold.gif");
const QString kShowMark = QStringLiteral("√");
const QString kUnknownCaller = QStringLiteral("未知来电");

constexpr int IncomingListLimit = 200;

quint8 byteAt(const QByteArray &frame, int offset) { return offset < frame.size() ? quint8(frame.at(offset)) : 0; }

// Dial digits from `count` nibbles starting at `offset`, high nibble first.
QString nibbleDigits(const QByteArray &frame, int offset, int count)
{
    QString hex;
    for (int i = 0; i < (count + 1) / 2; ++i)
        hex += Hex2(byteAt(frame, offset + i));
    return DecodeDigits(hex.left(count));
}

} // namespace

TrunkMonitor::TrunkMonitor(ConsoleContext &ctx, TrunkView &view, QObject *parent)
    : QObject(parent), m_ctx(ctx), m_view(view)
{
    setObjectName(QStringLiteral("TrunkMonitor"));
}

TrunkStates &TrunkMonitor::trunks() { return m_ctx.link ? m_ctx.link->TrunkState : m_ownTrunks; }

int TrunkMonitor::trunkIndex(int n) { return (n >= 1 && n <= TrunkCount) ? n - 1 : -1; }

void TrunkMonitor::known(int t)
{
    if (!m_unknown[size_t(t)])
        return;
    m_unknown[size_t(t)] = false;
    m_view.setTrunkUnknown(t, false);
}

void TrunkMonitor::ShowTrunksUnknown()
{
    for (int t = 0; t < TrunkCount; ++t) {
        m_unknown[size_t(t)] = true;
        m_view.setTrunkUnknown(t, true);
    }
}

QString TrunkMonitor::timeNow() const { return m_ctx.clock.now().toString(QStringLiteral("HHmmss")); }

const QString TrunkMonitor::IncomingNotStoredKey = QStringLiteral("TrunkMonitor.incomingNotStored");

QString TrunkMonitor::IncomingFee(qint64 seconds)
{
    const qint64 started = seconds > 0 ? (seconds + 5) / 6 : 0;
    return (Money::fromText(QStringLiteral("0.10")) * started).toText();
}

TrunkMonitor::TrunkUser TrunkMonitor::readUser(const Checked<std::optional<UserRow>> &row)
{
    TrunkUser u;
    if (!row || !*row)
        return u;
    u.found = true;
    u.number = (*row)->get(UserField::Number);
    u.name = (*row)->name();
    u.group = (*row)->group();
    u.show = (*row)->get(UserField::ShowOnTrunk) == kShowMark;
    return u;
}

// Only the matching rows are loaded: these run for every trunk frame.
TrunkMonitor::TrunkUser TrunkMonitor::userByPort(quint8 port)
{
    return readUser(UserTable(m_ctx.db).byPort(QString::number(port)));
}

TrunkMonitor::TrunkUser TrunkMonitor::userByNumber(const QString &number)
{
    return readUser(UserTable(m_ctx.db).byNumber(number));
}

QString TrunkMonitor::stripOfficeDigit(int trunk, const QString &digits)
{
    if (digits.isEmpty())
        return digits;
    const auto row = TrunkTable(m_ctx.db).byTrunk(trunk);
    if (!row || !*row)
        return digits;
    // The same rule the call-record intake applies to the dialled number.
    return StripIndirectOffice(digits, (*row)->get(TrunkField::OutgoingMode),
                               (*row)->get(TrunkField::IndirectDirection));
}

// ---- handlers ---------------------------------------------------------------

void TrunkMonitor::OnTrunkRinging(const QByteArray &frame)
{
    const int t = trunkIndex(byteAt(frame, 2));
    if (t < 0)
        return;
    known(t);
    m_view.setTrunkPicture(t, kBusyPicture);
    trunks()[size_t(t)].State = Ringing;
    m_view.setTrunkText(t, QStringLiteral("外线"));
}

void TrunkMonitor::OnCallerId(const QByteArray &frame)
{
    const int trunkNo = byteAt(frame, 2);
    const int t = trunkIndex(trunkNo);
    if (t < 0)
        return;
    known(t);
    TrunkRecord &rec = trunks()[size_t(t)];
    rec.CallerNo = nibbleDigits(frame, 3, 12);
    rec.State = Ringing;
    if (!rec.CallerNo.trimmed().isEmpty()) {
        // A list that cannot be read bars nobody; the call goes on.
        const Checked<bool> blocked = BlackListTable(m_ctx.db).isBlocked(rec.CallerNo);
        if (!blocked)
            qWarning("blacklist not read: %s", qPrintable(blocked.reason()));
        const bool barred = blocked.value_or(false);
        rec.Blocked = barred;
        // The switch drops a barred caller: tell it before anything else.
        if (barred && m_ctx.link)
            m_ctx.link->SendHex(QStringLiteral("62") + Hex2(quint8(trunkNo)));
        m_view.setTrunkText(t, rec.CallerNo);
        imgPHN_Click(t);
    }
    if (m_ctx.link)
        m_ctx.link->SendOutward(QStringLiteral("$PHN,") + rec.CallerNo + QStringLiteral("#\r\n"));
}

void TrunkMonitor::OnTrunkSeized(const QByteArray &frame)
{
    const int t = trunkIndex(byteAt(frame, 2));
    if (t < 0)
        return;
    known(t);
    trunks()[size_t(t)].State = Seized;
    const TrunkUser user = userByPort(byteAt(frame, 4));
    m_view.setTrunkPicture(t, kBusyPicture);
    if (user.show)
        m_view.setTrunkText(t, user.number);
}

void TrunkMonitor::OnTrunkDialled(const QByteArray &frame)
{
    const int trunkNo = byteAt(frame, 2);
    const int t = trunkIndex(trunkNo);
    if (t < 0)
        return;
    known(t);
    trunks()[size_t(t)].State = Seized;
    const TrunkUser user = userByPort(byteAt(frame, 4));
    const QString digits = stripOfficeDigit(trunkNo, nibbleDigits(frame, 5, 8));
    if (user.show)
        m_view.setTrunkText(t, user.number + lineBreak() + digits);
    m_view.setTrunkPicture(t, kTalkPicture);
}

void TrunkMonitor::OnTrunkUserChange(const QByteArray &frame)
{
    const int t = trunkIndex(byteAt(frame, 4));
    if (t < 0)
        return;
    known(t);
    const TrunkUser user = userByPort(byteAt(frame, 3));
    if (!user.found)
        return;
    TrunkRecord &rec = trunks()[size_t(t)];
    rec.UserNo = user.number;
    if (user.show)
        m_view.setTrunkText(t, m_view.trunkText(t) + lineBreak() + rec.UserNo);
}

void TrunkMonitor::OnTrunkAnswer(const QByteArray &frame)
{
    const int t = trunkIndex(byteAt(frame, 4));
    if (t < 0)
        return;
    known(t);
    const TrunkUser user = userByPort(byteAt(frame, 3));
    TrunkRecord &rec = trunks()[size_t(t)];
    if (rec.State != Idle)
        m_view.setTrunkTextColor(t, Qt::blue);
    if (rec.State == Ringing) {
        rec.State = Answered;
        if (user.found)
            rec.UserNo = user.number;
        rec.StartTime = timeNow();
        m_view.setTrunkPicture(t, kTalkPicture);
        if (user.show)
            m_view.setTrunkText(t, rec.CallerNo + lineBreak() + rec.UserNo);
    } else if (rec.State == Idle) {
        rec.State = TakenIdle;
        m_view.setTrunkPicture(t, kBusyPicture);
        if (user.show)
            m_view.setTrunkText(t, m_view.trunkText(t) + lineBreak() + user.number);
    }
}

void TrunkMonitor::OnTrunkReleased(const QByteArray &frame)
{
    const int t = trunkIndex(byteAt(frame, 2));
    if (t < 0)
        return;
    known(t);
    TrunkRecord &rec = trunks()[size_t(t)];
    if (rec.State == Ringing) {
        // Never answered: listed as a missed call.
        // A blocked caller says so where the extension would stand.
        m_view.addIncomingRow(
            IncomingListLimit,
            {rec.CallerNo, QStringLiteral("*") + (rec.Blocked ? BlockedText() : rec.UserNo), m_ctx.stamp()});
    }
    if (!rec.StartTime.isEmpty() && rec.State == Answered) {
        rec.EndTime = timeNow();
        rec.Seconds = SecondsBetween(rec.EndTime, rec.StartTime);
        const QString stamp = m_ctx.stamp();
        m_view.addIncomingRow(IncomingListLimit, {rec.CallerNo, rec.UserNo, stamp});
        const QString fee = IncomingFee(rec.Seconds.toLongLong());
        const TrunkUser user = userByNumber(rec.UserNo);
        BillRecord bill;
        bill.set(BillField::Caller, rec.UserNo);
        bill.set(BillField::Called, rec.CallerNo);
        bill.set(BillField::EndTime, stamp);
        bill.set(BillField::Duration, rec.Seconds);
        bill.set(BillField::Rate, QStringLiteral("0.10"));
        bill.set(BillField::Area, QStringLiteral("呼入"));
        bill.set(BillField::Fee, fee);
        bill.set(BillField::CallType, QStringLiteral("9"));
        bill.set(BillField::Handling, QStringLiteral("0.00"));
        bill.set(BillField::Service, QStringLiteral("0.00"));
        bill.set(BillField::Charge, fee);
        bill.set(BillField::Group, user.group);
        bill.set(BillField::Name, user.name);
        // Told without blocking, frames keep arriving while the box is open;
        // the same failure again only raises the count in that one box.
        if (const Status written = BillTable(m_ctx.db).append(bill).status(); !written)
            m_ctx.messages.notifyKeyed(IncomingNotStoredKey,
                                       written.context(QStringLiteral("来电话单未能保存")).reason(),
                                       QStringLiteral("数据库错误"), MessageService::Icon::Warning);
    }
    rec = TrunkRecord{};
    m_view.setTrunkPicture(t, kIdlePicture);
    m_view.setTrunkText(t, QString());
    m_view.setTrunkTextColor(t, Qt::black);
}

// ---- caller pop-up ----------------------------------------------------------------

void TrunkMonitor::imgPHN_Click(int Index)
{
    const int t = Index;
    if (t < 0 || t >= TrunkCount)
        return;
    TrunkRecord &rec = trunks()[size_t(t)];
    // Idle and outgoing trunks have no caller; asking must not leave a mark
    // that the next incoming call would inherit.
    if (rec.State < Ringing)
        return;
    if (rec.CallerNo.trimmed().isEmpty())
        rec.CallerNo = kUnknownCaller;

    const QString number = rec.CallerNo.trimmed();
    const QString nl = lineBreak();
    QString info;
    const auto found = ClientTable(m_ctx.db).byPhone(number);
    if (!found)
        qWarning("directory not read: %s", qPrintable(found.reason()));
    if (!found || !*found) {
        info = QStringLiteral("未知来电人：") + number + nl;
    } else {
        const ClientRow &c = **found;
        info = QStringLiteral("来电人：") + c.get(ClientField::Name) + nl + QStringLiteral("单位：")
               + c.get(ClientField::Company) + nl + QStringLiteral("网址：") + c.get(ClientField::Web) + nl
               + QStringLiteral("传真：") + c.get(ClientField::Fax) + nl + QStringLiteral("地址：")
               + c.get(ClientField::Address) + nl + QStringLiteral("邮编：") + c.get(ClientField::PostCode) + nl
               + QStringLiteral("邮箱：") + c.get(ClientField::Email) + nl + QStringLiteral("电话号码：") + number + nl;
    }
    if (rec.Blocked)
        info += BlockedText() + QStringLiteral("（黑名单）") + nl;
    m_view.showCallerInfo(t, info);
}

} // namespace corvane
