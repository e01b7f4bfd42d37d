#pragma once
#include <QByteArray>
#include <string>

namespace corvane::test {

// Bytes written out by hand: "0B 44 0C".
inline QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

// Bytes as a failure message shows them: "0B 44 0C".
inline std::string show(const QByteArray &bytes) { return bytes.toHex(' ').toUpper().toStdString(); }

} // namespace corvane::test
