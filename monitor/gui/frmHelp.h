#pragma once
#include <QDialog>

class QTextBrowser;

namespace corvane {

// Shows the home's help page.
class frmHelp : public QDialog {
    Q_OBJECT
public:
    explicit frmHelp(const QString &indexPath, QWidget *parent = nullptr);
    QTextBrowser *browser;
};

} // namespace corvane
