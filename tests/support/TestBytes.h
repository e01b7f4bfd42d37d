#pragma once
#include <QByteArray>
#include <initializer_list>

namespace corvane::test {

// Bytes written out by hand: bytes({0xFF, 0xB2, 0x00}).
inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

} // namespace corvane::test
