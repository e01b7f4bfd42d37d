#pragma once
// How GoogleTest shows Qt's text and bytes in a failure message: text as
// text, bytes in hex ("0B 44 0C"). Every test source sees these (the test
// targets include this header first), so every program prints them alike.
#include <QByteArray>
#include <QString>
#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray &b, std::ostream *os) { *os << b.toHex(' ').toUpper().toStdString(); }
