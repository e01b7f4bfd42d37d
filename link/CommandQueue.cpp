#include "CommandQueue.h"
#include "ClassCommands.h"
#include "Protocol.h"

#include <QIODevice>
#include <QSet>
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

void CommandQueue::enqueue(const LinkCommand &command, CommandBatch *batch, qint64 seq)
{
    Entry e;
    e.command = command;
    e.command.gapMs = qMax(0, command.gapMs);
    e.batch = batch;
    e.seq = seq;
    m_entries.push_back(e);
}

namespace {

LinkCommand toLink(const PendingCommand &c)
{
    switch (c.kind) {
    case PendingCommand::Kind::Hex: return LinkCommand::Hex(c.text, c.gapMs);
    case PendingCommand::Kind::Clock: return LinkCommand::Clock(c.gapMs);
    case PendingCommand::Kind::Star: break;
    }
    return LinkCommand::Star(c.text, c.gapMs);
}

} // namespace

CommandBatch *CommandQueue::SendKept()
{
    if (!m_store || !m_store->isOpen())
        return nullptr;
    PendingCommands table(*m_store);
    // Kept commands that left the table meanwhile (a download replaced
    // them) leave the queue too.
    if (m_kept > 0) {
        const auto seqs = table.seqs();
        if (seqs) {
            const QSet<qint64> still(seqs->cbegin(), seqs->cend());
            for (auto it = m_entries.begin(); it != m_entries.end();) {
                if (it->seq > 0 && !still.contains(it->seq)) {
                    if (it->batch)
                        it->batch->handled(it->command.text, false);
                    it = m_entries.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }
    CommandBatch *batch = nullptr;
    const auto fresh = table.after(m_lastLoaded);
    if (!fresh)
        qWarning("kept commands not read: %s", qPrintable(fresh.reason()));
    else if (!fresh->isEmpty()) {
        batch = new CommandBatch(int(fresh->size()), this);
        for (const PendingCommand &c : *fresh) {
            enqueue(toLink(c), batch, c.seq);
            m_lastLoaded = qMax(m_lastLoaded, c.seq);
        }
    }
    countKept();
    schedule();
    return batch;
}

bool CommandQueue::CanSend() const { return m_port.isOpen() && (!m_gate || m_gate()); }

bool CommandQueue::Stalled() const { return !m_entries.empty() && m_entries.front().seq > 0 && !CanSend(); }

void CommandQueue::Cancel(CommandBatch *batch)
{
    if (!batch)
        return;
    QList<qint64> seqs;
    QList<Entry> gone;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->batch == batch) {
            if (it->seq > 0)
                seqs << it->seq;
            gone << *it;
            it = m_entries.erase(it);
        } else {
            ++it;
        }
    }
    if (m_store && !seqs.isEmpty()) {
        if (Status s = PendingCommands(*m_store).remove(seqs); !s)
            qWarning("cancelled commands not removed: %s", qPrintable(s.reason()));
    }
    countKept();
    for (const Entry &e : gone)
        batch->handled(e.command.text, false);
}

void CommandQueue::Forget()
{
    std::deque<Entry> gone;
    gone.swap(m_entries);
    m_written.clear(); // still kept: they go at the next start
    m_timer.stop();
    countKept();
    for (const Entry &e : gone)
        if (e.batch)
            e.batch->handled(e.command.text, false);
}

void CommandQueue::countKept()
{
    int n = 0;
    for (const Entry &e : m_entries)
        n += e.seq > 0 ? 1 : 0;
    if (n == m_kept)
        return;
    m_kept = n;
    emit keptChanged(n);
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
        Entry e = m_entries.front();
        // A kept command waits for a switch that can take it; Resume goes on.
        if (e.seq > 0 && !CanSend())
            return;
        // A kept class command says the class the database holds now: a
        // demotion sent at once since it was kept is never overtaken by it.
        if (e.seq > 0 && !e.command.clock && m_store && m_store->isOpen()) {
            const QString current = ClassCommands::current(*m_store, e.command.text);
            if (current != e.command.text) {
                e.command = LinkCommand::Star(current, e.command.gapMs);
                m_entries.front() = e;
            }
        }
        const bool written = SendNow(e.command.clock ? ClockCommand(m_clock.now()) : e.command.hex);
        if (e.seq > 0 && !written)
            return; // the port failed under it: it stays kept
        m_entries.pop_front();
        if (written)
            m_readyAt = now + e.command.gapMs;
        if (e.seq > 0) {
            // It stays kept until the switch is heard after it.
            Entry sent = e;
            sent.batch = nullptr;
            m_written.emplace_back(sent, now);
            countKept();
        }
        if (e.batch)
            e.batch->handled(e.command.text, written);
    }
}

void CommandQueue::Heard()
{
    const qint64 now = m_clock.monotonicMs();
    QList<qint64> reached;
    while (!m_written.empty() && now - m_written.front().second >= HeardAfterMs) {
        reached.append(m_written.front().first.seq);
        m_written.pop_front();
    }
    if (reached.isEmpty() || !m_store)
        return;
    if (Status s = PendingCommands(*m_store).remove(reached); !s)
        qWarning("commands sent but not cleared (they may go again): %s", qPrintable(s.reason()));
}

void CommandQueue::Unheard()
{
    if (m_written.empty())
        return;
    // Those a download replaced meanwhile are not owed any more.
    QSet<qint64> still;
    if (m_store) {
        const auto seqs = PendingCommands(*m_store).seqs();
        if (seqs)
            still = QSet<qint64>(seqs->cbegin(), seqs->cend());
    }
    for (auto it = m_written.rbegin(); it != m_written.rend(); ++it)
        if (!m_store || still.contains(it->first.seq))
            m_entries.push_front(it->first);
    m_written.clear();
    countKept();
    schedule();
}

void CommandQueue::Drain()
{
    // Bounded by what the waiting commands need, with room for a slow start.
    m_clock.waitFor([this] { return m_entries.empty() || Stalled(); }, PendingMs() + 1000);
    // The last ones written are known to have reached the switch once it is
    // heard after them: a moment later it is asked (the clock command, which
    // it answers), and its answer is waited for a little. Unanswered, they
    // stay kept and go again at the next start.
    if (m_written.empty() || !m_entries.empty() || !CanSend())
        return;
    m_clock.waitFor(nullptr, HeardAfterMs);
    if (SendNow(ClockCommand(m_clock.now())))
        m_clock.waitFor([this] { return m_written.empty(); }, 2000);
}

} // namespace corvane
