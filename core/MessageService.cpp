#include "MessageService.h"

namespace corvane {

MessageService::Answer MessageService::defaultAnswer(Buttons buttons)
{
    switch (buttons) {
    case Buttons::YesNo:
    case Buttons::YesNoCancel: return Answer::Yes;
    case Buttons::YesNoDefaultNo: return Answer::No;
    case Buttons::OkCancelDefaultCancel: return Answer::Cancel;
    case Buttons::RetryCancel: return Answer::Retry;
    case Buttons::Ok:
    case Buttons::OkCancel: break;
    }
    return Answer::Ok;
}

MessageService::Answer ScriptedMessageService::show(const QString &text, const QString &title, Icon icon,
                                                    Buttons buttons, QWidget *)
{
    m_shown.append({text, title, icon, buttons});
    if (!m_answers.empty()) {
        Answer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    return defaultAnswer(buttons);
}

int ScriptedMessageService::choose(const QString &text, const QString &title, Icon icon, const QStringList &buttons,
                                   QWidget *)
{
    m_shown.append({text, title, icon, Buttons::Ok, buttons});
    if (!m_choices.empty()) {
        const int c = m_choices.front();
        m_choices.pop_front();
        return c;
    }
    return 0;
}

void ScriptedMessageService::notify(const QString &text, const QString &title, Icon icon, QWidget *)
{
    m_shown.append({text, title, icon, Buttons::Ok});
}

int ScriptedMessageService::notifyKeyed(const QString &key, const QString &text, const QString &title, Icon icon,
                                        QWidget *)
{
    for (OpenKeyed &open : m_keyed) {
        if (open.key != key)
            continue;
        ++open.count;
        m_shown[open.shownIndex].text = keyedText(text, open.count);
        return open.count;
    }
    m_shown.append({text, title, icon, Buttons::Ok});
    m_keyed.append({key, int(m_shown.size()) - 1, 1});
    return 1;
}

void ScriptedMessageService::resetKeyed(const QString &key, const QString &text, Icon icon)
{
    for (OpenKeyed &open : m_keyed) {
        if (open.key != key)
            continue;
        open.count = 0;
        m_shown[open.shownIndex].text = text;
        m_shown[open.shownIndex].icon = icon;
    }
}

QStringList ScriptedMessageService::openKeys() const
{
    QStringList keys;
    for (const OpenKeyed &open : m_keyed)
        keys << open.key;
    return keys;
}

int ScriptedMessageService::keyedCount(const QString &key) const
{
    for (const OpenKeyed &open : m_keyed) {
        if (open.key == key)
            return open.count;
    }
    return 0;
}

void ScriptedMessageService::closeKeyed(const QString &key)
{
    for (int i = 0; i < m_keyed.size(); ++i) {
        if (m_keyed[i].key == key) {
            m_keyed.removeAt(i);
            return;
        }
    }
}

std::optional<QString> ScriptedMessageService::askText(const QString &prompt, const QString &title,
                                                       const QString &initial, QWidget *)
{
    m_shown.append({prompt, title, Icon::Question, Buttons::OkCancel});
    if (m_texts.empty())
        return initial;
    std::optional<QString> t;
    t.swap(m_texts.front());
    m_texts.pop_front();
    return t;
}

QStringList ScriptedMessageService::texts() const
{
    QStringList out;
    for (const auto &s : m_shown)
        out << s.text;
    return out;
}

} // namespace corvane
