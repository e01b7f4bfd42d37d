#include "frmPort.h"

#include "ConsoleContext.h"
#include "LinkPorts.h"
#include "SwitchLink.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace corvane {

frmPort::frmPort(ConsoleContext &ctx, SwitchLink &link, QWidget *parent) : QDialog(parent), m_ctx(ctx), m_link(link)
{
    setObjectName(QStringLiteral("frmPort"));
    setWindowTitle(QStringLiteral("串口选择"));

    lbl = new QLabel(QStringLiteral("选择通讯串口"), this);
    lbl->setObjectName(QStringLiteral("lbl"));
    cmbPort = new QComboBox(this);
    cmbPort->setObjectName(QStringLiteral("cmbPort"));
    cmbPort->setAccessibleName(lbl->text());
    lbl->setBuddy(cmbPort);
    cmdAuto = new QPushButton(QStringLiteral("自动搜索(&A)"), this);
    cmdAuto->setObjectName(QStringLiteral("cmdAuto"));
    cmdOK = new QPushButton(QStringLiteral("确定(&O)"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    lblSearch = new QLabel(this);
    lblSearch->setObjectName(QStringLiteral("lblSearch"));
    lblSearch->setWordWrap(true);

    auto *grid = new QGridLayout(this);
    grid->addWidget(lbl, 0, 0);
    grid->addWidget(cmbPort, 0, 1);
    grid->addWidget(lblSearch, 1, 0, 1, 2);
    grid->addWidget(cmdAuto, 2, 0);
    grid->addWidget(cmdOK, 2, 1);
    grid->setColumnStretch(1, 1);

    connect(cmdAuto, &QPushButton::clicked, this, &frmPort::cmdAuto_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmPort::cmdOK_Click);
    // Every port the search opens is shown as it is tried.
    connect(&m_link, &SwitchLink::portSelected, this, &frmPort::selectPort);
    connect(&m_link, &SwitchLink::searchFinished, this, &frmPort::searchEnded);

    Form_Load();
}

void frmPort::Form_Load()
{
    for (int n = 1; n <= SwitchLink::PortCount; ++n)
        cmbPort->addItem(QStringLiteral("COM%1 → %2").arg(n).arg(deviceText(n)));
    selectPort(m_link.PortNumber());
    cmdAuto->setEnabled(!m_link.Searching());
    if (m_link.Searching())
        lblSearch->setText(QStringLiteral("正在搜索交换机……"));
}

QString frmPort::deviceText(int n)
{
    const QString device = m_link.ports().DeviceFor(n);
    return QFileInfo::exists(device) ? device : device + QStringLiteral("（不存在）");
}

void frmPort::selectPort(int n)
{
    if (n < 1 || n > cmbPort->count())
        return;
    cmbPort->setCurrentIndex(n - 1);
    if (m_link.Searching())
        lblSearch->setText(QStringLiteral("正在试 COM%1（%2）……").arg(n).arg(deviceText(n)));
}

void frmPort::searchEnded(bool found)
{
    cmdAuto->setEnabled(true);
    lblSearch->setText(found ? QStringLiteral("在 COM%1 找到交换机。").arg(m_link.PortNumber())
                             : QStringLiteral("没有找到交换机，请检查连线或手动选择串口。"));
}

void frmPort::cmdAuto_Click()
{
    // Started, not waited for: the window stays responsive while the ports
    // are tried and the button comes back when the search ends.
    cmdAuto->setEnabled(false);
    lblSearch->setText(QStringLiteral("正在搜索交换机……"));
    m_link.SearchAgain();
    if (!m_link.Searching())
        searchEnded(m_link.LinkUp());
}

void frmPort::cmdOK_Click()
{
    // The port shown here wins over a search still running.
    m_link.StopSearch();
    // The number is stored even when the port does not open; the watchdog
    // then reports the link as broken, and the port is opened once a device
    // is there. A device that cannot serve is named here, and not again by
    // the link while the fault lasts.
    if (!m_link.OpenPort(cmbPort->currentIndex() + 1) && !m_link.PortFaultText().isEmpty()) {
        m_ctx.messages.show(m_link.PortFaultText(), windowTitle(), MessageService::Icon::Warning,
                            MessageService::Buttons::Ok, this);
        m_link.NotePortFaultShown();
    }
    if (const Status stored = m_link.StorePort(m_link.PortNumber()); !stored) {
        // Not stored: the next start would search from the old port. The
        // window stays open so the operator can try again.
        m_ctx.messages.show(stored.reason(), windowTitle(), MessageService::Icon::Warning, MessageService::Buttons::Ok,
                            this);
        return;
    }
    const int n = m_link.PortNumber();
    const QString state =
        m_link.mscPort.isOpen() ? QStringLiteral("已打开。") : QStringLiteral("现在无法打开，设备接上后自动打开。");
    m_ctx.messages.show(QStringLiteral("通讯串口已设为 COM%1（%2），").arg(n).arg(deviceText(n)) + state, windowTitle(),
                        MessageService::Icon::Information, MessageService::Buttons::Ok, this);
    accept();
}

} // namespace corvane
