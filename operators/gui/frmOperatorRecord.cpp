#include "frmOperatorRecord.h"
#include "ConsoleContext.h"
#include "FlexGrid.h"
#include "GridFilter.h"
#include "GridHelpers.h"
#include "OperatorAdmin.h"
#include "Recordset.h"
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvane {

frmOperatorRecord::frmOperatorRecord(ConsoleContext &ctx, QWidget *parent) : QDialog(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmOperatorRecord"));
    setWindowTitle(QStringLiteral("操作员使用记录"));

    hfgOperatorRecord = new FlexGrid(this);
    hfgOperatorRecord->setObjectName(QStringLiteral("hfgOperatorRecord"));
    hfgOperatorRecord->setAccessibleName(QStringLiteral("操作员使用记录"));
    hfgOperatorRecord->setFixedRows(1);
    hfgOperatorRecord->setFixedCols(0);
    lblNote = new QLabel(QStringLiteral("提示：为保证操作员记录的完整性，以上数据不可以修改或者删除。"), this);
    lblNote->setObjectName(QStringLiteral("lblNote"));
    cmdLeave = new QPushButton(QStringLiteral("离开(&L)"), this);
    cmdLeave->setObjectName(QStringLiteral("cmdLeave"));

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(lblNote, 1);
    bottom->addWidget(cmdLeave);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MakeGridFilter(this, hfgOperatorRecord, QStringLiteral("txtFilter")));
    layout->addWidget(hfgOperatorRecord, 1);
    layout->addLayout(bottom);
    connect(cmdLeave, &QPushButton::clicked, this, &frmOperatorRecord::cmdLeave_Click);

    resize(720, 480);
    Form_Load();
}

void frmOperatorRecord::Form_Load()
{
    SetColWidths(*hfgOperatorRecord, {800, 1600, 2200, 2200});
    // The grid never edits its cells itself, and this window places no editor.
    FillGrid(OperatorRecords(m_ctx), *hfgOperatorRecord, 0, 0, 0);
}

void frmOperatorRecord::cmdLeave_Click() { accept(); }

} // namespace corvane
