#pragma once
#include <QString>
#include <optional>
#include <utility>

namespace corvane {

// The one error convention of the console: a check or a write returns either
// success or the reason it failed, in words an operator can read. Nothing
// below the window shows a box; the window shows the reason.
//
//     if (Status s = SetField(rs, col, text); !s)
//         m_ctx.messages.show(s.reason(), ...);
class [[nodiscard]] Status {
public:
    Status() = default; // success
    static Status ok() { return {}; }
    static Status fail(QString reason)
    {
        Status s;
        s.m_failed = true;
        s.m_reason = reason.isEmpty() ? QStringLiteral("未知错误") : std::move(reason);
        return s;
    }

    explicit operator bool() const { return !m_failed; }
    bool failed() const { return m_failed; }
    const QString &reason() const { return m_reason; }

    // The reason with what was being done in front: "客户信息未能保存：disk full".
    Status context(const QString &what) const
    {
        return m_failed ? fail(what + QStringLiteral("：") + m_reason) : *this;
    }

private:
    bool m_failed = false;
    QString m_reason;
};

// A checked value: the accepted value in the form it is stored in, or the
// reason it was refused.
template <class T>
class [[nodiscard]] Checked {
public:
    Checked(T value) : m_value(std::move(value)) {} // NOLINT: accepting is the common case
    static Checked refuse(QString reason)
    {
        Checked c;
        c.m_reason = std::move(reason);
        return c;
    }
    static Checked refuse(const Status &failed) { return refuse(failed.reason()); }

    explicit operator bool() const { return m_value.has_value(); }
    bool refused() const { return !m_value.has_value(); }
    const T &value() const { return *m_value; }
    T &value() { return *m_value; }
    const T &operator*() const { return *m_value; }
    T &operator*() { return *m_value; }
    const T *operator->() const { return &*m_value; }
    T *operator->() { return &*m_value; }
    // The accepted value, or `fallback` when it was refused.
    T value_or(T fallback) const { return m_value ? *m_value : std::move(fallback); }
    const QString &reason() const { return m_reason; }
    Status status() const { return m_value ? Status::ok() : Status::fail(m_reason); }
    // A refusal of another type carrying this one's reason.
    template <class U>
    Checked<U> refusedAs() const
    {
        return Checked<U>::refuse(m_reason);
    }

private:
    Checked() = default;
    std::optional<T> m_value;
    QString m_reason;
};

} // namespace corvane
