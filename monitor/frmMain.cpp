#include "frmMain.h"
#include "ConsoleContext.h"
#include "Operators.h"
#include <QCloseEvent>
#include <QLabel>
#include <QPixmap>
#include <QStatusBar>
#include <QVBoxLayout>

namespace corvane {

frmMain::frmMain(ConsoleContext &ctx, QWidget *parent) : QMainWindow(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Velloran1.3版"));

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralArea"));
    auto *layout = new QVBoxLayout(central);
    imgLogo = new QLabel(central);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setAccessibleName(QStringLiteral("公司标志"));
    layout->addWidget(imgLogo, 0, Qt::AlignLeft | Qt::AlignTop);
    layout->addStretch(1);
    setCentralWidget(central);

    sbStatus = new QStatusBar(this);
    sbStatus->setObjectName(QStringLiteral("sbStatus"));
    for (int i = 0; i < PanelCount; ++i) {
        auto *panel = new QLabel(sbStatus);
        panel->setObjectName(QStringLiteral("sbStatus_%1").arg(i + 1));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setMinimumWidth(i == 0 ? 60 : 140);
        sbStatus->addWidget(panel, i == 0 ? 0 : 1);
        m_panels[i] = panel;
    }
    setStatusBar(sbStatus);
    resize(1000, 720);
}

frmMain::~frmMain() = default;

QString frmMain::panelText(int panel) const
{
    return (panel >= 1 && panel <= PanelCount) ? m_panels[panel - 1]->text() : QString();
}

void frmMain::setPanelText(int panel, const QString &text)
{
    if (panel >= 1 && panel <= PanelCount)
        m_panels[panel - 1]->setText(text);
}

void frmMain::Form_Load()
{
    // A missing logo is no reason to stop: the label stays empty.
    QPixmap logo(m_ctx.home.resource(QStringLiteral("company.gif")));
    if (!logo.isNull())
        imgLogo->setPixmap(logo);
    setPanelText(1, m_ctx.clock.now().toString(QStringLiteral("yyyy-MM-dd")));
    setPanelText(2, QStringLiteral("通讯端口：错误"));
    setPanelText(4, QStringLiteral("新话单数：0"));
    setPanelText(5, QStringLiteral("新来电数：0"));
    ShowOperatorState();
}

void frmMain::ShowOperatorState()
{
    const LoginState &s = m_ctx.login;
    setPanelText(3, s.OPLogin ? QStringLiteral("操作员:") + s.OPName : QStringLiteral("操作员:无"));
}

bool frmMain::Form_Unload()
{
    if (m_ended)
        return true;
    const auto answer = m_ctx.messages.show(QStringLiteral("感谢使用Brenmark产品，您真的要退出本系统？"),
                                            QStringLiteral("退出系统！"), MessageService::Icon::Information,
                                            MessageService::Buttons::OkCancel, this);
    if (answer != MessageService::Answer::Ok)
        return false;
    if (m_ctx.login.OPLogin && !AddOperatorRecord(m_ctx))
        m_ctx.messages.show(QStringLiteral("操作员使用记录未能保存：") + m_ctx.db.lastError(),
                            QStringLiteral("退出系统！"), MessageService::Icon::Warning,
                            MessageService::Buttons::Ok, this);
    m_ctx.db.close();
    m_ended = true;
    emit programEnded();
    return true;
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (Form_Unload())
        event->accept();
    else
        event->ignore();
}

} // namespace corvane
