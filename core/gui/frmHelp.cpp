#include "frmHelp.h"
#include "MessageService.h"
#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace corvane {

frmHelp::frmHelp(const QString &indexPath, QWidget *parent, const QString &section) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("帮助"));
    browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("txtHelp"));
    browser->setAccessibleName(QStringLiteral("帮助内容"));
    // Links inside the page move within it; a link to a web page opens the browser.
    browser->setOpenLinks(true);
    browser->setOpenExternalLinks(true);
    browser->setSource(QUrl::fromLocalFile(indexPath));
    cmdClose = new QPushButton(QStringLiteral("关闭(&C)"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setDefault(true);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(browser);
    layout->addLayout(buttons);
    resize(760, 560);
    showSection(section);
}

frmHelp *frmHelp::open(const QString &indexPath, QWidget *window, const QString &section, MessageService &messages)
{
    if (!QFile::exists(indexPath)) {
        messages.show(QStringLiteral("找不到帮助文件：") + indexPath, QStringLiteral("帮助"),
                      MessageService::Icon::Warning, MessageService::Buttons::Ok, window);
        return nullptr;
    }
    // A child of the window: a modal window does not block its own children.
    auto *help = new frmHelp(indexPath, window, section);
    help->setAttribute(Qt::WA_DeleteOnClose);
    help->setWindowModality(Qt::NonModal);
    help->show();
    help->raise();
    help->activateWindow();
    return help;
}

void frmHelp::showSection(const QString &section)
{
    if (section.isEmpty())
        browser->scrollToAnchor(QStringLiteral("top"));
    else
        browser->scrollToAnchor(section);
}

} // namespace corvane
