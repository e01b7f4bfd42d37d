#include "CommandQueue.h"
#include "ClassCommands.h"
#include "Protocol.h"
#include "SwitchLists.h"

#include <QIODevice>
#include <QMap>
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
    finishIfDone();
}

void CommandBatch::withdrawn(const QString &text)
{
    ++m_dropped;
    m_current = text;
    emit progress(m_done, m_total, m_current);
    finishIfDone();
}

void CommandBatch::reached(int n)
{
    if (n <= 0)
        return;
    m_delivered += n;
    emit deliveredChanged(m_delivered, m_total);
    finishIfDone();
}

void CommandBatch::finishIfDone()
{
    if (m_done >= m_total && m_delivered + m_dropped >= m_total)
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

namespace {

bool isClockCommand(const QByteArray &bytes) { return bytes.size() == 8 && quint8(bytes.at(0)) == 0xE8; }

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

void CommandQueue::dropOwed(const Owed &o, const QString &text)
{
    if (!o.batch)
        return;
    // Written before and put back: handled already, dropped now.
    if (o.counted)
        o.batch->withdrawn(text);
    else
        o.batch->handled(text, false);
}

CommandQueue::CommandQueue(Clock &clock, QIODevice &port, QObject *parent)
    : QObject(parent), m_clock(clock), m_port(port), m_timer(clock, this), m_probeTimer(clock, this)
{
    setObjectName(QStringLiteral("CommandQueue"));
    m_timer.setSingleShot(true);
    m_probeTimer.setSingleShot(true);
    connect(&m_timer, &ClockTimer::timeout, this, &CommandQueue::pump);
    connect(&m_probeTimer, &ClockTimer::timeout, this, &CommandQueue::probeTimedOut);
    // A port closed under written commands: whatever was on its way is in
    // doubt, and no answer to a clock command written there will come.
    connect(&m_port, &QIODevice::aboutToClose, this, &CommandQueue::PutBack);
    m_readyAt = m_clock.monotonicMs();
}

CommandQueue::~CommandQueue() = default;

void CommandQueue::setStore(Database *db)
{
    m_store = db;
    m_earlierRun = 0;
    if (!m_store || !m_store->isOpen())
        return;
    const auto seqs = PendingCommands(*m_store).seqs();
    if (seqs && !seqs->isEmpty())
        m_earlierRun = seqs->last();
}

bool CommandQueue::SendNow(const QString &hex)
{
    if (!m_port.isOpen())
        return false;
    const QByteArray bytes = HexToBytes(hex);
    if (bytes.isEmpty())
        return false;
    if (m_port.write(bytes) != bytes.size())
        return false;
    if (isClockCommand(bytes)) {
        m_probes.push_back({m_clock.monotonicMs(), m_serial});
        m_probedUpTo = m_serial;
        armProbeTimer();
    }
    return true;
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
    int kept = 0;
    for (const Entry &e : m_entries) {
        ms += e.command.gapMs;
        kept += e.kept ? 1 : 0;
    }
    // The probes that prove kept commands: one after every ProofEvery of
    // them, and one after the last.
    if (kept > 0)
        ms += qint64(kept / ProofEvery + 1) * LinkCommand::DefaultGapMs;
    return ms;
}

QStringList CommandQueue::UnkeptWaiting() const
{
    QStringList out;
    for (const Entry &e : m_entries)
        if (!e.kept)
            out << e.command.text;
    return out;
}

int CommandQueue::UnprovenCount() const
{
    int n = 0;
    for (const Written &w : m_written)
        n += int(w.entry.owed.size());
    return n;
}

void CommandQueue::enqueue(const LinkCommand &command, CommandBatch *batch)
{
    Entry e;
    e.command = command;
    e.command.gapMs = qMax(0, command.gapMs);
    e.batch = batch;
    m_entries.push_back(e);
}

CommandQueue::Entry CommandQueue::keptEntry(const PendingCommand &c)
{
    Entry e;
    e.command = toLink(c);
    e.command.gapMs = qMax(0, e.command.gapMs);
    e.kept = true;
    e.owed.append({c.seq, nullptr, false});
    if (c.kind == PendingCommand::Kind::Star)
        e.list = SwitchLists::listOf(c.text);
    e.expires = c.expires;
    return e;
}

CommandBatch *CommandQueue::SendKept()
{
    if (!m_store || !m_store->isOpen())
        return nullptr;
    PendingCommands table(*m_store);
    // Kept commands that left the table meanwhile (a restore dropped them)
    // leave the queue too.
    if (m_kept > 0) {
        const auto seqs = table.seqs();
        if (seqs) {
            const QSet<qint64> still(seqs->cbegin(), seqs->cend());
            for (auto it = m_entries.begin(); it != m_entries.end();) {
                QList<Owed> gone;
                for (auto o = it->owed.begin(); o != it->owed.end();) {
                    if (!still.contains(o->seq)) {
                        gone.append(*o);
                        o = it->owed.erase(o);
                    } else {
                        ++o;
                    }
                }
                for (const Owed &o : gone)
                    dropOwed(o, it->command.text);
                if (it->kept && !gone.isEmpty() && it->owed.isEmpty() && !it->member)
                    it = m_entries.erase(it);
                else
                    ++it;
            }
        }
    }
    CommandBatch *batch = nullptr;
    const auto fresh = table.after(m_lastLoaded);
    if (!fresh)
        qWarning("kept commands not read: %s", qPrintable(fresh.reason()));
    else if (!fresh->isEmpty()) {
        batch = new CommandBatch(int(fresh->size()), this);
        // An earlier run may have written its list commands already: those
        // lists are rewritten whole behind the rest.
        QMap<QString, QList<Owed>> doubtful;
        QStringList order;
        for (const PendingCommand &c : *fresh) {
            Entry e = keptEntry(c);
            e.owed.first().batch = batch;
            m_lastLoaded = qMax(m_lastLoaded, c.seq);
            if (!e.list.isEmpty() && c.seq <= m_earlierRun) {
                if (!order.contains(e.list))
                    order.append(e.list);
                doubtful[e.list] += e.owed;
                continue;
            }
            m_entries.push_back(e);
        }
        for (const QString &list : order)
            rewriteList(list, doubtful.value(list), {});
    }
    countKept();
    schedule();
    return batch;
}

bool CommandQueue::CanSend() const { return m_port.isOpen() && (!m_gate || m_gate()); }

bool CommandQueue::Stalled() const { return !m_entries.empty() && m_entries.front().kept && !CanSend(); }

int CommandQueue::Cancel(CommandBatch *batch)
{
    if (!batch)
        return 0;
    int going = 0;
    QList<qint64> seqs;
    QList<std::pair<Owed, QString>> gone;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->batch == batch) {
            gone.append({Owed{0, batch, false}, it->command.text});
            it = m_entries.erase(it);
            continue;
        }
        // A kept command of the batch goes; one of another batch that a
        // rewritten list took in stays owed by it, and so does one of a
        // list the batch has begun: a list cut short would stay so.
        for (auto o = it->owed.begin(); o != it->owed.end();) {
            if (o->batch == batch && batch->m_listsBegun.contains(it->list)) {
                ++going;
                ++o;
            } else if (o->batch == batch) {
                seqs << o->seq;
                gone.append({*o, it->command.text});
                o = it->owed.erase(o);
            } else {
                ++o;
            }
        }
        if (it->kept && it->owed.isEmpty() && !it->member)
            it = m_entries.erase(it);
        else
            ++it;
    }
    if (m_store && !seqs.isEmpty()) {
        if (Status s = PendingCommands(*m_store).remove(seqs); !s)
            qWarning("cancelled commands not removed: %s", qPrintable(s.reason()));
    }
    countKept();
    for (const auto &[o, text] : gone)
        dropOwed(o, text);
    return going;
}

