#include "SwitchComparison.h"

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

Status SwitchComparison::startComparison()
{
    if (SendBusy())
        return Status::fail(SendingText());
    return m_dump->start();
}

Status SwitchComparison::startDownload()
{
    if (m_dump->DumpMode())
        return Status::fail(NotFinishedText());
    if (SendBusy())
        return Status::fail(SendingText());
    if (!m_ctx.link || !m_ctx.link->mscPort.isOpen())
        return Status::fail(PortClosedText());
    Checked<DownloadPlan> plan = BuildDownload(m_ctx.db);
    if (!plan)
        return plan.status().context(QStringLiteral("参数不能下传至交换机"));

    QList<LinkCommand> commands;
    commands.reserve(plan->commands.size());
    for (const SwitchCommand &c : plan->commands)
        commands.append(c.kind == SwitchCommand::Kind::Clock ? LinkCommand::Clock(c.gapMs)
                                                             : LinkCommand::Star(c.text, c.gapMs));
    m_notes = plan->notes;
    m_total = int(commands.size());
    m_downloadDone = false;
    CommandBatch *batch = m_ctx.link->Queue(commands);
    m_batch = batch;
    connect(batch, &CommandBatch::progress, this, &SwitchComparison::downloadProgress);
    connect(batch, &CommandBatch::finished, this, [this](int sent, int dropped) {
        m_downloadDone = true;
        emit downloadFinished(sent, dropped);
    });
    return Status::ok();
}

CopyOutcome SwitchComparison::copyToDatabase()
{
    if (m_dump->DumpMode())
        return {Status::fail(NotFinishedText()), {}};
    if (SendBusy())
        return {Status::fail(SendingText()), {}};
    return CopySwitchToDatabase(m_ctx.db, *m_dump);
}

} // namespace corvane
