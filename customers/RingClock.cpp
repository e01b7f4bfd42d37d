#include "RingClock.h"
#include "ConfigTable.h"
#include "ConsoleContext.h"
#include "UserTable.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace corvane {

namespace {

const char *const kEncoding = "GB18030";

QString quoted(const QString &field)
{
    QString f = field;
    f.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + f + QLatin1Char('"');
}

QString unquoted(const QString &field)
{
    QString f = field;
    f.replace(QStringLiteral("\"\""), QStringLiteral("\""));
    return f;
}

} // namespace

RingClock::RingClock(ConsoleContext &ctx) : m_ctx(ctx) {}

Checked<QString> RingClock::checkNumber(const QString &typed) const
{
    const QString refusal = QStringLiteral("输入的用户号码不存在，请核对后重新输入！");
    const QString number = typed.trimmed();
    if (number.isEmpty())
        return Checked<QString>::refuse(refusal);
    const auto user = UserTable(m_ctx.db).byNumber(number);
    if (!user || !*user)
        return Checked<QString>::refuse(refusal);
    bool portOk = false;
    bool capacityOk = false;
    const int port = (*user)->port().toInt(&portOk);
    const int capacity = ConfigTable(m_ctx.db).value(ConfigField::Capacity).trimmed().toInt(&capacityOk);
    if (!portOk || !capacityOk || port < 0 || port >= capacity)
        return Checked<QString>::refuse(refusal);
    return number;
}

QDateTime RingClock::nextOccurrence(const QDateTime &now, const QTime &time)
{
    const QTime minute(time.hour(), time.minute());
    QDateTime today(now.date(), minute, now.timeSpec());
    if (today > now)
        return today;
    return QDateTime(now.date().addDays(1), minute, now.timeSpec());
}

QString RingClock::setCode(const QString &number, const QTime &time)
{
    return QStringLiteral("*34*") + number + QLatin1Char('*') + time.toString(QStringLiteral("HHmm"))
           + QLatin1Char('#');
}

QString RingClock::clearCode(const QString &number) { return QStringLiteral("*34*") + number + QStringLiteral("*0#"); }

Checked<QString> RingClock::setAlarm(const QString &typedNumber, const QTime &time)
{
    const Checked<QString> number = checkNumber(typedNumber);
    if (!number)
        return number;
    const QDateTime moment = nextOccurrence(m_ctx.clock.now(), time);
    auto it = std::find_if(m_alarms.begin(), m_alarms.end(), [&](const RingAlarm &a) { return a.number == *number; });
    if (it != m_alarms.end())
        it->moment = moment;
    else
        m_alarms.prepend({*number, moment});
    return setCode(*number, time);
}

Checked<QString> RingClock::clearAlarm(const QString &typedNumber)
{
    const Checked<QString> number = checkNumber(typedNumber);
    if (!number)
        return number;
    m_alarms.erase(
        std::remove_if(m_alarms.begin(), m_alarms.end(), [&](const RingAlarm &a) { return a.number == *number; }),
        m_alarms.end());
    return clearCode(*number);
}

QDateTime RingClock::momentOf(const QString &number) const
{
    for (const RingAlarm &a : m_alarms)
        if (a.number == number)
            return a.moment;
    return {};
}

QString RingClock::formatMoment(const QDateTime &moment) { return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm")); }

QDateTime RingClock::parseMoment(const QString &text)
{
    static const QRegularExpression form(
        QString::fromLatin1(R"(^\s*(\d{4})[-/.](\d{1,2})[-/.](\d{1,2})\s+(\d{1,2}):(\d{2})(?::(\d{2}))?\s*$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return {};
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).isEmpty() ? 0 : m.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

QByteArray RingClock::encodeFile(const QList<RingAlarm> &alarms)
{
    QString text;
    for (const RingAlarm &a : alarms)
        text += quoted(a.number) + QLatin1Char(',') + quoted(formatMoment(a.moment)) + QStringLiteral("\r\n");
    QStringEncoder encoder(kEncoding);
    return encoder.encode(text);
}

QList<RingAlarm> RingClock::decodeFile(const QByteArray &bytes, const QDateTime &now, int *damaged)
{
    // "number","moment", a doubled quote standing for a quote inside a field.
    static const QRegularExpression line(QString::fromLatin1(R"re(^\s*"((?:[^"]|"")*)"\s*,\s*"((?:[^"]|"")*)"\s*$)re"));
    QList<RingAlarm> out;
    int bad = 0;
    for (QByteArray raw : bytes.split('\n')) {
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.trimmed().isEmpty())
            continue;
        // Each line on its own, so that bytes of another encoding spoil only
        // the lines they are in.
        QStringDecoder decoder(kEncoding, QStringConverter::Flag::Stateless);
        const QString text = decoder.decode(raw);
        const QRegularExpressionMatch m = line.match(text);
        const QDateTime moment = m.hasMatch() ? parseMoment(unquoted(m.captured(2))) : QDateTime();
        const QString number = m.hasMatch() ? unquoted(m.captured(1)).trimmed() : QString();
        if (decoder.hasError() || text.contains(QChar(0)) || !moment.isValid() || number.isEmpty()) {
            ++bad;
            continue;
        }
        if (moment <= now)
            continue; // it has rung
        // One item per extension: a later line of the same number wins.
        out.erase(std::remove_if(out.begin(), out.end(), [&](const RingAlarm &a) { return a.number == number; }),
                  out.end());
        out.append({number, moment});
    }
    if (damaged)
        *damaged = bad;
    return out;
}

void RingClock::load()
{
    m_alarms.clear();
    m_damaged = 0;
    QFile file(m_ctx.home.ringTxt());
    if (!file.open(QIODevice::ReadOnly))
        return;
    m_alarms = decodeFile(file.readAll(), m_ctx.clock.now(), &m_damaged);
}

Status RingClock::save() const
{
    const QString path = m_ctx.home.ringTxt();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return Status::fail(QStringLiteral("无法建立文件夹 %1").arg(QFileInfo(path).absolutePath()));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Status::fail(QStringLiteral("%1：%2").arg(path, file.errorString()));
    const QByteArray bytes = encodeFile(m_alarms);
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return Status::fail(QStringLiteral("%1：%2").arg(path, why));
    }
    if (!file.commit())
        return Status::fail(QStringLiteral("%1：%2").arg(path, file.errorString()));
    return Status::ok();
}

} // namespace corvane
