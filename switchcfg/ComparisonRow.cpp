#include "ComparisonRow.h"

namespace corvane {

Verdict CompareValues(const QString &switchValue, const QString &dbValue)
{
    const QString s = switchValue.trimmed();
    const QString d = dbValue.trimmed();
    if (s == d)
        return Verdict::Same;
    return d.isEmpty() ? Verdict::NotComparable : Verdict::Different;
}

bool SwitchOnlyListEntry(const ComparisonRow &r)
{
    if (r.verdict != Verdict::NotComparable || r.switchValue.trimmed().isEmpty())
        return false;
    return r.item == QStringLiteral("代理总机（物理端口）") || r.item == QStringLiteral("本地网字头")
           || r.item == QStringLiteral("特服号码")
           || (r.item.startsWith(QStringLiteral("虚拟总机")) && r.item.endsWith(QStringLiteral("（物理端口）")));
}

QString VerdictText(Verdict v, int row)
{
    switch (v) {
    case Verdict::Same: return QStringLiteral("数据一致--") + QString::number(row);
    case Verdict::Different: return QStringLiteral("数据不一致--") + QString::number(row);
    case Verdict::NotComparable: return QStringLiteral("不可比照--") + QString::number(row);
    case Verdict::None: break;
    }
    return QString();
}

int VerdictPaletteIndex(Verdict v)
{
    switch (v) {
    case Verdict::Same: return 10;
    case Verdict::Different: return 12;
    case Verdict::NotComparable: return 7;
    case Verdict::None: break;
    }
    return 15;
}

unsigned PaletteRgb(int index)
{
    // The classic 16-colour palette in its index order: black, blue, green,
    // cyan, red, magenta, yellow, light grey, grey, then the light variants.
    static const unsigned palette[16] = {
        0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
        0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
    };
    return (index >= 0 && index < 16) ? palette[index] : palette[15];
}

} // namespace corvane
