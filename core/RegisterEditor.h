#pragma once
#include "MessageService.h"
#include "Recordset.h"
#include "Status.h"
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane {

class Database;

// What differs between two registers edited the same way (clients,
// blacklist, operators): the rule for the key in field 0, the check of a
// field as the operator leaves its box, and the form a field is stored in.
class RegisterRules {
public:
    virtual ~RegisterRules() = default;
    // The key as typed (trimmed); refused with the reason shown under "请重新输入".
    virtual Status checkKey(const QString &key) const = 0;
    // One field, as its box is left and again on saving; refused with the
    // reason shown under "输入错误".
    virtual Status checkField(int field, const QString &text) const = 0;
    // A field as it is stored.
    virtual QString stored(int /*field*/, const QString &text) const { return text; }
};

// What the window does after a step of the register editor: nothing more
// (success), or show the reason with this title and icon and put the focus
// in a field, with its text selected or not. A store failure goes to the
// window's store-failure notice instead of a plain box.
struct [[nodiscard]] RegisterStep {
    Status status;
    QString title;
    MessageService::Icon icon = MessageService::Icon::None;
    int focus = -1;
    bool selectText = false;
    bool storeFailure = false;

    explicit operator bool() const { return bool(status); }
    static RegisterStep ok(int focusField = -1, bool select = false)
    {
        RegisterStep s;
        s.focus = focusField;
        s.selectText = select;
        return s;
    }
};

// A small register browsed in a grid and edited in a row of boxes, one box
// per column: browsing (boxes read-only, "添加" and "删除" usable), adding or
// amending (boxes open, the amend button reads "保存"); a save that is taken
// returns to browsing, a refused one stays in editing. The editor holds the
// register's rows as the grid shows them and writes each change to the
// record that was selected, by its row id.
class RegisterEditor {
public:
    enum class Mode { Browsing, Adding, Amending };

    // `what` names the register in store failures ("客户信息未能保存：…").
    RegisterEditor(Database &db, const QString &table, const QString &orderBy, int fieldCount,
                   const RegisterRules &rules, QString what);

    Status reload();
    const TableRows &rows() const { return m_rows; }
    int fieldCount() const { return m_fieldCount; }

    Mode mode() const { return m_mode; }
    bool editing() const { return m_mode != Mode::Browsing; }
    bool inserting() const { return m_mode == Mode::Adding; }
    // Escape while adding or amending: nothing is written, browsing again.
    void cancel() { m_mode = Mode::Browsing; }
    // Index into rows() of the selected row, -1 when none.
    int selected() const { return m_selected; }

    // A click on row `index`: the values the boxes show now; nothing (and the
    // selection unchanged) when that row has no key.
    std::optional<QStringList> select(int index);
    // Starts a new row: the boxes open empty, the focus in field 0.
    RegisterStep add();
    // Starts amending the selected row; `key` is what box 0 shows.
    RegisterStep amend(const QString &key);
    // Saves the boxes' texts: the key rule, every field's check, the key
    // unique among the other rows, then the write.
    RegisterStep save(const QStringList &texts);
    // The row remove() would delete for what box 0 shows: index into rows(),
    // -1 when none.
    int rowToRemove(const QString &key) const;
    // Deletes the row whose key box 0 shows.
    RegisterStep remove(const QString &key);

    Status checkField(int field, const QString &text) const { return m_rules.checkField(field, text); }

    static QString nothingToAmend() { return QStringLiteral("请在数据网格中选择好您要修改的项！"); }
    static QString nothingToDelete() { return QStringLiteral("请在数据网格中选择好您要删除的项！"); }
    static QString duplicateKey() { return QStringLiteral("输入的编号已经存在！"); }

private:
    static RegisterStep refusal(const QString &text, const QString &title, MessageService::Icon icon, int focus = -1,
                                bool select = false);
    RegisterStep storeFailed(const Status &s, const QString &doing);
    int rowOfKey(const QString &key, int except) const;

    Database &m_db;
    QString m_table;
    QString m_orderBy;
    const RegisterRules &m_rules;
    QString m_what;
    int m_fieldCount;
    TableRows m_rows;
    Mode m_mode = Mode::Browsing;
    int m_selected = -1;
};

} // namespace corvane
