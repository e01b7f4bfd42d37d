#pragma once
#include "ConsoleContext.h"
#include <QDialog>

namespace corvane {

// Every window opened modally goes through here so that tests can drive it.
inline int ShowModal(ConsoleContext &ctx, QDialog &dialog)
{
    if (ctx.runModal)
        return ctx.runModal(dialog);
    return dialog.exec();
}

} // namespace corvane
