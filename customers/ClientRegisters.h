#pragma once
#include "RegisterEditor.h"

namespace corvane {

class Database;

// The customer address book, whose phone numbers name an incoming caller,
// and the blacklist of barred caller numbers: their rules and their two
// register editors. No widgets; frmPHNClient shows them.
class ClientRules : public RegisterRules {
public:
    static constexpr int Fields = 20;
    static constexpr int NumberLength = 4;
    static constexpr int Fax = 4;
    static constexpr int FirstPhone = 10;

    // The client number, the fax and the ten phones hold numbers and are
    // stored trimmed, so that a caller's number finds them exactly.
    static bool isNumberField(int field) { return field == 0 || field == Fax || field >= FirstPhone; }

    Status checkKey(const QString &key) const override;
    Status checkField(int field, const QString &text) const override;
    QString stored(int field, const QString &text) const override;
};

class BlacklistRules : public RegisterRules {
public:
    static constexpr int Fields = 2;
    static constexpr int NumberLength = 15;

    Status checkKey(const QString &key) const override;
    Status checkField(int field, const QString &text) const override;
    QString stored(int field, const QString &text) const override;
};

class ClientRegisters {
public:
    explicit ClientRegisters(Database &db);

    ClientRules clientRules;
    BlacklistRules blacklistRules;
    RegisterEditor clients;   // Client, by 编号 (as text: "0001" before "12")
    RegisterEditor blacklist; // BlackLst, in table order
};

} // namespace corvane
