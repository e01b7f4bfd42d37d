#include "frmHelp.h"
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace corvane {

frmHelp::frmHelp(const QString &indexPath, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("帮助"));
    browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("txtHelp"));
    browser->setSource(QUrl::fromLocalFile(indexPath));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(browser);
    resize(640, 480);
}

} // namespace corvane
