#include "TypedTime.h"

#include <QDateTimeEdit>
#include <QEvent>
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

} // namespace

void AcceptTypedTime(QDateTimeEdit *box)
{
    if (!box)
        return;
    box->installEventFilter(new FirstSectionOnFocus(box));
}

} // namespace corvane
