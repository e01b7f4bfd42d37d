#include "NamedWidgets.h"

#include "FlexGrid.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace corvane::NamedWidgets {

QString indexed(const char *name, int i) { return QString::fromLatin1(name) + QLatin1Char('_') + QString::number(i); }

QPushButton *button(QWidget *parent, const QString &caption, const QString &name)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    static const QRegularExpression accelerator(QStringLiteral("\\(&.\\)"));
    b->setAccessibleName(QString(caption).remove(accelerator).remove(QLatin1Char('&')).trimmed());
    b->setAutoDefault(false);
    return b;
}

FlexGrid *grid(QWidget *parent, const QString &name, const QString &accessible)
{
    auto *g = new FlexGrid(parent);
    g->setObjectName(name);
    g->setAccessibleName(accessible);
    return g;
}

QLineEdit *cellBox(QWidget *parent, const QString &name)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAccessibleName(QStringLiteral("单元格编辑"));
    e->hide();
    return e;
}

QLineEdit *labelledBox(QWidget *parent, const QString &name, QLabel *label)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAccessibleName(label->text());
    label->setBuddy(e);
    return e;
}

QLabel *buddyLabel(QWidget *parent, const QString &text, QWidget *buddy)
{
    auto *l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

} // namespace corvane::NamedWidgets
