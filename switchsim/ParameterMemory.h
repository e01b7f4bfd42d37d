#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <map>
#include <optional>
#include <utility>

// The switch's parameter memory: 50 blocks of 256 bytes, the content of the
// parameter dump. Star codes from the console change it; the byte positions
// are those the console decodes from the dump, so a setting sent as a star
// code comes back in the dump where the console looks for it.
//
// Byte map (p = physical port 0..119, i = trunk or IP entry - 1, 0..11;
// numbers are dial nibbles, 0 written as A, right-aligned with 0 nibbles):
//   block 0   system parameters (SystemByte below)
//   block 1   local-network prefixes, slot i: (48 + i, i), four nibbles     *20*
//   block 2   special-service numbers, slot i: (156+i, 104+i, 52+i, i)      *19*
//   block 4   trunks 1..12: route i, outgoing 12+i, dialling 24+i, charging
//             36+i, incoming 48+i, indirect direction 60+i, group 84+i, on
//             96+i, caller display 120+i; virtual operator k = 1..5: port
//             132 + 24(k-1) + i, flag 144 + 24(k-1) + i
//   block 5/6 extension numbers (block 6 byte p, block 5 byte 120+p, block 5
//             byte p), six nibbles; block 6 byte 120+p outgoing time limit
//   block 7   caller display p; block 8 the "*15*" setting p
//   block 10  trunk calls in p, internal calls 120+p
//   block 11/12 dialling passwords: (11:p, 11:120+p, 12:p, 12:120+p), eight nibbles *67*
//   block 13  outside line numbers of trunks: (i, 12+i, 24+i, 36+i), eight nibbles *77*
//   block 14  working days of trunks: on i, first day 12+i, last day 24+i;
//             periods as BCD hour, minute: first 36+i 48+i to 60+i 72+i,
//             second 84+i 96+i to 108+i 120+i                              *86* *85*
//   block 15  IP cards 1..12: on i, language 12+i, pause codes 24+i 36+i
//             48+i 60+i, access code (72+i, 84+i, 96+i), password (108+i,
//             120+i, 132+i), card number (144 + 12k + i, k = 0..6)         *81* *82*
//   block 16  IP dialling without a card: on 0, number bytes 1..8 (sixteen
//             nibbles), interval code 9                                    *83* *84*
//   block 27  class p (low nibble); block 31 local right p (low nibble);
//   block 35  special-service right p; block 49 trunk group p
namespace corvane::sim {

class ParameterMemory {
public:
    static constexpr int BlockCount = 50;
    static constexpr int BlockSize = 256;
    static constexpr int MaxPorts = 120;
    static constexpr int DumpTrunks = 12; // trunks held in block 4
    static constexpr int LocalPrefixSlots = 48;
    static constexpr int SpecialNumberSlots = 52;
    static constexpr quint8 Block0Marker = 0x67; // data byte 4 of block 0

    // Fixed positions (block, byte) of the system parameters in block 0.
    enum SystemByte {
        DiscountStartHour = 0,
        DiscountStartMinute = 1,
        DiscountEndHour = 2,
        DiscountEndMinute = 3,
        Marker = 4,
        CapacityEighths = 6,
        NumberLength = 7,
        ChargeMethod = 8,
        WaitingTone = 21,
        FunctionDigit = 22,
        CityDelay = 25,
        LocalDelay = 26,
        DomesticDelay = 28,
        InternationalDelay = 29,
        MobileDelay = 31,
        DateYear = 32,
        DateMonth = 33,
        DateDay = 34,
        DateWeekday = 35,
        TimeHour = 36,
        TimeMinute = 37,
        NightExtension = 53,
        SpecialCount = 65,
        PasswordLimitsCity = 77,
        AgentFlagBase = 78, // flag of agent k (1..5) at 76 + 2k, port at 77 + 2k
        AccountCountLow = 95,
        AccountCountHigh = 96
    };

