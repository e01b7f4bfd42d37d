#pragma once
#include "MessageService.h"

#include <QHash>
#include <QPointer>

class QMessageBox;
class QSystemTrayIcon;

namespace corvane {

// The message service of the running console: Qt message boxes and input
// boxes. A box without a title gets the product's default title.
class QtMessageService : public MessageService {
public:
    Answer show(const QString &text, const QString &title, Icon icon = Icon::None, Buttons buttons = Buttons::Ok,
                QWidget *parent = nullptr) override;
    // Non-modal: the box stays open on its own and deletes itself when closed.
    void notify(const QString &text, const QString &title, Icon icon, QWidget *parent = nullptr) override;
    // One non-modal box per key; a repeat while it is open updates its text.
    int notifyKeyed(const QString &key, const QString &text, const QString &title, Icon icon,
                    QWidget *parent = nullptr) override;
    void resetKeyed(const QString &key, const QString &text, Icon icon) override;
    void adoptNotices(QWidget *window) override;
    int choose(const QString &text, const QString &title, Icon icon, const QStringList &buttons,
               QWidget *parent = nullptr) override;
    std::optional<QString> askText(const QString &prompt, const QString &title, const QString &initial = QString(),
                                   QWidget *parent = nullptr) override;
    std::optional<QString> askPassword(const QString &prompt, const QString &title, QWidget *parent = nullptr) override;
    // The tray's message where the desktop has a tray; else a non-modal box
    // that is shown without taking the focus (MakePassive).
    void desktopNotice(const QString &key, const QString &text, const QString &title, Icon icon) override;

    // The open box of `key`, if any.
    QMessageBox *keyedBox(const QString &key) const;
    // The notice window of `key` while it is shown (never on a desktop with a tray).
    QMessageBox *desktopNoticeBox(const QString &key) const;

private:
    struct Keyed {
        QPointer<QMessageBox> box;
        int count = 0;
    };
    QHash<QString, Keyed> m_keyed;
    QHash<QString, QPointer<QMessageBox>> m_notices;
    QSystemTrayIcon *m_tray = nullptr;
};

} // namespace corvane