void CommandQueue::Forget()
{
    std::deque<Entry> gone;
    gone.swap(m_entries);
    m_written.clear(); // still kept: they go at the next start
    m_probes.clear();
    m_probeTimer.stop();
    m_timer.stop();
    countKept();
    for (const Entry &e : gone) {
        if (e.batch)
            e.batch->handled(e.command.text, false);
        for (const Owed &o : e.owed)
            dropOwed(o, e.command.text);
    }
}

void CommandQueue::countKept()
{
    int n = 0;
    for (const Entry &e : m_entries)
        n += int(e.owed.size());
    n += UnprovenCount();
    if (n == m_kept)
        return;
    m_kept = n;
    emit keptChanged(n);
}

void CommandQueue::schedule()
{
    if (m_timer.isActive())
        return;
    if (m_entries.empty() && !probeWanted())
        return;
    m_timer.start(int(qMax<qint64>(0, m_readyAt - m_clock.monotonicMs())));
}

bool CommandQueue::probeWanted() const
{
    // Kept commands written since the last probe, none out, and a switch
    // that can take it.
    return m_serial > m_probedUpTo && m_probes.empty() && !m_written.empty() && CanSend()
           && (!m_probeGate || m_probeGate());
}

bool CommandQueue::writeProbe(qint64 now)
{
    if (!SendNow(ClockCommand(m_clock.now())))
        return false;
    m_readyAt = now + LinkCommand::DefaultGapMs;
    return true;
}

