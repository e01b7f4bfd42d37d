#include "frmSendBeforeEnd.h"
#include "ConsoleContext.h"
#include "ShowModal.h"
#include "SwitchLink.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvane {

namespace {

QString spanText(qint64 ms)
{
    const qint64 s = qMax<qint64>(1, (ms + 999) / 1000);
    if (s < 60)
        return QStringLiteral("%1秒").arg(s);
    return QStringLiteral("%1分%2秒").arg(s / 60).arg(s % 60);
}

} // namespace

frmSendBeforeEnd::frmSendBeforeEnd(ConsoleContext &ctx, SwitchLink &link, const QString &title, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_link(link), m_tick(ctx.clock, this)
{
    setObjectName(QStringLiteral("frmSendBeforeEnd"));
    setWindowTitle(title);
    setModal(true);
    lblProgress = new QLabel(this);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    lblProgress->setWordWrap(true);
    pgbSend = new QProgressBar(this);
    pgbSend->setObjectName(QStringLiteral("pgbSend"));
    pgbSend->setAccessibleName(QStringLiteral("待发命令发送进度"));
    pgbSend->setFormat(QStringLiteral("%v/%m"));
    cmdKeep = new QPushButton(QStringLiteral("保存待发并退出"), this);
    cmdKeep->setObjectName(QStringLiteral("cmdKeep"));
    cmdCancel = new QPushButton(QStringLiteral("取消"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);
    cmdKeep->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdKeep);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblProgress);
    layout->addWidget(pgbSend);
    layout->addLayout(buttons);
    resize(460, 160);

    connect(cmdKeep, &QPushButton::clicked, this, &frmSendBeforeEnd::cmdKeep_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    // The console's clock moves the queue; the window looks every 200 ms.
    m_tick.setInterval(200);
    connect(&m_tick, &ClockTimer::timeout, this, &frmSendBeforeEnd::refresh);
    connect(&link, &SwitchLink::keptChanged, this, &frmSendBeforeEnd::refresh);
    m_tick.start();
    refresh();
}

QString frmSendBeforeEnd::ProgressText(int sent, int waiting, qint64 msLeft, bool canSend, const QStringList &unkept)
{
    QString text = QStringLiteral("正在向交换机发送待发命令：已送达%1条，尚余%2条").arg(sent).arg(waiting);
    text += canSend ? QStringLiteral("，约需%1。").arg(spanText(msLeft))
                    : QStringLiteral("。\n交换机现在不能接收命令，连接恢复后继续发送。");
    if (!unkept.isEmpty())
        text += QStringLiteral("\n其中不保存的命令（保存待发时不再发送）：%1。").arg(unkept.join(QStringLiteral("、")));
    text += QStringLiteral("\n按“保存待发并退出”可立即退出，待发命令保存在数据库中，下次启动连接交换机后发送。");
    return text;
}

void frmSendBeforeEnd::refresh()
{
    if (m_link.Settled()) {
        m_tick.stop();
        accept();
        return;
    }
    const SwitchLink::EndProgress p = m_link.EndWaitProgress();
    pgbSend->setRange(0, qMax(1, p.total));
    pgbSend->setValue(p.total - p.waiting);
    lblProgress->setText(ProgressText(p.total - p.waiting, p.waiting, p.msLeft, p.canSend, p.unkept));
}

void frmSendBeforeEnd::cmdKeep_Click()
{
    m_tick.stop();
    const int kept = m_link.KeptCount();
    const QStringList dropped = m_link.LeaveKeptForNextStart();
    if (!dropped.isEmpty() || kept > 0) {
        QString text;
        if (kept > 0)
            text = QStringLiteral("%1条命令保存在数据库中，下次启动连接交换机后发送。").arg(kept);
        if (!dropped.isEmpty())
            text += (text.isEmpty() ? QString() : QStringLiteral("\n"))
                    + QStringLiteral("以下命令没有发出，不会保存：%1。").arg(dropped.join(QStringLiteral("、")));
        m_ctx.messages.show(text, windowTitle(), MessageService::Icon::Information, MessageService::Buttons::Ok, this);
    }
    accept();
}

bool SendBeforeEnd(ConsoleContext &ctx, SwitchLink &link, QWidget *main, const QString &title)
{
    link.BeginEndWait();
    if (link.Settled())
        return true;
    // The console's other windows close first: nothing is edited while the
    // commands of earlier edits go out.
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w == main || !w->isVisible() || w->inherits("QMainWindow"))
            continue;
        if (auto *d = qobject_cast<QDialog *>(w))
            d->reject();
        else
            w->close();
    }
    frmSendBeforeEnd wait(ctx, link, title, main);
    return ShowModal(ctx, wait) == QDialog::Accepted;
}

} // namespace corvane
