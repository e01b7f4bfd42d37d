#pragma once
#include "Status.h"

#include <QString>

namespace corvane {

// Why a file or folder cannot be reached, in words an operator can act on:
// "does not exist", or "no permission" naming the folder or file in the way
// and the user it belongs to ("请以用户 alice 运行"), or the system's reason.
// Empty when it can be reached.
QString AccessProblem(const QString &path);

// The name of the user a file or folder belongs to (the number when the
// system has no name for it); empty when it cannot be looked at.
QString OwnerOf(const QString &path);

// Sizes for a message: KB below one megabyte, MB above ("850 KB", "1.4 MB",
// "230 MB"). Needs are rounded up, what is there rounded down, so that a
// refusal never reads "needs 1 MB, has 1 MB".
QString SizeNeededText(qint64 bytes);
QString SizeAvailableText(qint64 bytes);

// Creates (or truncates) a file readable and writable by its owner only,
// whatever the umask, for a library that then writes it by name (an export,
// a report): it keeps the mode of a file that exists.
Status PrepareOwnerOnlyFile(const QString &path);

} // namespace corvane
