#include "QtMessageService.h"

#include "PassiveWindow.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QSystemTrayIcon>

namespace corvane {

namespace {

// The text of a box, and what follows the details marker under 详细信息.
void setTextAndDetails(QMessageBox &box, const QString &text)
{
    const int at = text.indexOf(MessageService::detailsMarker());
    box.setText(at < 0 ? text : text.left(at));
    box.setDetailedText(at < 0 ? QString() : text.mid(at + MessageService::detailsMarker().size()));
}

} // namespace

namespace {

QMessageBox::Icon toQt(MessageService::Icon icon)
{
    switch (icon) {
    case MessageService::Icon::Information: return QMessageBox::Information;
    case MessageService::Icon::Warning: return QMessageBox::Warning;
    case MessageService::Icon::Critical: return QMessageBox::Critical;
    case MessageService::Icon::Question: return QMessageBox::Question;
    case MessageService::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

// The buttons in their order on the box; the first is the default.
QList<QMessageBox::StandardButton> toQt(MessageService::Buttons buttons)
{
    switch (buttons) {
    case MessageService::Buttons::Ok: return {QMessageBox::Ok};
    case MessageService::Buttons::OkCancel: return {QMessageBox::Ok, QMessageBox::Cancel};
    case MessageService::Buttons::YesNo: return {QMessageBox::Yes, QMessageBox::No};
    case MessageService::Buttons::YesNoDefaultNo: return {QMessageBox::Yes, QMessageBox::No};
    case MessageService::Buttons::OkCancelDefaultCancel: return {QMessageBox::Ok, QMessageBox::Cancel};
    case MessageService::Buttons::YesNoCancel: return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case MessageService::Buttons::RetryCancel: return {QMessageBox::Retry, QMessageBox::Cancel};
    }
    return {QMessageBox::Ok};
}

QString titleOrDefault(const QString &title) { return title.isEmpty() ? MessageService::defaultTitle() : title; }

} // namespace

MessageService::Answer QtMessageService::show(const QString &text, const QString &title, Icon icon, Buttons buttons,
                                              QWidget *parent)
{
    const QList<QMessageBox::StandardButton> order = toQt(buttons);
    QMessageBox::StandardButtons set;
    for (auto b : order)
        set |= b;
    QMessageBox box(toQt(icon), titleOrDefault(title), QString(), set, parent);
    setTextAndDetails(box, text);
    switch (defaultAnswer(buttons)) {
    case Answer::No: box.setDefaultButton(QMessageBox::No); break;
    case Answer::Cancel: box.setDefaultButton(QMessageBox::Cancel); break;
    default: box.setDefaultButton(order.first()); break;
    }
    // Escape refuses as the default does.
    if (defaultsToSafeAnswer(buttons))
        box.setEscapeButton(box.defaultButton());
    const int result = box.exec();
    switch (result) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Retry: return Answer::Retry;
    default: break;
    }
    // Closed without a button (window manager): the refusing answer.
    if (set & QMessageBox::Cancel)
        return Answer::Cancel;
    if (set & QMessageBox::No)
        return Answer::No;
    return Answer::Ok;
}

int QtMessageService::choose(const QString &text, const QString &title, Icon icon, const QStringList &buttons,
                             QWidget *parent)
{
    QMessageBox box(toQt(icon), titleOrDefault(title), text, QMessageBox::NoButton, parent);
    QList<QAbstractButton *> added;
    for (const QString &caption : buttons)
        added.append(box.addButton(caption, QMessageBox::AcceptRole));
    if (!added.isEmpty())
        box.setDefaultButton(qobject_cast<QPushButton *>(added.first()));
    box.exec();
    return int(added.indexOf(box.clickedButton()));
}

void QtMessageService::notify(const QString &text, const QString &title, Icon icon, QWidget *parent)
{
    auto *box = new QMessageBox(toQt(icon), titleOrDefault(title), QString(), QMessageBox::Ok, parent);
    setTextAndDetails(*box, text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

int QtMessageService::notifyKeyed(const QString &key, const QString &text, const QString &title, Icon icon,
                                  QWidget *parent)
{
    Keyed &k = m_keyed[key];
    if (k.box && k.box->isVisible()) {
        ++k.count;
        setTextAndDetails(*k.box, keyedText(text, k.count));
        return k.count;
    }
    if (k.box)
        k.box->deleteLater(); // closed but not gone yet
    auto *box = new QMessageBox(toQt(icon), titleOrDefault(title), QString(), QMessageBox::Ok, parent);
    setTextAndDetails(*box, text);
    box->setObjectName(QStringLiteral("keyedNotice"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    k.box = box;
    k.count = 1;
    box->show();
    return 1;
}

void QtMessageService::resetKeyed(const QString &key, const QString &text, Icon icon)
{
    const auto it = m_keyed.find(key);
    if (it == m_keyed.end() || !it->box || !it->box->isVisible())
        return;
    it->count = 0;
    setTextAndDetails(*it->box, text);
    it->box->setIcon(toQt(icon));
}

void QtMessageService::adoptNotices(QWidget *window)
{
    // A parentless box shown before the main window lies under it, under a
    // window manager too; as the main window's own it stays above it.
    for (Keyed &k : m_keyed) {
        if (!k.box || !k.box->isVisible() || k.box->parentWidget())
            continue;
        k.box->setParent(window, k.box->windowFlags());
        k.box->show();
        k.box->raise();
    }
}

void QtMessageService::desktopNotice(const QString &key, const QString &text, const QString &title, Icon icon)
{
    if (QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages()) {
        if (!m_tray) {
            QIcon appIcon = QApplication::windowIcon();
            if (appIcon.isNull())
                appIcon = QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
            m_tray = new QSystemTrayIcon(appIcon, qApp);
            m_tray->setToolTip(defaultTitle());
            m_tray->show();
        }
        QSystemTrayIcon::MessageIcon trayIcon = QSystemTrayIcon::Information;
        if (icon == Icon::Warning)
            trayIcon = QSystemTrayIcon::Warning;
        else if (icon == Icon::Critical)
            trayIcon = QSystemTrayIcon::Critical;
        m_tray->showMessage(titleOrDefault(title), text, trayIcon, 30000);
        return;
    }
    QPointer<QMessageBox> &box = m_notices[key];
    if (box && box->isVisible()) {
        box->setWindowTitle(titleOrDefault(title));
        box->setIcon(toQt(icon));
        box->setText(text);
        return;
    }
    if (box)
        box->deleteLater(); // closed but not gone yet
    // Over the console's main window and kept above it until closed.
    QWidget *owner = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("frmMain") && w->isVisible())
            owner = w;
    box = new QMessageBox(toQt(icon), titleOrDefault(title), text, QMessageBox::Ok, owner);
    box->setObjectName(QStringLiteral("desktopNotice"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setEscapeButton(QMessageBox::Ok);
    box->setDefaultButton(QMessageBox::Ok);
    MakeNotice(box);
    box->show();
}

QMessageBox *QtMessageService::desktopNoticeBox(const QString &key) const
{
    const auto it = m_notices.constFind(key);
    return it == m_notices.constEnd() || !it->data() || !(*it)->isVisible() ? nullptr : it->data();
}

QMessageBox *QtMessageService::keyedBox(const QString &key) const
{
    const auto it = m_keyed.constFind(key);
    return it == m_keyed.constEnd() ? nullptr : it->box.data();
}

std::optional<QString> QtMessageService::askText(const QString &prompt, const QString &title, const QString &initial,
                                                 QWidget *parent)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, titleOrDefault(title), prompt, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<QString> QtMessageService::askPassword(const QString &prompt, const QString &title, QWidget *parent)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent, titleOrDefault(title), prompt, QLineEdit::Password, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

} // namespace corvane
