#include "TypedTime.h"

#include <QDateEdit>
#include <QDateTimeEdit>
#include <QEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>

namespace corvane {

namespace {

class FirstSectionOnFocus : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusIn) {
            // After the click that brought the focus has placed the cursor.
            QPointer<QDateTimeEdit> box = qobject_cast<QDateTimeEdit *>(watched);
            QTimer::singleShot(0, this, [box] {
                if (box && box->hasFocus())
                    box->setSelectedSection(box->sectionAt(0));
            });
        }
        return QObject::eventFilter(watched, event);
    }
};

class TypedDate : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *box = qobject_cast<QDateEdit *>(watched);
        if (!box)
            return false;
        if (event->type() == QEvent::FocusIn) {
            m_digits.clear();
            return false;
        }
        // The box takes each key as it always does; once a key is through,
        // the digits typed in a row decide when they make a whole date.
        if (event->type() == QEvent::KeyPress) {
            const QString text = static_cast<QKeyEvent *>(event)->text();
            if (text.size() == 1 && text.at(0).isDigit()) {
                if (m_digits.isEmpty())
                    m_year = box->date().year(); // before the box reads the digits itself
                m_digits = (m_digits + text).right(8);
            } else
                m_digits.clear();
            return false;
        }
        if (event->type() != QEvent::KeyRelease || m_digits.isEmpty())
            return false;
        // Eight digits with the year, four within the year the box shows.
        QDate date;
        if (m_digits.size() == 8)
            date = QDate::fromString(m_digits, QStringLiteral("yyyyMMdd"));
        else if (m_digits.size() == 4)
            date = QDate::fromString(QString::number(m_year) + m_digits, QStringLiteral("yyyyMMdd"));
        if (date.isValid() && date != box->date()) {
            box->setDate(date);
            // The year as typed last: "20261101" after "1205" is read whole.
            if (m_digits.size() == 8)
                m_digits.clear();
        }
        return false;
    }

private:
    QString m_digits;
    int m_year = 0;
};

} // namespace

void AcceptTypedDate(QDateEdit *box)
{
    if (!box)
        return;
    box->installEventFilter(new TypedDate(box));
}

void AcceptTypedTime(QDateTimeEdit *box)
{
    if (!box)
        return;
    box->installEventFilter(new FirstSectionOnFocus(box));
}

} // namespace corvane
