#pragma once
#include "Status.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace corvane {

class Database;

// The settings of the single configuration row (table SWTConfig), by name.
enum class ConfigField {
    Capacity,       // extensions in use, at most 120
    DemoteClass,    // class after a deposit overrun or settlement, 0 to 7
    PasswordLength, // digits of a random dialling password, "1" to "8"
    NumberLength,   // digits of an extension number, "3" to "6"
    FunctionDigit,  // first digit of function codes, "1" to "9"
    CodeLimit,      // "启用密码时限制市话", "1"/"0"
    Signal,         // tone of a waiting incoming caller, "0" music, "1" ring-back
    NightPort,      // night-service extension, as its physical port
    SwitchPort,     // number of the serial port of the switch
    Agent1,         // the five agent operators, as physical ports
    Agent2,
    Agent3,
    Agent4,
    Agent5,
    OutwardOn,    // "启用串口向外发送", "1"/"0"
    OutwardPort,  // number of the outward serial port
    FileOutputOn, // "启用文件向外发送", "1"/"0"
    FilePath,     // folder of the monthly call-record files, ending in a separator
    NightReset,   // "启用夜间自动复位", "1"/"0"
};
constexpr int ConfigFieldCount = int(ConfigField::NightReset) + 1;
constexpr int AgentCount = 5;

// Agent operator k (0 to 4).
constexpr ConfigField AgentField(int k) { return ConfigField(int(ConfigField::Agent1) + k); }

// The configuration row as stored: every setting as its text.
struct ConfigRow {
    QStringList values = QStringList(QList<QString>(ConfigFieldCount));

    QString get(ConfigField f) const { return values.value(int(f)); }
    void set(ConfigField f, const QString &v) { values[int(f)] = v; }

    // The numbers read leniently (the leading number of the text).
    int capacity() const;       // 0 to 120
    int passwordLength() const; // 1 to 8; 6 for anything else
    int numberLength() const;   // 3 to 6; 3 for anything else
    QString demoteClass() const { return get(ConfigField::DemoteClass).trimmed(); }
    QStringList agentPorts() const;
    bool flag(ConfigField f) const { return get(f).trimmed() == QLatin1String("1"); }
};

// The one place that reads and writes SWTConfig. The table holds one row; its
// first row (in table order) is the configuration.
class ConfigTable {
public:
    static const QString Name; // "SWTConfig"

    explicit ConfigTable(Database &db) : m_db(db) {}

    // The row; refused when the table cannot be read or holds no row.
    Checked<ConfigRow> read() const;
    // One setting; empty when the row cannot be read.
    QString value(ConfigField f) const;
    // Writes the given settings of the row, and only those, in one statement.
    Status write(const QList<QPair<ConfigField, QString>> &fields);
    Status write(ConfigField f, const QString &value) { return write({{f, value}}); }

    // The stored name of a setting's column (for grids and comparisons).
    static QString columnName(ConfigField f);
    // The column names in stored order.
    static QStringList columnNames();

private:
    Database &m_db;
};

} // namespace corvane
