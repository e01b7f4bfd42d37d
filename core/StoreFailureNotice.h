#pragma once
#include "MessageService.h"
#include "Status.h"

class QWidget;

namespace corvane {

// Tells the operator that a store failed, once: a window whose stores keep
// failing (a locked or full database) shows the first failure, stays quiet
// while the failures go on, and speaks again only after a store has succeeded
// in between. Every window that writes shares this behaviour.
class StoreFailureNotice {
public:
    explicit StoreFailureNotice(MessageService &messages, QString title = QStringLiteral("数据库错误"))
        : m_messages(messages), m_title(std::move(title))
    {}

    // Takes the outcome of one store; shows its reason when it is the first
    // failure since the last success. Returns whether the store succeeded.
    bool note(const Status &s, QWidget *parent = nullptr)
    {
        if (s) {
            m_failing = false;
            return true;
        }
        if (!m_failing)
            m_messages.show(s.reason(), m_title, MessageService::Icon::Critical, MessageService::Buttons::Ok, parent);
        m_failing = true;
        return false;
    }

    // Whether the last store failed (and was reported).
    bool failing() const { return m_failing; }

private:
    MessageService &m_messages;
    QString m_title;
    bool m_failing = false;
};

} // namespace corvane
