#include "CommandQueue.h"
#include "Protocol.h"

#include <QIODevice>
#include <QTimer>

namespace corvane {

LinkCommand LinkCommand::Star(const QString &code, int gapMs) { return {PackStarCode(code), gapMs, code}; }

LinkCommand LinkCommand::Hex(const QString &hex, int gapMs) { return {hex, gapMs, hex}; }

LinkCommand LinkCommand::Clock(int gapMs) { return {QString(), gapMs, QStringLiteral("系统时钟"), true}; }

// ---- CommandBatch -------------------------------------------------------------

CommandBatch::CommandBatch(int total, QObject *parent) : QObject(parent), m_total(total)
{
    setObjectName(QStringLiteral("CommandBatch"));
}

void CommandBatch::handled(const QString &text, bool written)
{
    ++m_done;
    if (!written)
        ++m_dropped;
    m_current = text;
    emit progress(m_done, m_total, m_current);
    if (m_done >= m_total)
        finish();
}

void CommandBatch::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished(sent(), m_dropped);
    deleteLater();
}

// ---- CommandQueue -------------------------------------------------------------

CommandQueue::CommandQueue(Clock &clock, QIODevice &port, QObject *parent)
    : QObject(parent), m_clock(clock), m_port(port), m_timer(clock, this)
{
    setObjectName(QStringLiteral("CommandQueue"));
    m_timer.setSingleShot(true);
    connect(&m_timer, &ClockTimer::timeout, this, &CommandQueue::pump);
    m_readyAt = m_clock.monotonicMs();
}

CommandQueue::~CommandQueue() = default;

bool CommandQueue::SendNow(const QString &hex)
{
    if (!m_port.isOpen())
        return false;
    const QByteArray bytes = HexToBytes(hex);
    if (bytes.isEmpty())
        return false;
    return m_port.write(bytes) == bytes.size();
}

void CommandQueue::QueueHex(const QString &hex, int gapMs)
{
    enqueue(LinkCommand::Hex(hex, gapMs), nullptr);
    schedule();
}

CommandBatch *CommandQueue::Queue(const QList<LinkCommand> &commands)
{
    auto *batch = new CommandBatch(int(commands.size()), this);
    if (commands.isEmpty()) {
        QTimer::singleShot(0, batch, [batch] { batch->finish(); });
        return batch;
    }
    for (const LinkCommand &c : commands)
        enqueue(c, batch);
    schedule();
    return batch;
}

CommandBatch *CommandQueue::QueueStarCommands(const QStringList &codes, int gapMs)
{
    QList<LinkCommand> commands;
    commands.reserve(codes.size());
    for (const QString &code : codes)
        commands.append(LinkCommand::Star(code, gapMs));
    return Queue(commands);
}

qint64 CommandQueue::PendingMs() const
{
    qint64 ms = qMax<qint64>(0, m_readyAt - m_clock.monotonicMs());
    for (const Entry &e : m_entries)
        ms += e.command.gapMs;
    return ms;
}

void CommandQueue::enqueue(const LinkCommand &command, CommandBatch *batch)
{
    Entry e;
    e.command = command;
    e.command.gapMs = qMax(0, command.gapMs);
    e.batch = batch;
    m_entries.push_back(e);
}

void CommandQueue::schedule()
{
    if (m_entries.empty() || m_timer.isActive())
        return;
    m_timer.start(int(qMax<qint64>(0, m_readyAt - m_clock.monotonicMs())));
}

void CommandQueue::pump()
{
    // A batch's signals may queue more or send at once; each turn reads the
    // queue afresh.
    while (!m_entries.empty()) {
        const qint64 now = m_clock.monotonicMs();
        if (now < m_readyAt) {
            m_timer.start(int(m_readyAt - now));
            return;
        }
        const Entry e = m_entries.front();
        m_entries.pop_front();
        const bool written = SendNow(e.command.clock ? ClockCommand(m_clock.now()) : e.command.hex);
        if (written)
            m_readyAt = now + e.command.gapMs;
        if (e.batch)
            e.batch->handled(e.command.text, written);
    }
}

void CommandQueue::Drain()
{
    // Bounded by what the waiting commands need, with room for a slow start.
    m_clock.waitFor([this] { return m_entries.empty(); }, PendingMs() + 1000);
}

} // namespace corvane