void CommandQueue::removeRows(const QList<Owed> &owed, const char *what)
{
    if (!m_store || owed.isEmpty())
        return;
    QList<qint64> seqs;
    for (const Owed &o : owed)
        seqs << o.seq;
    if (Status s = PendingCommands(*m_store).remove(seqs); !s)
        qWarning("%s: %s", what, qPrintable(s.reason()));
}

void CommandQueue::pump()
{
    // A batch's signals may queue more or send at once; each turn reads the
    // queue afresh.
    for (;;) {
        const qint64 now = m_clock.monotonicMs();
        if (now < m_readyAt) {
            m_timer.start(int(m_readyAt - now));
            return;
        }
        // The switch is asked whether it has the kept commands written so
        // far: before anything that is not kept, after ProofEvery of them,
        // and once nothing is left to write.
        if (probeWanted() && (m_entries.empty() || !m_entries.front().kept || m_serial - m_probedUpTo >= ProofEvery)) {
            if (writeProbe(now))
                continue;
        }
        if (m_entries.empty())
            return;
        Entry &front = m_entries.front();
        // A kept command waits for a switch that can take it; Resume goes on.
        if (front.kept && !CanSend())
            return;
        if (front.kept && front.expires.isValid() && m_clock.now() >= front.expires) {
            // Its moment has passed: sent now it would act on the wrong day.
            const Entry e = front;
            m_entries.pop_front();
            removeRows(e.owed, "expired command not removed");
            countKept();
            for (const Owed &o : e.owed)
                dropOwed(o, e.command.text);
            emit expired(e.command.text, e.expires);
            continue;
        }
        // A kept class command says the class the database holds now: a
        // demotion sent at once since it was kept is never overtaken by it.
        if (front.kept && !front.command.clock && m_store && m_store->isOpen() && !front.owed.isEmpty()) {
            const QString current = ClassCommands::current(*m_store, front.command.text);
            if (current != front.command.text)
                front.command = LinkCommand::Star(current, front.command.gapMs);
        }
        Entry e = front;
        const bool written = SendNow(e.command.clock ? ClockCommand(m_clock.now()) : e.command.hex);
        if (e.kept && !written)
            return; // the port failed under it: it stays first, kept
        m_entries.pop_front();
        if (written)
            m_readyAt = now + e.command.gapMs;
        if (e.batch) {
            e.batch->handled(e.command.text, written);
            if (written)
                e.batch->reached(1);
        }
        if (e.kept) {
            // It stays kept until the switch answers after it.
            for (Owed &o : e.owed) {
                if (o.batch && !e.list.isEmpty())
                    o.batch->m_listsBegun.insert(e.list);
                if (o.batch && !o.counted)
                    o.batch->handled(e.command.text, true);
                o.counted = true;
            }
            m_written.push_back({e, ++m_serial});
            countKept();
        }
    }
}

void CommandQueue::Answered()
{
    if (m_probes.empty())
        return; // no clock command is out: nothing it could answer
    const Probe p = m_probes.front();
    const bool alone = m_probes.size() == 1;
    m_probes.pop_front();
    armProbeTimer();
    // With two clock commands out, the first answer may be the second's (the
    // first lost on the way): it proves nothing. The next answer does.
    if (!alone)
        return;
    m_lastAnsweredMs = m_clock.monotonicMs();
    prove(p.mark);
    emit answered();
    schedule();
}

void CommandQueue::prove(qint64 mark)
{
    QList<Owed> reached;
    while (!m_written.empty() && m_written.front().serial <= mark) {
        reached += m_written.front().entry.owed;
        m_written.pop_front();
    }
    if (reached.isEmpty())
        return;
    removeRows(reached, "commands delivered but not cleared (they may go again)");
    countKept();
    for (const Owed &o : reached)
        if (o.batch)
            o.batch->reached(1);
}

