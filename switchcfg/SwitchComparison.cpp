#include "SwitchComparison.h"
#include "PendingCommands.h"

#include "CommandQueue.h"
#include "ConsoleContext.h"
#include "DownloadPlan.h"
#include "SwitchLink.h"

namespace corvane {

// ---- SwitchDumpLink ---------------------------------------------------------------

void SwitchDumpLink::RequestDump()
{
    if (m_link)
        m_link->RequestDump();
}

void SwitchDumpLink::SendAck()
{
    if (m_link)
        m_link->SendAck();
}

void SwitchDumpLink::SendNak()
{
    if (m_link)
        m_link->SendNak();
}

void SwitchDumpLink::CollectDumpBlocks(quint8 blockNo)
{
    if (m_link)
        m_link->CollectDumpBlocks(blockNo);
}

void SwitchDumpLink::EndDumpCollection()
{
    if (m_link)
        m_link->EndDumpCollection();
}

void SwitchDumpLink::DiscardLateDumpBytes(int quietMs, int maxMs)
{
    if (m_link)
        m_link->DiscardLateDumpBytes(quietMs, maxMs);
}

// ---- SwitchComparison --------------------------------------------------------------

SwitchComparison::SwitchComparison(ConsoleContext &ctx, QObject *parent)
    : QObject(parent), m_ctx(ctx), m_dumpLink(ctx.link),
      m_dump(std::make_unique<ParameterDump>(ctx.db, ctx.clock, m_dumpLink))
{
    if (m_ctx.link)
        m_ctx.link->setParameterBlockReceiver(m_dump.get());
}

SwitchComparison::~SwitchComparison()
{
    m_dump->abandon();
    if (m_ctx.link)
        m_ctx.link->setParameterBlockReceiver(nullptr);
}

bool SwitchComparison::SendBusy() const
{
    return (m_batch && !m_downloadDone) || (m_ctx.link && m_ctx.link->KeptCount() > 0);
}

Status SwitchComparison::busyStatus() const
{
    if (m_batch && !m_downloadDone)
        return Status::fail(SendingText());
    if (m_ctx.link && m_ctx.link->KeptCount() > 0)
        return Status::fail(WaitingText(m_ctx.link->KeptCount()));
    return Status::ok();
}

Status SwitchComparison::startComparison()
{
    if (Status busy = busyStatus(); !busy)
        return busy;
    return m_dump->start();
}

Status SwitchComparison::startDownload()
{
    if (m_dump->DumpMode())
        return Status::fail(NotFinishedText());
    if (m_batch && !m_downloadDone)
        return Status::fail(SendingText());
    if (!m_ctx.link || !m_ctx.link->mscPort.isOpen())
        return Status::fail(PortClosedText());
    Checked<DownloadPlan> plan = BuildDownload(m_ctx.db);
    if (!plan)
        return plan.status().context(QStringLiteral("参数不能下传至交换机"));

    // Commands of earlier changes still waiting stay: they go first, and a
    // stopped download leaves them as they were.
    QList<PendingCommand> commands;
    commands.reserve(plan->commands.size());
    for (const SwitchCommand &c : plan->commands)
        commands.append(c.kind == SwitchCommand::Kind::Clock ? PendingCommand::Clock(c.gapMs)
                                                             : PendingCommand::Star(c.text, c.gapMs));
    PendingCommands pending(m_ctx.db);
    const Status kept = InTransaction(m_ctx.db, [&]() -> Status { return pending.keep(commands); });
    if (!kept)
        return kept.context(QStringLiteral("参数不能下传至交换机"));
    m_notes = plan->notes;
    m_total = int(commands.size());
    m_downloadDone = false;
    m_stopped = false;
    CommandBatch *batch = m_ctx.link->SendKept();
    if (!batch)
        return Status::fail(QStringLiteral("参数不能下传至交换机"));
    m_batch = batch;
    connect(batch, &CommandBatch::progress, this, &SwitchComparison::downloadProgress);
    connect(batch, &CommandBatch::deliveredChanged, this, &SwitchComparison::downloadDelivered);
    connect(batch, &CommandBatch::finished, this, [this](int sent, int dropped) {
        m_downloadDone = true;
        emit downloadFinished(sent, dropped);
    });
    return Status::ok();
}

SwitchComparison::Stopped SwitchComparison::stopDownload()
{
    Stopped out;
    if (!m_batch || !m_ctx.link)
        return out;
    m_stopped = true;
    const int total = m_batch->total();
    out.written = m_batch->sent();
    out.delivered = m_batch->delivered();
    out.finishing = m_ctx.link->CancelBatch(m_batch);
    out.dropped = total - out.written - out.finishing;
    // What the link still owes the switch, but the download's own commands:
    // those sent and not yet answered, and the rest of a list under way.
    out.waiting = qMax(0, m_ctx.link->KeptCount() - (out.written - out.delivered) - out.finishing);
    return out;
}

QString SwitchComparison::StoppedText(const Stopped &s)
{
    QString text = QStringLiteral("参数下传已停止：已下传%1条指令（交换机已确认%2条），其余%3条不再下传。")
                       .arg(s.written)
                       .arg(s.delivered)
                       .arg(s.dropped);
    if (s.finishing > 0)
        text += QStringLiteral("正在下传的名单还有%1条指令继续下传，以免交换机中的名单只剩一部分。").arg(s.finishing);
    if (s.waiting > 0)
        text += QStringLiteral("其他修改的%1条命令仍在等待发往交换机。").arg(s.waiting);
    return text;
}

Status SwitchComparison::copyAllowed() const
{
    if (m_dump->DumpMode())
        return Status::fail(NotFinishedText());
    if (Status busy = busyStatus(); !busy)
        return busy;
    if (m_dump->state() == ParameterDump::State::Idle || m_dump->rowCount() == 0)
        return Status::fail(NoComparisonText());
    if (!m_dump->complete())
        return Status::fail(QStringLiteral("上次信息比照没有收到全部50块交换机参数，不能覆盖数据库！请重新比照。"));
    return Status::ok();
}

CopyOutcome SwitchComparison::copyToDatabase()
{
    if (m_dump->DumpMode())
        return {Status::fail(NotFinishedText()), {}};
    if (Status busy = busyStatus(); !busy)
        return {busy, {}};
    return CopySwitchToDatabase(m_ctx.db, *m_dump);
}

} // namespace corvane
