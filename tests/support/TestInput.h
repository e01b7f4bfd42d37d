#pragma once
// Typing as a person does, for window tests (needs QtTest and widgets).
#include <QString>
#include <QTest>
#include <QWidget>

namespace corvane::test {

// Key presses for every character of text, also for characters no key of
// the keyboard has (Chinese text arrives as the text of a key event, as an
// input method delivers it).
inline void typeText(QWidget *target, const QString &text)
{
    for (QChar ch : text) {
        if (ch.unicode() < 0x80 && ch.unicode() >= 0x20)
            QTest::keyClick(target, char(ch.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

} // namespace corvane::test