    // Where the dump keeps each extension and trunk setting.
    enum Blocks {
        LocalPrefixBlock = 1,
        SpecialNumberBlock = 2,
        TrunkBlock = 4,
        NumberLowBlock = 5,
        NumberHighBlock = 6,
        CallerDisplayBlock = 7,
        FlagBlock = 8,
        RightsBlock = 10,
        PasswordHighBlock = 11,
        PasswordLowBlock = 12,
        OutsideNumberBlock = 13,
        WorkdayBlock = 14,
        IPCardBlock = 15,
        IPNoCardBlock = 16,
        ClassBlock = 27,
        LocalRightBlock = 31,
        SpecialRightBlock = 35,
        TrunkGroupBlock = 49
    };
    static constexpr int IPCards = 12;

    ParameterMemory() { reset(); }

    // Factory state: 120 extensions numbered 800..919 on ports 0..119, number
    // length 3, every extension of class 1 with every right, all trunks on.
    void reset();

    quint8 byte(int block, int offset) const;
    void setByte(int block, int offset, quint8 value);
    QByteArray block(int number) const;

    // The switch's own clock as the dump reports it.
    void setClock(const QDateTime &now);

    int capacity() const;
    QString extensionNumber(int port) const;
    void setExtensionNumber(int port, const QString &number);
    // Port of an extension number among the ports below the capacity.
    std::optional<int> portOfNumber(const QString &number) const;
    QStringList localPrefixes() const;
    QStringList specialNumbers() const;
    // Dialling password of a port ("" when none), outside line number of a trunk (1..12).
    QString dialPassword(int port) const;
    QString outsideNumber(int trunk) const;

    // Account codes 1..511, kept beside the 50 blocks (the dump carries none
    // of them): "*68*class*group*0*n#" sets class and trunk group, "*74*1*1*n#"
    // opens the account, "*67*n*password#" with n written with leading zeros
    // (or above the last port) sets its password.
    static constexpr int MaxAccount = 511;
    struct AccountCode {
        int cls = -1;
        int trunkGroup = -1;
        QString password;
        bool opened = false;
    };
    std::optional<AccountCode> account(int n) const;

    // Wake-up calls, kept beside the 50 blocks (the dump carries none):
    // "*34*number*HHMM#" sets the extension's, "*34*number*0#" clears it.
    // The time an extension's alarm rings ("" when none).
    QString alarm(const QString &number) const;

    struct Outcome {
        bool applied = false;
        QString note; // what changed, or why nothing did
    };
    // Applies a star code given as digit text ("*10*3*201#").
    Outcome apply(const QString &code);

private:
    Outcome applyAlarm(const QStringList &f);
    Outcome applyExtension(int block, int offset, const QStringList &f, const char *what, bool lowNibble = false);
    Outcome applyTrunk(int offset, int value, int trunk, const char *what);
    bool addEntry(int block, int slotCount, const QList<int> &byteOrder, int nibbles, const QString &number);
    bool removeEntry(int block, int slotCount, const QList<int> &byteOrder, int nibbles, const QString &number);
    Outcome applyPassword(const QStringList &f);
    Outcome applyAccount(const QStringList &f);
    Outcome applyOutsideNumber(const QStringList &f);
    Outcome applyWorkdays(const QStringList &f);
    Outcome applyPeriods(const QStringList &f);
    Outcome applyIPCard(const QStringList &f);
    Outcome applyIPPauses(const QStringList &f);
    Outcome applyIPNoCard(const QStringList &f);
    Outcome applyIPInterval(const QStringList &f);
    QString readNumber(const QList<std::pair<int, int>> &bytes) const;
    void writeNumber(const QList<std::pair<int, int>> &bytes, const QString &digits);
    QStringList entries(int block, int slotCount, const QList<int> &byteOrder) const;
    void writeEntry(int block, int slot, const QList<int> &byteOrder, int nibbles, const QString &number);

    std::array<std::array<quint8, BlockSize>, BlockCount> m_mem{};
    std::map<int, AccountCode> m_accounts;
    std::map<QString, QString> m_alarms;
};

} // namespace corvane::sim
