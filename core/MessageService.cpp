#include "MessageService.h"

namespace corvane {

MessageService::Answer ScriptedMessageService::show(const QString &text, const QString &title,
                                                    Icon icon, Buttons buttons, QWidget *)
{
    m_shown.append({text, title, icon, buttons});
    if (!m_answers.empty()) {
        Answer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    switch (buttons) {
    case Buttons::YesNo:
    case Buttons::YesNoCancel: return Answer::Yes;
    case Buttons::RetryCancel: return Answer::Retry;
    default: return Answer::Ok;
    }
}

void ScriptedMessageService::notify(const QString &text, const QString &title, Icon icon, QWidget *)
{
    m_shown.append({text, title, icon, Buttons::Ok});
}

std::optional<QString> ScriptedMessageService::askText(const QString &prompt, const QString &title,
                                                       const QString &initial, QWidget *)
{
    m_shown.append({prompt, title, Icon::Question, Buttons::OkCancel});
    if (!m_texts.empty()) {
        auto t = m_texts.front();
        m_texts.pop_front();
        return t;
    }
    return initial;
}

QStringList ScriptedMessageService::texts() const
{
    QStringList out;
    for (const auto &s : m_shown)
        out << s.text;
    return out;
}

} // namespace corvane
