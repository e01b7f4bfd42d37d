#include "frmPHNFee.h"

#include "ConsoleContext.h"
#include "FeeSettings.h"
#include "FlexGrid.h"
#include "GridCellEditor.h"
#include "GridHelpers.h"
#include "NamedWidgets.h"
#include "PendingCommands.h"
#include "SwitchLink.h"

#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace corvane {

using namespace NamedWidgets;

namespace {

// The working-day pair goes with 0.1 s between its two commands.

const QList<int> WorkdayWidths{500, 900, 800, 800, 900, 900, 900, 900};
const QList<int> ExNOWidths{800, 1600};

const char *const DelayCaptions[FeeSettings::Delays] = {"国际计费延时（秒）：", "国内计费延时（秒）：",
                                                        "本地计费延时（秒）：", "市话计费延时（秒）：",
                                                        "手机计费延时（秒）："};

} // namespace

frmPHNFee::frmPHNFee(ConsoleContext &ctx, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_fee(std::make_unique<FeeSettings>(ctx.db, ctx.CheckMarks)), m_notice(ctx.messages)
{
    setObjectName(QStringLiteral("frmPHNFee"));
    setWindowTitle(QStringLiteral("计费设置"));

    sstFee = new QTabWidget(this);
    sstFee->setObjectName(QStringLiteral("sstFee"));

    // ---- 基本设置
    auto *basic = new QWidget;
    basic->setObjectName(QStringLiteral("tabBasic"));
    auto *delays = new QGroupBox(QStringLiteral("计费延时设置："), basic);
    auto *delayLayout = new QGridLayout(delays);
    for (int i = 0; i < FeeSettings::Delays; ++i) {
        txtDelay[i] = new QLineEdit(delays);
        txtDelay[i]->setObjectName(QStringLiteral("txtDelay_%1").arg(i));
        const QString text = QString::fromUtf8(DelayCaptions[i]);
        txtDelay[i]->setAccessibleName(text);
        auto *label = new QLabel(text, delays);
        label->setBuddy(txtDelay[i]);
        delayLayout->addWidget(label, i, 0);
        delayLayout->addWidget(txtDelay[i], i, 1);
        txtDelay[i]->installEventFilter(this);
        connect(txtDelay[i], &QLineEdit::returnPressed, this, [this, i] { txtDelay_LostFocus(i); });
    }
    delayLayout->setRowStretch(FeeSettings::Delays, 1);

    auto *numbers = new QGroupBox(QStringLiteral("中继连号设置："), basic);
    hfgExNO = grid(numbers, QStringLiteral("hfgExNO"), QStringLiteral("中继连号设置"));
    txtExNO = cellBox(numbers, QStringLiteral("txtExNO"));
    SetColWidths(*hfgExNO, ExNOWidths);
    cmdClear = new QPushButton(QStringLiteral("清除所有中继连号(&C)"), numbers);
    cmdClear->setObjectName(QStringLiteral("cmdClear"));
    cmdClear->setAutoDefault(false);
    connect(cmdClear, &QPushButton::clicked, this, &frmPHNFee::cmdClear_Click);
    auto *numbersLayout = new QVBoxLayout(numbers);
    numbersLayout->addWidget(hfgExNO, 1);
    numbersLayout->addWidget(cmdClear);

    auto *basicLayout = new QHBoxLayout(basic);
    basicLayout->addWidget(delays);
    basicLayout->addWidget(numbers, 1);
    sstFee->addTab(basic, QStringLiteral("基本设置"));

    // ---- 中继工作日设置
    auto *workdays = new QWidget;
    workdays->setObjectName(QStringLiteral("tabWorkday"));
    hfgWorkday = grid(workdays, QStringLiteral("hfgWorkday"), QStringLiteral("中继工作日设置"));
    txtWorkday = cellBox(workdays, QStringLiteral("txtWorkday"));
    SetColWidths(*hfgWorkday, WorkdayWidths);
    auto *workdayLayout = new QVBoxLayout(workdays);
    workdayLayout->addWidget(hfgWorkday, 1);
    sstFee->addTab(workdays, QStringLiteral("中继工作日设置"));

    cmdExit = new QPushButton(QStringLiteral("离开(&L)"), this);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    cmdExit->setAutoDefault(false);
    connect(cmdExit, &QPushButton::clicked, this, &frmPHNFee::cmdExit_Click);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(sstFee, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(cmdExit);
    layout->addLayout(bottom);
    resize(760, 460);

    FeeSettings &fee = *m_fee;
    GridCellEditor::Hooks exno;
    exno.rule = [&fee](const GridCell &c) { return fee.outsideRule(c); };
    exno.check = [&fee](const GridCell &, const QString &v) { return fee.checkOutsideNumber(v); };
    exno.store = [this, &fee](const GridCell &c, const QString &v) {
        return kept([&] { return fee.storeOutsideNumber(c, v); });
    };
    exno.rowId = [this](int r) { return m_fee->outsideRowId(r - hfgExNO->fixedRows()); };
    exno.stored = [this](const GridCell &, const QString &, const StoreResult &r) {
        finishStore(r, &frmPHNFee::fillExNO);
    };
    m_exnoCells = new GridCellEditor(hfgExNO, txtExNO, ctx.messages, m_notice, this, exno);

    GridCellEditor::Hooks work;
    work.rule = [&fee](const GridCell &c) { return fee.workdayRule(c); };
    work.check = [&fee](const GridCell &c, const QString &v) { return fee.checkWorkday(c, v); };
    work.store = [this, &fee](const GridCell &c, const QString &v) {
        return kept([&] { return fee.storeWorkday(c, v); });
    };
    work.rowId = [this](int r) { return m_fee->workdayRowId(r - hfgWorkday->fixedRows()); };
    work.stored = [this](const GridCell &, const QString &, const StoreResult &r) {
        finishStore(r, &frmPHNFee::fillWorkday);
    };
    m_workdayCells = new GridCellEditor(hfgWorkday, txtWorkday, ctx.messages, m_notice, this, work);

    Form_Load();
}

frmPHNFee::~frmPHNFee() = default;

void frmPHNFee::Form_Load()
{
    fillWorkday();
    fillExNO();
    const Checked<QStringList> d = m_fee->delays();
    if (!d)
        m_ctx.messages.show(d.reason(), QStringLiteral("读取错误"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
    for (int i = 0; i < FeeSettings::Delays; ++i)
        txtDelay[i]->setText(d.value_or(QStringList()).value(i));
}

void frmPHNFee::fillExNO() { FillGrid(m_fee->outsideNumbers(), *hfgExNO, 0, 0, 0, m_ctx.messages, this); }

void frmPHNFee::fillWorkday() { FillGrid(m_fee->workdays(), *hfgWorkday, 0, 0, 0, m_ctx.messages, this); }

bool frmPHNFee::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut && !m_checking) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            for (int i = 0; i < FeeSettings::Delays; ++i)
                if (watched == txtDelay[i])
                    txtDelay_LostFocus(i);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmPHNFee::txtDelay_LostFocus(int Index)
{
    if (Index < 0 || Index >= FeeSettings::Delays || m_checking)
        return;
    QLineEdit *box = txtDelay[Index];
    const QString stored = m_fee->delays().value_or(QStringList()).value(Index);
    if (box->text().trimmed() == stored)
        return;
    // A delay the switch cannot take is refused and the box keeps the focus.
    const Checked<QString> v = m_fee->checkDelay(Index, box->text());
    if (!v) {
        m_checking = true;
        m_ctx.messages.inputError(v.reason(), this);
        box->setFocus(Qt::OtherFocusReason);
        box->selectAll();
        m_checking = false;
        return;
    }
    const StoreResult r = kept([&] { return m_fee->storeDelay(Index, *v); });
    if (m_notice.note(r.status, this)) {
        box->setText(*v);
        sendKept();
    }
}

void frmPHNFee::cmdClear_Click()
{
    finishStore(kept([this] { return m_fee->clearOutsideNumbers(); }), &frmPHNFee::fillExNO);
}

void frmPHNFee::finishStore(const StoreResult &result, void (frmPHNFee::*refill)())
{
    if (m_notice.note(result.status, this))
        sendKept();
    if (result.refill && refill)
        (this->*refill)();
}

// A change and its commands are committed together; the link sends them when
// the switch can take them.
StoreResult frmPHNFee::kept(const std::function<StoreResult()> &store) { return StoreKept(m_ctx.db, store); }

void frmPHNFee::sendKept()
{
    if (m_ctx.link)
        m_ctx.link->SendKeptAndTell(this);
}

void frmPHNFee::cmdExit_Click() { close(); }

} // namespace corvane
