#pragma once
#include "GridEdit.h"
#include "Recordset.h"
#include "Status.h"
#include "StoreResult.h"

#include <QStringList>

namespace corvane {

class Database;

// The charging settings that the switch applies itself, as the "计费设置"
// window edits them: the five charging delays (Feesetting), the outside line
// number of each trunk and the working days and periods of each trunk
// (ExNO). Every check gives its refusal in the operator's words; every store
// is written before its star codes are handed back.
class FeeSettings {
public:
    static constexpr int Delays = 5;
    // Columns of ExNO.
    enum ExNOColumn {
        Trunk = 0,
        WorkdayOn = 1,
        FirstDay = 2,
        LastDay = 3,
        Period1Start = 4,
        Period1End = 5,
        Period2Start = 6,
        Period2End = 7,
        OutsideNumber = 8
    };
    static QString NoSetting() { return QStringLiteral("无需设置"); }

    FeeSettings(Database &db, QStringList marks);

    // ---- charging delays -------------------------------------------------------------
    Checked<QStringList> delays() const;
    // A delay is a whole number of seconds from 0 to 255.
    Checked<QString> checkDelay(int index, const QString &text) const;
    // An unchanged delay stores and sends nothing.
    StoreResult storeDelay(int index, const QString &text);

    // ---- outside line numbers (grid of trunk number and outside number) -----------------
    // The rows as shown (the row ids of a grid's rows come from the last fill).
    Checked<TableRows> outsideNumbers();
    qint64 outsideRowId(int index) const;
    CellRule outsideRule(const GridCell &cell) const;
    Checked<QString> checkOutsideNumber(const QString &text) const;
    StoreResult storeOutsideNumber(const GridCell &cell, const QString &value);
    // "清除所有中继连号": the switch forgets every outside number; the rows of
    // trunks 2 to 12 are blanked (a trunk marked "无需设置" keeps its mark).
    StoreResult clearOutsideNumbers();

    // ---- working days (ExNO columns 0 to 7) ---------------------------------------------
    Checked<TableRows> workdays();
    qint64 workdayRowId(int index) const;
    CellRule workdayRule(const GridCell &cell) const;
    Checked<QString> checkWorkday(const GridCell &cell, const QString &text) const;
    StoreResult storeWorkday(const GridCell &cell, const QString &value);

    // A period as stored: "HH:MM"; "830" and "8:30" give "08:30".
    static Checked<QString> NormalisePeriod(const QString &text);
    // The two commands of a trunk's working days and periods, from its row;
    // refused when a day or period of the row is not valid.
    static Checked<QStringList> WorkdayCommands(const QStringList &row);

private:
    StoreResult storeExNO(qint64 rowId, int column, const QString &value, QStringList commands);

    Database &m_db;
    QStringList m_marks;
    TableRows m_outside;
    TableRows m_workdays;
};

} // namespace corvane
