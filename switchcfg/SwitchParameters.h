#pragma once
#include "ConfigTable.h"
#include "Recordset.h"
#include "StoreResult.h"
#include "TrunkTable.h"
#include "UserTable.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

namespace corvane {

class Database;

// A change of one trunk setting over a range of trunks: what was stored and
// the commands of each trunk, in the order the trunks were handled.
struct [[nodiscard]] TrunkBatch {
    Status status;
    QStringList trunks;          // trunk numbers, in order
    QList<QStringList> commands; // the star codes of each trunk
    QString cell;                // what the changed cells show now
    bool refill = false;         // other cells of the rows changed too

    explicit operator bool() const { return bool(status); }
    QStringList allCommands() const;
};

// The switch's own settings as the "参数设置" window edits them, without the
// window: the system settings of the configuration row, the night-service and
// agent operators, the special-service numbers and the twelve trunks. Every
// check returns the refusal in the operator's words; every store is written
// (in one transaction where it touches several rows) before its star codes
// are handed back, so the switch only hears of what the tables hold.
//
// Extensions are entered as user numbers and kept as physical ports
// (NumberToPort / PortToNumber, UserTable::portOf / numberOf).
class SwitchParameters {
public:
    static constexpr int Trunks = 12;
    // Time the switch needs after a command before the next one, in ms: a new
    // number length makes it renumber every extension.
    static int GapAfter(const QString &code);

    explicit SwitchParameters(Database &db);

    // ---- what the window shows ---------------------------------------------------
    // The configuration row; every setting empty when it cannot be read.
    ConfigRow config() const;
    QString setting(ConfigField field) const { return config().get(field); }
    QString nightNumber() const;
    QStringList agentNumbers() const;
    QStringList specialNumbers() const;
    // The trunks with their virtual operators as user numbers.
    TableRows trunks() const;

    static QStringList ChargeModes();
    static QStringList IncomingModes();
    static QStringList DialModes();
    static QStringList OutgoingModes();
    static QStringList CheckMarks();
    // The choice list of a trunk setting; empty for the number settings.
    static QStringList choicesOf(TrunkField field);
    static bool isNumberField(TrunkField field);

    // ---- system tab ----------------------------------------------------------------
    // Each store compares with the stored value first: an equal value changes
    // nothing and sends nothing.
    static QString TooLongCapacity() { return QStringLiteral("用户容量最多为3位数字!"); }
    static QString TooLongGrade() { return QStringLiteral("超额或清账后等级只能是1位数字!"); }
    Checked<QString> checkCapacity(const QString &text) const;
    StoreResult storeCapacity(const QString &value);
    // What the operator is told about a capacity that is no multiple of
    // eight (the switch rounds it up); empty for one that is.
    static QString CapacityNote(const QString &capacity);
    Checked<QString> checkGrade(const QString &text) const;
    StoreResult storeGrade(const QString &value);
    StoreResult storeCodeLength(const QString &value);
    // A new number length renumbers every user 8 x 10^(n-1) + port, with the
    // deposit rows of the renumbered users, in one transaction; refused when
    // two extensions would get the same number.
    Status checkNumberLength(const QString &value) const;
    StoreResult storeNumberLength(const QString &value);
    StoreResult storeFunctionDigit(const QString &value);
    StoreResult storeCodeLimit(bool on);
    StoreResult storeSignal(int index);

    Checked<QString> checkNightNumber(const QString &text) const;
    StoreResult storeNightNumber(const QString &number);

    // All five boxes are checked before anything is stored or sent: empty or
    // the number of a known extension. Gives the five ports.
    Checked<QStringList> checkAgents(const QStringList &numbers) const;
    StoreResult storeAgents(const QStringList &numbers);

    // A cancelled box comes as an empty text and is refused.
    Checked<QString> checkSpecialNumber(const QString &text) const;
    StoreResult addSpecialNumber(const QString &number);
    StoreResult deleteSpecialNumber(const QString &number);

    static QStringList ResetCommands() { return {QStringLiteral("*58*50#")}; }
    static QStringList InitialCommands() { return {QStringLiteral("*00*121#")}; }

    // The check boxes stored as "1"/"0": outward copy by port, to files,
    // nightly reset.
    StoreResult storeFlag(ConfigField field, bool on);
    StoreResult storeOutwardPort(const QString &number);
    // The chosen name as the folder of the outward files: created (an existing
    // folder is fine) and given with its trailing separator.
    static Checked<QString> PrepareOutputFolder(const QString &chosen);
    StoreResult storeOutputFolder(const QString &folder);

    // ---- trunk tab -------------------------------------------------------------------
    // The value of a batch change of a setting: numbers within their limits, a
    // virtual operator empty or a known extension, a choice from its list.
    Checked<QString> checkTrunkValue(TrunkField field, const QString &text) const;
    // First and last trunk of a batch, either way round, each 1 to 12.
    Checked<std::pair<int, int>> checkTrunkRange(const QString &first, const QString &last) const;
    // Applies one value to one setting of the trunks first..last (either
    // direction). Each trunk's row is found by its trunk number and each
    // trunk's commands are built from its own row. All rows are stored in one
    // transaction; the commands follow only when it is committed.
    //
    // A trunk's virtual operators are kept in the order the switch holds them:
    // the switch appends each one it is given, so the five columns are closed
    // up after a change, with no empty column before a used one.
    TrunkBatch ApplyTrunkSetting(TrunkField field, int first, int last, const QString &value);

private:
    struct Renumbering {
        QList<UserRow> users;
        QStringList numbers; // the new number of each user, in the same order
    };
    Checked<Renumbering> renumbering(const QString &value) const;
    StoreResult storeConfig(ConfigField field, const QString &value, QStringList commands);
    QStringList virtualCommands(const TrunkRow &row) const;

    Database &m_db;
    ConfigTable m_config;
    TrunkTable m_trunks;
    UserTable m_users;
};

} // namespace corvane
