#pragma once
#include <QDialog>

class QPushButton;
class QTextBrowser;

namespace corvane {

class MessageService;

// Shows the home's help page, at the section of the window it was asked
// from (the anchor named like that window's object, "frmPHNClient"), or at
// its top.
class frmHelp : public QDialog {
    Q_OBJECT
public:
    explicit frmHelp(const QString &indexPath, QWidget *parent = nullptr, const QString &section = QString());
    // Opens the help beside `window` without holding it up, also while that
    // window is modal; a missing help page is said.
    static frmHelp *open(const QString &indexPath, QWidget *window, const QString &section, MessageService &messages);
    // Scrolls to a window's section; the top when the page has none.
    void showSection(const QString &section);

    QTextBrowser *browser;
    QPushButton *cmdClose;
};

} // namespace corvane
