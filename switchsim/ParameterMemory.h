#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// The switch's parameter memory: 50 blocks of 256 bytes, the content of the
// parameter dump. Star codes from the console change it; the byte positions
// are those the console decodes from the dump, so a setting sent as a star
// code comes back in the dump where the console looks for it.
namespace corvane::sim {

class ParameterMemory {
public:
    static constexpr int BlockCount = 50;
    static constexpr int BlockSize = 256;
    static constexpr int MaxPorts = 120;
    static constexpr int DumpTrunks = 12;     // trunks held in block 4
    static constexpr int LocalPrefixSlots = 48;
    static constexpr int SpecialNumberSlots = 52;
    static constexpr quint8 Block0Marker = 0x67; // data byte 4 of block 0

    // Fixed positions (block, byte) of the system parameters in block 0.
    enum SystemByte {
        DiscountStartHour = 0, DiscountStartMinute = 1, DiscountEndHour = 2, DiscountEndMinute = 3,
        Marker = 4, CapacityEighths = 6, NumberLength = 7, ChargeMethod = 8,
        WaitingTone = 21, FunctionDigit = 22,
        CityDelay = 25, LocalDelay = 26, DomesticDelay = 28, InternationalDelay = 29, MobileDelay = 31,
        DateYear = 32, DateMonth = 33, DateDay = 34, DateWeekday = 35, TimeHour = 36, TimeMinute = 37,
        NightExtension = 53, SpecialCount = 65, PasswordLimitsCity = 77,
        AgentFlagBase = 78,   // flag of agent k (1..5) at 76 + 2k, port at 77 + 2k
        AccountCountLow = 95, AccountCountHigh = 96
    };

    // Where the dump keeps each extension and trunk setting.
    enum Blocks {
        LocalPrefixBlock = 1, SpecialNumberBlock = 2, TrunkBlock = 4,
        NumberLowBlock = 5, NumberHighBlock = 6, CallerDisplayBlock = 7, FlagBlock = 8,
        RightsBlock = 10, ClassBlock = 27, LocalRightBlock = 31, SpecialRightBlock = 35,
        TrunkGroupBlock = 49
    };

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

    struct Outcome {
        bool applied = false;
        QString note;   // what changed, or why nothing did
    };
    // Applies a star code given as digit text ("*10*3*201#").
    Outcome apply(const QString &code);

private:
    Outcome applyExtension(int block, int offset, const QStringList &f, const char *what, bool lowNibble = false);
    Outcome applyTrunk(int offset, int value, int trunk, const char *what);
    bool addEntry(int block, int slotCount, const QList<int> &byteOrder, int nibbles, const QString &number);
    bool removeEntry(int block, int slotCount, const QList<int> &byteOrder, int nibbles, const QString &number);
    QStringList entries(int block, int slotCount, const QList<int> &byteOrder) const;
    void writeEntry(int block, int slot, const QList<int> &byteOrder, int nibbles, const QString &number);

    std::array<std::array<quint8, BlockSize>, BlockCount> m_mem{};
};

} // namespace corvane::sim