void CommandQueue::armProbeTimer()
{
    if (m_probes.empty()) {
        m_probeTimer.stop();
        return;
    }
    const qint64 due = m_probes.front().at + AnswerWaitMs;
    m_probeTimer.start(int(qMax<qint64>(0, due - m_clock.monotonicMs())));
}

void CommandQueue::probeTimedOut()
{
    if (m_probes.empty())
        return;
    if (m_clock.monotonicMs() - m_probes.front().at < AnswerWaitMs) {
        armProbeTimer();
        return;
    }
    // The switch did not answer: nothing written since the last proof is
    // known to have reached it.
    const qint64 writtenMs = m_probes.front().at;
    m_probes.clear();
    m_probedUpTo = m_serial;
    PutBack();
    emit answersMissing(writtenMs);
}

void CommandQueue::PutBack()
{
    m_probes.clear();
    m_probeTimer.stop();
    m_probedUpTo = m_serial;
    if (m_written.empty())
        return;
    QList<Entry> again;
    QStringList lists;
    QMap<QString, QList<Owed>> listOwed;
    QMap<QString, QList<Entry>> listEntries;
    for (const Written &w : m_written) {
        if (!w.entry.list.isEmpty()) {
            if (!lists.contains(w.entry.list))
                lists.append(w.entry.list);
            listOwed[w.entry.list] += w.entry.owed;
            listEntries[w.entry.list].append(w.entry);
            continue;
        }
        again.append(w.entry);
    }
    m_written.clear();
    // Those a restore removed meanwhile are not owed any more.
    QSet<qint64> still;
    bool checked = false;
    if (m_store && m_store->isOpen()) {
        if (const auto seqs = PendingCommands(*m_store).seqs()) {
            still = QSet<qint64>(seqs->cbegin(), seqs->cend());
            checked = true;
        }
    }
    // Back first, in the order they were written.
    for (auto it = again.rbegin(); it != again.rend(); ++it) {
        Entry e = *it;
        if (checked) {
            e.owed.erase(
                std::remove_if(e.owed.begin(), e.owed.end(), [&](const Owed &o) { return !still.contains(o.seq); }),
                e.owed.end());
            if (e.owed.isEmpty())
                continue;
        }
        m_entries.push_front(e);
    }
    for (const QString &list : lists) {
        QList<Owed> owed = listOwed.value(list);
        if (checked)
            owed.erase(std::remove_if(owed.begin(), owed.end(), [&](const Owed &o) { return !still.contains(o.seq); }),
                       owed.end());
        rewriteList(list, owed, listEntries.value(list));
    }
    countKept();
    schedule();
}

void CommandQueue::rewriteList(const QString &list, QList<Owed> owed, const QList<Entry> &originals)
{
    // The kept commands of the same list still waiting are part of the
    // rewrite: the database already holds what they would do.
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->kept && it->list == list) {
            owed += it->owed;
            it = m_entries.erase(it);
        } else {
            ++it;
        }
    }
    Checked<QList<SwitchLists::Command>> commands = Checked<QList<SwitchLists::Command>>::refuse(QString());
    if (m_store && m_store->isOpen())
        commands = SwitchLists::rewrite(*m_store, list);
    QList<Entry> unit;
    if (commands && !commands->isEmpty()) {
        for (const SwitchLists::Command &c : *commands) {
            Entry e;
            e.command = LinkCommand::Star(c.code, c.gapMs);
            e.kept = true;
            e.member = true;
            e.list = list;
            unit.append(e);
        }
    } else {
        // Without the database the commands go again as they were.
        qWarning("list %s not rewritten: %s", qPrintable(list), qPrintable(commands.reason()));
        unit = originals;
        for (Entry &e : unit) {
            e.owed.clear();
            e.member = true;
        }
        if (unit.isEmpty())
            return;
    }
    if (owed.isEmpty() && originals.isEmpty())
        return;
    unit.last().owed = owed;
    // Behind every kept command queued so far: they were all made from the
    // database as it was before this rewrite is made from it.
    auto at = m_entries.begin();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        if (it->kept)
            at = std::next(it);
    m_entries.insert(at, unit.cbegin(), unit.cend());
}

void CommandQueue::Drain()
{
    // Bounded by what the waiting commands need, with room for a slow start
    // and the last answer.
    m_clock.waitFor([this] { return Settled() || Stalled() || (m_entries.empty() && !CanSend()); },
                    PendingMs() + AnswerWaitMs + 1000);
}

} // namespace corvane
