#pragma once
#include "Recordset.h"
#include "Status.h"
#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

class ConsoleContext;

// The rights management window's work on the OP table, which it holds open
// (rsOperator) while it is shown: the operators, the rights of the selected
// one, adding and deleting operators.
class OperatorAdmin {
public:
    explicit OperatorAdmin(ConsoleContext &ctx);

    Recordset &rsOperator() { return m_op; }

    // The operator names, in table order.
    QStringList names();

    // Makes the first row of that name current and returns whether there is
    // one. Without a row nothing is selected, and saving or deleting refuses.
    bool select(const QString &name);
    bool hasSelection() const { return !m_selected.isEmpty(); }
    QString selectedName() const { return m_selected; }
    // The eleven rights of the selected row: the number each column starts
    // with, non-zero meaning granted.
    QList<bool> selectedRights();

    // Writes the eleven rights into the selected row. For "管理员", who is the
    // operator at this window, the rights in force change at once (after the
    // write has succeeded); for anyone else at their next login.
    Status saveRights(const QList<bool> &rights);

    // Adding an operator, with the add window's checks in their order.
    struct AddOutcome {
        enum class Kind {
            Refused, // a box to fill: reason, and the box to put the focus in
            Exists,  // that name is taken: reason; its row is selected, nothing added
            Added,   // the new row is written and selected
            Failed,  // the write failed: reason; nothing is added
        };
        enum class Field { None, Name, Code };
        Kind kind = Kind::Refused;
        QString reason;
        Field focus = Field::None;
    };
    AddOutcome addOperator(const QString &name, const QString &code, const QString &confirm);

    // Deleting the selected operator: first the refusal ("管理员用户不可删除!"
    // or nothing selected), then the question, then the deletion itself.
    Status checkDelete() const;
    static QString deleteQuestion(const QString &name);
    Status deleteSelected();

    // The operator name as it is stored: what was typed without the spaces
    // around it, which nobody could see in the list or type at the login.
    static QString storedName(const QString &typed);

private:
    ConsoleContext &m_ctx;
    Recordset m_op;
    QString m_selected;
};

// The usage record, read-only: every OPRec row in the order of its serial
// as a number (serials grow past five digits, "100000" follows "99999").
TableRows OperatorRecords(ConsoleContext &ctx);

} // namespace corvane
