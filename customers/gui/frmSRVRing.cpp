#include "frmSRVRing.h"
#include "ConsoleContext.h"
#include "GridFilter.h"
#include "PendingCommands.h"
#include "RingClock.h"
#include "SwitchLink.h"
#include "TypedTime.h"
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace corvane {

frmSRVRing::frmSRVRing(ConsoleContext &ctx, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_ring(std::make_unique<RingClock>(ctx))
{
    setObjectName(QStringLiteral("frmSRVRing"));
    setWindowTitle(QStringLiteral("闹钟设置"));

    txtNo = new QLineEdit(this);
    txtNo->setObjectName(QStringLiteral("txtNo"));
    dtpTime = new QTimeEdit(this);
    dtpTime->setObjectName(QStringLiteral("dtpTime"));
    dtpTime->setDisplayFormat(QStringLiteral("HH:mm"));
    lvwRing = new QTreeWidget(this);
    lvwRing->setObjectName(QStringLiteral("lvwRing"));
    lvwRing->setAccessibleName(QStringLiteral("闹钟列表"));
    lvwRing->setRootIsDecorated(false);
    lvwRing->setColumnCount(2);
    lvwRing->setHeaderLabels({QStringLiteral("分机号码"), QStringLiteral("闹钟时间")});
    lvwRing->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto makeButton = [this](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    cmdOk = makeButton("cmdOk", QStringLiteral("设置(&O)"));
    cmdClear = makeButton("cmdClear", QStringLiteral("清除(&C)"));
    cmdLeave = makeButton("cmdLeave", QStringLiteral("离开(&L)"));
    // Enter in the number or the time sets the alarm.
    cmdOk->setDefault(true);
    AcceptTypedTime(dtpTime);

    auto *form = new QFormLayout;
    auto *noLabel = new QLabel(QStringLiteral("设置闹钟的分机号："), this);
    noLabel->setBuddy(txtNo);
    auto *timeLabel = new QLabel(QStringLiteral("闹钟时间："), this);
    timeLabel->setBuddy(dtpTime);
    form->addRow(noLabel, txtNo);
    form->addRow(timeLabel, dtpTime);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdClear);
    buttons->addStretch(1);
    buttons->addWidget(cmdLeave);
    auto *left = new QVBoxLayout;
    left->addLayout(form);
    left->addWidget(lvwRing, 1);
    left->addWidget(MakeListFilter(this, lvwRing, QStringLiteral("txtFilterRing")));
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);

    connect(cmdOk, &QPushButton::clicked, this, &frmSRVRing::cmdOk_Click);
    connect(cmdClear, &QPushButton::clicked, this, &frmSRVRing::cmdClear_Click);
    connect(cmdLeave, &QPushButton::clicked, this, &frmSRVRing::cmdLeave_Click);

    resize(420, 360);
    Form_Load();
}

frmSRVRing::~frmSRVRing() = default;

void frmSRVRing::Form_Load()
{
    const QTime now = m_ctx.clock.now().time();
    dtpTime->setTime(QTime(now.hour(), now.minute()));
    m_ring->load();
    showAlarms();
}

void frmSRVRing::showAlarms()
{
    lvwRing->clear();
    for (const RingAlarm &a : m_ring->alarms())
        lvwRing->addTopLevelItem(new QTreeWidgetItem({a.number, RingClock::formatMoment(a.moment)}));
}

void frmSRVRing::send(const QString &code, const QDateTime &moment)
{
    // The alarm list is written; its command waits for the switch when the
    // switch cannot take it now, but not past the alarm's moment: sent later
    // it would ring the next day.
    const PendingCommand command = moment.isValid() ? PendingCommand::Until(code, moment) : PendingCommand::Star(code);
    if (Status kept = PendingCommands(m_ctx.db).keep({command}); !kept) {
        m_ctx.messages.show(kept.reason(), QStringLiteral("闹钟设置"), MessageService::Icon::Warning,
                            MessageService::Buttons::Ok, this);
        return;
    }
    if (m_ctx.link)
        m_ctx.link->SendKeptAndTell(this);
}

void frmSRVRing::cmdOk_Click()
{
    const Checked<QString> code = m_ring->setAlarm(txtNo->text(), dtpTime->time());
    if (!code) {
        m_ctx.messages.inputError(code.reason(), this);
        return;
    }
    send(*code, m_ring->momentOf(*m_ring->checkNumber(txtNo->text())));
    showAlarms();
}

void frmSRVRing::cmdClear_Click()
{
    // A pending alarm is not dropped without a question.
    if (const Checked<QString> number = m_ring->checkNumber(txtNo->text()); number) {
        for (const RingAlarm &a : m_ring->alarms())
            if (a.number == *number) {
                if (!m_ctx.messages.confirmDeletion(
                        QStringLiteral("是否清除分机%1在%2的闹钟？").arg(a.number, RingClock::formatMoment(a.moment)),
                        QStringLiteral("清除闹钟"), this))
                    return;
                break;
            }
    }
    const Checked<QString> code = m_ring->clearAlarm(txtNo->text());
    if (!code) {
        m_ctx.messages.inputError(code.reason(), this);
        return;
    }
    send(*code);
    showAlarms();
}

void frmSRVRing::cmdLeave_Click() { accept(); }

void frmSRVRing::done(int result)
{
    // The list is the console's only record of the pending alarms: a file
    // that cannot be written is said. "重试" keeps the window (and the list)
    // open, so that leaving again writes it; "取消" leaves without it.
    if (!m_saved) {
        const Status s = m_ring->save();
        if (!s) {
            const auto answer = m_ctx.messages.show(
                QStringLiteral("闹钟记录未能保存：%1\n交换机中的闹钟不受影响。\n"
                               "按“重试”留在本窗口，稍后离开时再保存；按“取消”不保存就离开。")
                    .arg(s.reason()),
                QStringLiteral("闹钟设置"), MessageService::Icon::Warning, MessageService::Buttons::RetryCancel, this);
            if (answer == MessageService::Answer::Retry)
                return;
        }
        m_saved = true;
    }
    QDialog::done(result);
}

} // namespace corvane
