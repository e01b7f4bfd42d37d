#pragma once
#include <QList>
#include <QObject>
#include <QVariant>
#include <type_traits>

namespace corvane::test {

// Records every emission of one signal as a list of its arguments, for the
// logic tests, which run without QtTest.
class SignalLog {
public:
    template <class Sender, class... Args>
    SignalLog(Sender *sender, void (Sender::*signal)(Args...))
    {
        QObject::connect(sender, signal, &m_receiver, [this](Args... args) {
            m_calls.append(QVariantList{QVariant::fromValue(std::decay_t<Args>(args))...});
        });
    }

    int count() const { return int(m_calls.size()); }
    const QVariantList &at(int i) const { return m_calls.at(i); }
    const QVariantList &last() const { return m_calls.last(); }
    void clear() { m_calls.clear(); }

private:
    QObject m_receiver;
    QList<QVariantList> m_calls;
};

} // namespace corvane::test
