#pragma once
#include <QString>
#include <QStringList>
#include <QList>
#include <deque>
#include <optional>

class QWidget;

namespace corvane {

// Every box the program shows goes through this service, so that tests can read
// what was shown and script the answers instead of blocking on a modal box.
class MessageService {
public:
    enum class Icon { None, Information, Warning, Critical, Question };
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
    enum class Answer { Ok, Cancel, Yes, No, Retry };

    struct Shown {
        QString text;
        QString title;
        Icon icon;
        Buttons buttons;
    };

    virtual ~MessageService() = default;
    virtual Answer show(const QString &text, const QString &title, Icon icon = Icon::None,
                        Buttons buttons = Buttons::Ok, QWidget *parent = nullptr) = 0;

    // A box that must not hold up the caller (e.g. a switch fault reported while
    // frames keep arriving). It is shown and left open; the caller goes on.
    virtual void notify(const QString &text, const QString &title, Icon icon,
                        QWidget *parent = nullptr) = 0;

    // Line input box; nullopt when cancelled.
    virtual std::optional<QString> askText(const QString &prompt, const QString &title,
                                           const QString &initial = QString(),
                                           QWidget *parent = nullptr) = 0;

    // The "input error" box used by every input check.
    void inputError(const QString &text, QWidget *parent = nullptr)
    {
        show(text, QStringLiteral("输入错误"), Icon::Critical, Buttons::Ok, parent);
    }

    // The default title of a box that names none.
    static QString defaultTitle() { return QStringLiteral("Velloran1.3版"); }
};

// Test double: records every box and answers from a script (Ok / the first
// button when the script is empty).
class ScriptedMessageService : public MessageService {
public:
    Answer show(const QString &text, const QString &title, Icon icon, Buttons buttons,
                QWidget *parent) override;
    void notify(const QString &text, const QString &title, Icon icon, QWidget *parent) override;
    std::optional<QString> askText(const QString &prompt, const QString &title,
                                   const QString &initial, QWidget *parent) override;

    void queueAnswer(Answer a) { m_answers.push_back(a); }
    void queueText(std::optional<QString> t) { m_texts.push_back(std::move(t)); }

    const QList<Shown> &shown() const { return m_shown; }
    QStringList texts() const;
    const Shown *last() const { return m_shown.isEmpty() ? nullptr : &m_shown.last(); }
    void clear() { m_shown.clear(); }

private:
    QList<Shown> m_shown;
    std::deque<Answer> m_answers;
    std::deque<std::optional<QString>> m_texts;
};

} // namespace corvane
