#include "frmSWTComparison.h"

#include "Clock.h"
#include "ComparisonRow.h"
#include "ConsoleContext.h"
#include "FlexGrid.h"
#include "GridHelpers.h"
#include "NamedWidgets.h"
#include "SwitchComparison.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace corvane {

using namespace NamedWidgets;

namespace {

const QStringList Captions{QStringLiteral("比照项目"), QStringLiteral("比照信息"), QStringLiteral("交换机数据"),
                           QStringLiteral("软件数据"), QStringLiteral("比照结果")};
const QList<int> Widths{2000, 2000, 1500, 1500, 1200};

} // namespace

frmSWTComparison::frmSWTComparison(ConsoleContext &ctx, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_logic(std::make_unique<SwitchComparison>(ctx))
{
    setObjectName(QStringLiteral("frmSWTComparison"));
    setWindowTitle(QStringLiteral("交换机信息比照"));

    hfgComparison = new FlexGrid(this);
    hfgComparison->setObjectName(QStringLiteral("hfgComparison"));
    hfgComparison->setAccessibleName(QStringLiteral("比照结果"));
    hfgComparison->setCols(Columns);
    hfgComparison->setFixedRows(1);
    hfgComparison->setRows(2);
    SetColWidths(*hfgComparison, Widths);
    writeHeader();

    cmdComparison = button(this, QStringLiteral("开始比照(&C)"), QStringLiteral("cmdComparison"));
    cmdSend = button(this, QStringLiteral("数据库参数下传至交换机(&D)"), QStringLiteral("cmdSend"));
    cmdReceive = button(this, QStringLiteral("交换机参数覆盖数据库(&R)"), QStringLiteral("cmdReceive"));
    cmdLeave = button(this, QStringLiteral("离开(&X)"), QStringLiteral("cmdLeave"));
    cmdStop = button(this, QStringLiteral("停止下传"), QStringLiteral("cmdStop"));
    cmdStop->hide();
    chkDifferent = new QCheckBox(QStringLiteral("只看不一致"), this);
    chkDifferent->setObjectName(QStringLiteral("chkDifferent"));
    chkDifferent->setAccessibleName(QStringLiteral("只看不一致"));

    lblTip = new QLabel(ReadyTip(), this);
    lblTip->setObjectName(QStringLiteral("lblTip"));
    lblTip->setAccessibleDescription(QStringLiteral("提示")); // its name is its changing text
    lblUnseen = new QLabel(UnseenText(), this);
    lblUnseen->setObjectName(QStringLiteral("lblUnseen"));
    lblUnseen->setWordWrap(true);
    lblCommand = new QLabel(this);
    lblCommand->setObjectName(QStringLiteral("lblCommand"));
    lblCommand->setAccessibleDescription(QStringLiteral("正在下传的指令"));
    pgbSend = new QProgressBar(this);
    pgbSend->setObjectName(QStringLiteral("pgbSend"));
    pgbSend->setAccessibleName(QStringLiteral("参数下传进度"));
    pgbSend->setRange(0, 1);
    pgbSend->setValue(0);
    pgbSend->setFormat(QStringLiteral("%v/%m"));
    pgbSend->hide();
    lblCommand->hide();

    tmrOver = new ClockTimer(ctx.clock, this);
    tmrOver->setObjectName(QStringLiteral("tmrOver"));
    tmrOver->setInterval(1000);

    connect(cmdComparison, &QPushButton::clicked, this, &frmSWTComparison::cmdComparison_Click);
    connect(cmdSend, &QPushButton::clicked, this, &frmSWTComparison::cmdSend_Click);
    connect(cmdReceive, &QPushButton::clicked, this, &frmSWTComparison::cmdReceive_Click);
    connect(cmdLeave, &QPushButton::clicked, this, &frmSWTComparison::cmdLeave_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmSWTComparison::cmdStop_Click);
    connect(chkDifferent, &QCheckBox::clicked, this, &frmSWTComparison::chkDifferent_Click);
    connect(tmrOver, &ClockTimer::timeout, this, &frmSWTComparison::tmrOver_Timer);

    ParameterDump &dump = m_logic->dump();
    connect(&dump, &ParameterDump::rowsDecoded, this, &frmSWTComparison::showRows);
    // The end of a run comes inside the receive path (the last block, the
    // seventh bad one): the grid is written at once, a box only after the
    // receive path has returned, so that nothing waits behind it.
    connect(&dump, &ParameterDump::finished, this, &frmSWTComparison::comparisonEnded);
    connect(m_logic.get(), &SwitchComparison::downloadProgress, this, &frmSWTComparison::showDownloadProgress);
    connect(m_logic.get(), &SwitchComparison::downloadDelivered, this, &frmSWTComparison::showDownloadDelivered);
    connect(m_logic.get(), &SwitchComparison::downloadFinished, this, &frmSWTComparison::downloadEnded);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdComparison);
    buttons->addWidget(cmdSend);
    buttons->addWidget(cmdReceive);
    buttons->addWidget(cmdStop);
    buttons->addWidget(chkDifferent);
    buttons->addStretch(1);
    buttons->addWidget(cmdLeave);
    auto *progress = new QHBoxLayout;
    progress->addWidget(lblCommand);
    progress->addWidget(pgbSend, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(hfgComparison, 1);
    layout->addWidget(lblTip);
    layout->addWidget(lblUnseen);
    layout->addLayout(progress);
    layout->addLayout(buttons);
    resize(820, 560);
}

frmSWTComparison::~frmSWTComparison()
{
    tmrOver->stop();
    // The logic gives a running comparison up as it goes; the window no
    // longer listens by then.
    disconnect(&m_logic->dump(), nullptr, this, nullptr);
    disconnect(m_logic.get(), nullptr, this, nullptr);
    m_logic.reset();
}

// ---- grid ----------------------------------------------------------------------------

void frmSWTComparison::writeHeader() { SetGridRow(*hfgComparison, 0, Captions); }

void frmSWTComparison::showRows(const QList<int> &rows)
{
    const ParameterDump &dump = m_logic->dump();
    if (hfgComparison->rows() != dump.rowCount() + 1)
        hfgComparison->setRows(dump.rowCount() + 1);
    for (int n : rows) {
        const ComparisonRow &r = dump.row(n);
        SetGridRow(*hfgComparison, n, {r.item, r.detail, r.switchValue, r.dbValue});
    }
}

void frmSWTComparison::showVerdicts()
{
    const ParameterDump &dump = m_logic->dump();
    hfgComparison->setUpdatesEnabled(false);
    for (int n = 1; n <= dump.rowCount(); ++n) {
        const ComparisonRow &r = dump.row(n);
        hfgComparison->setTextMatrix(n, 4, r.verdictText);
        const QColor colour = FlexGrid::paletteColor(VerdictPaletteIndex(r.verdict));
        for (int c = 0; c < Columns; ++c)
            hfgComparison->setCellBackColor(n, c, colour);
    }
    hfgComparison->setUpdatesEnabled(true);
    showOnlyDifferent();
}

void frmSWTComparison::showOnlyDifferent()
{
    const ParameterDump &dump = m_logic->dump();
    const bool only = chkDifferent->isChecked();
    for (int n = 1; n < hfgComparison->rows(); ++n) {
        const bool differs =
            n <= dump.rowCount() && (dump.row(n).verdict == Verdict::Different || SwitchOnlyListEntry(dump.row(n)));
        hfgComparison->setRowHidden(n, only && !differs);
    }
}

void frmSWTComparison::chkDifferent_Click() { showOnlyDifferent(); }

// ---- comparison ----------------------------------------------------------------------

void frmSWTComparison::cmdComparison_Click()
{
    if (const Status s = m_logic->startComparison(); !s) {
        refuse(s);
        return;
    }
    hfgComparison->clear();
    hfgComparison->setRows(2);
    writeHeader();
    // The bar of an earlier download says nothing about this comparison.
    pgbSend->hide();
    lblCommand->hide();
    tmrOver->start();
    lblTip->setText(ParameterDump::RunningTip());
    setButtonsEnabled(false);
}

void frmSWTComparison::tmrOver_Timer() { m_logic->tmrOver_Timer(); }

void frmSWTComparison::comparisonEnded(ParameterDump::State state)
{
    tmrOver->stop();
    switch (state) {
    case ParameterDump::State::Finished: {
        showVerdicts();
        setButtonsEnabled(true);
        const ParameterDump &dump = m_logic->dump();
        int different = 0;
        int switchOnly = 0;
        for (int n = 1; n <= dump.rowCount(); ++n) {
            different += dump.row(n).verdict == Verdict::Different ? 1 : 0;
            switchOnly += SwitchOnlyListEntry(dump.row(n)) ? 1 : 0;
        }
        lblTip->setText(ParameterDump::FinishedTip() + CountTip(dump.rowCount(), different, switchOnly));
        break;
    }
    case ParameterDump::State::Failed:
        setButtonsEnabled(true);
        lblTip->setText(ParameterDump::TransferErrorText());
        QTimer::singleShot(0, this, [this] {
            m_ctx.messages.show(ParameterDump::TransferErrorText(), ParameterDump::TransferErrorTitle(),
                                MessageService::Icon::Critical, MessageService::Buttons::Ok, this);
        });
        break;
    case ParameterDump::State::Idle:
    case ParameterDump::State::Running:
    case ParameterDump::State::Abandoned: setButtonsEnabled(true); break;
    }
}

void frmSWTComparison::setButtonsEnabled(bool on)
{
    cmdSend->setEnabled(on);
    cmdReceive->setEnabled(on);
}

void frmSWTComparison::refuse(const Status &why)
{
    m_ctx.messages.show(why.reason(), QStringLiteral("错误"), MessageService::Icon::Critical,
                        MessageService::Buttons::Ok, this);
}

// ---- download ------------------------------------------------------------------------

void frmSWTComparison::cmdSend_Click()
{
    if (const Status s = m_logic->startDownload(); !s) {
        refuse(s);
        return;
    }
    lblTip->setText(SendingTip());
    pgbSend->setRange(0, qMax(1, m_logic->downloadTotal()));
    pgbSend->setValue(0);
    pgbSend->show();
    lblCommand->clear();
    lblCommand->show();
    downloadShown(true);
}

void frmSWTComparison::downloadShown(bool running)
{
    cmdStop->setVisible(running);
    cmdStop->setEnabled(running);
    cmdComparison->setEnabled(!running);
    cmdReceive->setEnabled(!running);
}

void frmSWTComparison::cmdStop_Click() { lblTip->setText(SwitchComparison::StoppedText(m_logic->stopDownload())); }

// The bar counts what the switch has answered for; the label names the
// command written last.
void frmSWTComparison::showDownloadProgress(int done, int total, const QString &command)
{
    Q_UNUSED(done);
    Q_UNUSED(total);
    lblCommand->setText(QStringLiteral("正在下传：") + command);
}

void frmSWTComparison::showDownloadDelivered(int delivered, int total)
{
    pgbSend->setRange(0, qMax(1, total));
    pgbSend->setValue(delivered);
}

void frmSWTComparison::downloadEnded(int sent, int dropped)
{
    Q_UNUSED(sent);
    downloadShown(false);
    lblCommand->clear();
    // Stopped by the operator: the tip says how far it went.
    if (m_logic->downloadStopped())
        return;
    lblTip->setText(SentTip());
    QStringList problems;
    if (dropped > 0)
        problems << QStringLiteral("有%1条指令没有送到交换机，请重新下传。").arg(dropped);
    if (!m_logic->downloadNotes().isEmpty())
        problems << QStringLiteral("以下参数没有下传：") << m_logic->downloadNotes();
    if (problems.isEmpty()) {
        // The switch now holds what the database holds: the grid shows it.
        QTimer::singleShot(0, this, [this] { cmdComparison_Click(); });
        return;
    }
    // Shown after the queue has handed the last command on.
    QTimer::singleShot(0, this, [this, problems] {
        m_ctx.messages.show(problems.join(QLatin1Char('\n')), QStringLiteral("提示"), MessageService::Icon::Warning,
                            MessageService::Buttons::Ok, this);
    });
}

// ---- copy ------------------------------------------------------------------------------

void frmSWTComparison::cmdReceive_Click()
{
    // A copy that cannot run is refused before the question.
    if (const Status allowed = m_logic->copyAllowed(); !allowed) {
        refuse(allowed);
        return;
    }
    if (m_ctx.messages.show(CopyQuestion(), QStringLiteral("交换机参数覆盖数据库"), MessageService::Icon::Question,
                            MessageService::Buttons::YesNoDefaultNo, this)
        != MessageService::Answer::Yes)
        return;
    const CopyOutcome out = m_logic->copyToDatabase();
    if (!out.status) {
        refuse(out.status);
        return;
    }
    QString text = QStringLiteral("数据库修改完毕！");
    if (!out.summary.notes.isEmpty())
        text += QLatin1Char('\n') + out.summary.notes.join(QLatin1Char('\n'));
    m_ctx.messages.show(text, QStringLiteral("提示"), MessageService::Icon::Information, MessageService::Buttons::Ok,
                        this);
    // The grid shows the database as it is now.
    cmdComparison_Click();
}

// ---- leaving -----------------------------------------------------------------------------

bool frmSWTComparison::leaveAllowed()
{
    if (m_logic->DumpMode()) {
        const auto answer = m_ctx.messages.show(QStringLiteral("你确定要中断此次比照吗？请退出后3分钟后再做参数比照!"),
                                                QStringLiteral("请确认"), MessageService::Icon::Question,
                                                MessageService::Buttons::OkCancelDefaultCancel, this);
        if (answer != MessageService::Answer::Ok)
            return false;
        m_logic->abandonComparison();
    }
    return true;
}

void frmSWTComparison::cmdLeave_Click() { reject(); }

void frmSWTComparison::reject()
{
    if (!leaveAllowed())
        return;
    tmrOver->stop();
    QDialog::reject();
}

} // namespace corvane
