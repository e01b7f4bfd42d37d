#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>

class QWidget;

namespace corvane {

// Every box the program shows goes through this service, so that tests can read
// what was shown and script the answers instead of blocking on a modal box.
class MessageService {
public:
    enum class Icon { None, Information, Warning, Critical, Question };
    // YesNoDefaultNo, OkCancelDefaultCancel: a question whose safe answer is
    // No or Cancel (Enter answers it): every question before an action that
    // deletes, overwrites, settles or stops something.
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, YesNoDefaultNo, OkCancelDefaultCancel };
    enum class Answer { Ok, Cancel, Yes, No, Retry };

    // The answer a box gives when the operator just presses Enter.
    static Answer defaultAnswer(Buttons buttons);
    // Whether Enter on this box leaves everything as it was.
    static bool defaultsToSafeAnswer(Buttons buttons)
    {
        return buttons == Buttons::YesNoDefaultNo || buttons == Buttons::OkCancelDefaultCancel;
    }

    struct Shown {
        QString text;
        QString title;
        Icon icon;
        Buttons buttons;
        QStringList choices = {}; // the buttons of a choose() box
    };

    virtual ~MessageService() = default;
    virtual Answer show(const QString &text, const QString &title, Icon icon = Icon::None,
                        Buttons buttons = Buttons::Ok, QWidget *parent = nullptr) = 0;

    // A box that must not hold up the caller (e.g. a switch fault reported while
    // frames keep arriving). It is shown and left open; the caller goes on.
    virtual void notify(const QString &text, const QString &title, Icon icon, QWidget *parent = nullptr) = 0;

    // A notice that may come again and again (a fault the switch keeps
    // reporting, a record that keeps failing): one box per key. While the box
    // of `key` is open, the same notice again only raises its count, shown at
    // the end of its text (keyedText). Never holds up the caller. Returns the
    // count: 1 when a box was opened, more when an open box was updated.
    virtual int notifyKeyed(const QString &key, const QString &text, const QString &title, Icon icon,
                            QWidget *parent = nullptr) = 0;
    // The matter of `key` changed (a fault gave way to another, or is over):
    // an open box of that key shows `text` alone with `icon`, and its count
    // starts again. Opens nothing when none is open.
    virtual void resetKeyed(const QString &key, const QString &text, Icon icon) = 0;
    // The program's main window is shown: open keyed boxes that were shown
    // before it (start-up faults) are put over it and kept there.
    virtual void adoptNotices(QWidget *window) { (void)window; }
    // The text of a keyed box that has been notified `count` times:
    // "…-->1F (3次)"; the text alone for the first time.
    static QString keyedText(const QString &text, int count)
    {
        if (count <= 1)
            return text;
        const QString times = QStringLiteral(" (%1次)").arg(count);
        const int at = text.indexOf(detailsMarker());
        return at < 0 ? text + times : text.left(at) + times + text.mid(at);
    }

    // A box whose buttons carry texts of their own, the first the default.
    // Returns the index of the button pressed, -1 when the box was closed
    // without one.
    virtual int choose(const QString &text, const QString &title, Icon icon, const QStringList &buttons,
                       QWidget *parent = nullptr) = 0;

    // What the operator must not miss while working elsewhere (the link to
    // the switch lost or back, the outward port gone): a message of the
    // desktop's tray where there is one, else a notice window that never
    // takes the keyboard focus. One per key: a notice of the same key
    // replaces the one still shown. Never holds up the caller.
    virtual void desktopNotice(const QString &key, const QString &text, const QString &title, Icon icon) = 0;

    // Line input box; nullopt when cancelled.
    virtual std::optional<QString> askText(const QString &prompt, const QString &title,
                                           const QString &initial = QString(), QWidget *parent = nullptr) = 0;

    // Password input box (the typed text is not shown); nullopt when
    // cancelled. Test doubles answer it like askText.
    virtual std::optional<QString> askPassword(const QString &prompt, const QString &title, QWidget *parent = nullptr)
    {
        return askText(prompt, title, QString(), parent);
    }

    // The "input error" box used by every input check.
    void inputError(const QString &text, QWidget *parent = nullptr)
    {
        show(text, QStringLiteral("输入错误"), Icon::Critical, Buttons::Ok, parent);
    }

    // The question before an action that deletes or overwrites: question
    // icon, "是"/"否" with "否" the default. True only for "是".
    bool confirmDeletion(const QString &text, const QString &title, QWidget *parent = nullptr)
    {
        return show(text, title, Icon::Question, Buttons::YesNoDefaultNo, parent) == Answer::Yes;
    }

    // A text may carry details for whoever looks into a fault (SQLite's own
    // words, the statement) after this marker; a box shows them only under
    // "详细信息" (Show Details).
    static QString detailsMarker() { return QStringLiteral("\n详细信息："); }

    // The default title of a box that names none.
    static QString defaultTitle() { return QStringLiteral("Velloran1.3版"); }
};

// Test double: records every box and answers from a script (the default
// button when the script is empty, defaultAnswer(); the first of a choose()
// box).
//
// A keyed notice is recorded once per open box; a repeat while that box is
// "open" updates the recorded entry's text and count instead. The operator's
// closing of a box is played with closeKeyed().
class ScriptedMessageService : public MessageService {
public:
    Answer show(const QString &text, const QString &title, Icon icon, Buttons buttons, QWidget *parent) override;
    void notify(const QString &text, const QString &title, Icon icon, QWidget *parent) override;
    int notifyKeyed(const QString &key, const QString &text, const QString &title, Icon icon, QWidget *parent) override;
    void resetKeyed(const QString &key, const QString &text, Icon icon) override;
    int choose(const QString &text, const QString &title, Icon icon, const QStringList &buttons,
               QWidget *parent) override;
    std::optional<QString> askText(const QString &prompt, const QString &title, const QString &initial,
                                   QWidget *parent) override;
    void desktopNotice(const QString &key, const QString &text, const QString &title, Icon icon) override
    {
        m_desktop.append({key, text, title, icon});
    }

    void queueAnswer(Answer a) { m_answers.push_back(a); }
    void queueChoice(int index) { m_choices.push_back(index); }
    void queueText(std::optional<QString> t) { m_texts.push_back(std::move(t)); }

    const QList<Shown> &shown() const { return m_shown; }
    QStringList texts() const;
    const Shown *last() const { return m_shown.isEmpty() ? nullptr : &m_shown.last(); }
    // Forgets every recorded box; keyed boxes count as closed.
    void clear()
    {
        m_shown.clear();
        m_keyed.clear();
        m_desktop.clear();
    }

    // Every desktop notice, in order (kept apart from the boxes).
    struct DesktopNotice {
        QString key;
        QString text;
        QString title;
        Icon icon;
    };
    const QList<DesktopNotice> &desktopNotices() const { return m_desktop; }

    // Keyed boxes open now, and how often each was notified.
    QStringList openKeys() const;
    int keyedCount(const QString &key) const;
    // The operator closes the box of `key`: the next notice opens a new one.
    void closeKeyed(const QString &key);

private:
    struct OpenKeyed {
        QString key;
        int shownIndex = -1;
        int count = 0;
    };
    QList<Shown> m_shown;
    QList<OpenKeyed> m_keyed;
    QList<DesktopNotice> m_desktop;
    std::deque<Answer> m_answers;
    std::deque<int> m_choices;
    std::deque<std::optional<QString>> m_texts;
};

} // namespace corvane
