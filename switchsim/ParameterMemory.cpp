#include "ParameterMemory.h"
#include "Frames.h"

namespace corvane::sim {

namespace {
const QList<int> PrefixLayout{48, 0}; // high digits first
const QList<int> SpecialLayout{156, 104, 52, 0};

std::optional<int> number(const QString &text)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < 0)
        return std::nullopt;
    return v;
}

bool digits(const QString &text, int maxLength)
{
    if (text.isEmpty() || text.size() > maxLength)
        return false;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

QList<std::pair<int, int>> passwordBytes(int port)
{
    return {{ParameterMemory::PasswordHighBlock, port},
            {ParameterMemory::PasswordHighBlock, 120 + port},
            {ParameterMemory::PasswordLowBlock, port},
            {ParameterMemory::PasswordLowBlock, 120 + port}};
}

QList<std::pair<int, int>> outsideNumberBytes(int i)
{
    const int b = ParameterMemory::OutsideNumberBlock;
    return {{b, i}, {b, 12 + i}, {b, 24 + i}, {b, 36 + i}};
}

QList<std::pair<int, int>> spread(int block, int first, int count, int i)
{
    QList<std::pair<int, int>> out;
    for (int k = 0; k < count; ++k)
        out.append({block, first + 12 * k + i});
    return out;
}

ParameterMemory::Outcome done(const QString &note) { return {true, note}; }
ParameterMemory::Outcome refused(const QString &note) { return {false, note}; }
} // namespace

void ParameterMemory::reset()
{
    m_accounts.clear();
    m_alarms.clear();
    for (auto &b : m_mem)
        b.fill(0);
    auto &s = m_mem[0];
    s[DiscountStartHour] = 21;
    s[DiscountEndHour] = 7;
    s[Marker] = Block0Marker;
    s[CapacityEighths] = MaxPorts / 8;
    s[NumberLength] = 3;
    s[ChargeMethod] = 0x01;
    s[9] = 20;  // city rate, first three minutes
    s[10] = 10; // city rate, each further minute
    s[WaitingTone] = 1;
    s[FunctionDigit] = 1;
    for (int d : {CityDelay, LocalDelay, DomesticDelay, InternationalDelay, MobileDelay})
        s[d] = 10;
    for (int i = 40; i <= 45; ++i)
        s[i] = 50;
    s[74] = 1; // city calls charged
    s[75] = 1; // local-network calls allowed

    for (int p = 0; p < MaxPorts; ++p) {
        setExtensionNumber(p, QString::number(800 + p));
        m_mem[CallerDisplayBlock][p] = 1;
        m_mem[RightsBlock][p] = 1;       // may receive trunk calls
        m_mem[RightsBlock][120 + p] = 1; // may call other extensions
        m_mem[ClassBlock][p] = 1;
        m_mem[LocalRightBlock][p] = 1;
        m_mem[SpecialRightBlock][p] = 1;
    }
    for (int t = 0; t < DumpTrunks; ++t) {
        m_mem[TrunkBlock][96 + t] = 1;  // trunk on
        m_mem[TrunkBlock][120 + t] = 1; // caller display on
    }
}

quint8 ParameterMemory::byte(int block, int offset) const
{
    if (block < 0 || block >= BlockCount || offset < 0 || offset >= BlockSize)
        return 0;
    return m_mem[block][offset];
}

void ParameterMemory::setByte(int block, int offset, quint8 value)
{
    if (block < 0 || block >= BlockCount || offset < 0 || offset >= BlockSize)
        return;
    m_mem[block][offset] = value;
}

QByteArray ParameterMemory::block(int number) const
{
    if (number < 0 || number >= BlockCount)
        return QByteArray(BlockSize, '\0');
    return QByteArray(reinterpret_cast<const char *>(m_mem[number].data()), BlockSize);
}

void ParameterMemory::setClock(const QDateTime &now)
{
    auto &s = m_mem[0];
    s[DateYear] = Frames::bcd(now.date().year() % 100);
    s[DateMonth] = Frames::bcd(now.date().month());
    s[DateDay] = Frames::bcd(now.date().day());
    s[DateWeekday] = quint8(now.date().dayOfWeek());
    s[TimeHour] = Frames::bcd(now.time().hour());
    s[TimeMinute] = Frames::bcd(now.time().minute());
}

int ParameterMemory::capacity() const { return qMin(int(m_mem[0][CapacityEighths]) * 8, MaxPorts); }

QString ParameterMemory::extensionNumber(int port) const
{
    if (port < 0 || port >= MaxPorts)
        return {};
    QByteArray b;
    b.append(char(m_mem[NumberHighBlock][port]));
    b.append(char(m_mem[NumberLowBlock][120 + port]));
    b.append(char(m_mem[NumberLowBlock][port]));
    return Frames::unpackDigits(b);
}

void ParameterMemory::setExtensionNumber(int port, const QString &number)
{
    if (port < 0 || port >= MaxPorts)
        return;
    const QByteArray b = Frames::packDigitsRight(number, 6);
    m_mem[NumberHighBlock][port] = quint8(b.at(0));
    m_mem[NumberLowBlock][120 + port] = quint8(b.at(1));
    m_mem[NumberLowBlock][port] = quint8(b.at(2));
}

std::optional<int> ParameterMemory::portOfNumber(const QString &number) const
{
    if (number.isEmpty())
        return std::nullopt;
    for (int p = 0; p < capacity(); ++p)
        if (extensionNumber(p) == number)
            return p;
    return std::nullopt;
}

QStringList ParameterMemory::entries(int block, int slotCount, const QList<int> &layout) const
{
    QStringList out;
    for (int i = 0; i < slotCount; ++i) {
        QByteArray b;
        for (int base : layout)
            b.append(char(m_mem[block][base + i]));
        const QString n = Frames::unpackDigits(b);
        if (!n.isEmpty())
            out.append(n);
    }
    return out;
}

QStringList ParameterMemory::localPrefixes() const { return entries(LocalPrefixBlock, LocalPrefixSlots, PrefixLayout); }
QStringList ParameterMemory::specialNumbers() const
{
    return entries(SpecialNumberBlock, SpecialNumberSlots, SpecialLayout);
}

void ParameterMemory::writeEntry(int block, int slot, const QList<int> &layout, int nibbles, const QString &number)
{
    const QByteArray b = Frames::packDigitsRight(number, nibbles);
    for (int k = 0; k < layout.size(); ++k)
        m_mem[block][layout[k] + slot] = quint8(b.at(k));
}

bool ParameterMemory::addEntry(int block, int slotCount, const QList<int> &layout, int nibbles, const QString &number)
{
    if (number.size() > nibbles)
        return false;
    // Appended to the first free slot, also when the number is listed
    // already: the switch keeps what it is told, twice if told twice.
    int freeSlot = -1;
    for (int i = 0; i < slotCount && freeSlot < 0; ++i) {
        QByteArray b;
        for (int base : layout)
            b.append(char(m_mem[block][base + i]));
        if (Frames::unpackDigits(b).isEmpty())
            freeSlot = i;
    }
    if (freeSlot < 0)
        return false;
    writeEntry(block, freeSlot, layout, nibbles, number);
    return true;
}

bool ParameterMemory::removeEntry(int block, int slotCount, const QList<int> &layout, int nibbles,
                                  const QString &number)
{
    bool found = false;
    for (int i = 0; i < slotCount; ++i) {
        QByteArray b;
        for (int base : layout)
            b.append(char(m_mem[block][base + i]));
        if (Frames::unpackDigits(b) == number) {
            writeEntry(block, i, layout, nibbles, QString());
            found = true;
        }
    }
    return found;
}

QString ParameterMemory::readNumber(const QList<std::pair<int, int>> &bytes) const
{
    QByteArray b;
    for (const auto &[block, offset] : bytes)
        b.append(char(byte(block, offset)));
    return Frames::unpackDigits(b);
}

void ParameterMemory::writeNumber(const QList<std::pair<int, int>> &bytes, const QString &number)
{
    const QByteArray b = Frames::packDigitsRight(number, 2 * int(bytes.size()));
    for (int k = 0; k < bytes.size(); ++k)
        setByte(bytes[k].first, bytes[k].second, quint8(b.at(k)));
}

QString ParameterMemory::dialPassword(int port) const
{
    if (port < 0 || port >= MaxPorts)
        return {};
    return readNumber(passwordBytes(port));
}

QString ParameterMemory::outsideNumber(int trunk) const
{
    if (trunk < 1 || trunk > DumpTrunks)
        return {};
    return readNumber(outsideNumberBytes(trunk - 1));
}

std::optional<ParameterMemory::AccountCode> ParameterMemory::account(int n) const
{
    const auto it = m_accounts.find(n);
    if (it == m_accounts.end())
        return std::nullopt;
    return it->second;
}

ParameterMemory::Outcome ParameterMemory::applyAccount(const QStringList &f)
{
    // *68*class*group*0*account#  or  *74*1*1*account#
    const bool classCode = f.value(0) == QLatin1String("68");
    const auto n = number(f.value(classCode ? 4 : 3));
    if (!n || *n < 1 || *n > MaxAccount)
        return refused(QStringLiteral("account: no account %1").arg(f.value(classCode ? 4 : 3)));
    if (classCode) {
        const auto cls = number(f.value(1));
        const auto group = number(f.value(2));
        if (f.size() != 5 || f[3] != QLatin1String("0") || !cls || *cls > 8 || !group || *group > 12)
            return refused(QStringLiteral("account class: expected class, trunk group, 0 and account"));
        AccountCode &a = m_accounts[*n];
        a.cls = *cls;
        a.trunkGroup = *group;
        return done(QStringLiteral("account %1: class %2, trunk group %3").arg(*n).arg(*cls).arg(*group));
    }
    if (f.size() != 4 || f[1] != QLatin1String("1") || f[2] != QLatin1String("1"))
        return refused(QStringLiteral("account: unknown form of *74*"));
    m_accounts[*n].opened = true;
    return done(QStringLiteral("account %1 opened").arg(*n));
}

QString ParameterMemory::alarm(const QString &number) const
{
    const auto it = m_alarms.find(number);
    return it == m_alarms.end() ? QString() : it->second;
}

ParameterMemory::Outcome ParameterMemory::applyAlarm(const QStringList &f)
{
    // *34*number*HHMM# or *34*number*0#
    if (f.size() != 3 || !portOfNumber(f[1]))
        return refused(QStringLiteral("alarm: no extension %1").arg(f.value(1)));
    if (f[2] == QLatin1String("0")) {
        m_alarms.erase(f[1]);
        return done(QStringLiteral("alarm of extension %1 cleared").arg(f[1]));
    }
    if (!digits(f[2], 4) || f[2].size() != 4 || f[2].left(2).toInt() > 23 || f[2].mid(2).toInt() > 59)
        return refused(QStringLiteral("alarm: %1 is no time").arg(f[2]));
    m_alarms[f[1]] = f[2];
    return done(QStringLiteral("alarm of extension %1 at %2").arg(f[1], f[2]));
}

ParameterMemory::Outcome ParameterMemory::applyPassword(const QStringList &f)
{
    // *67*port*password#; password 0 means none. An account's number comes
    // with its leading zeros ("*67*007*…#"), or lies above the last port.
    const auto port = number(f.value(1));
    if (f.size() == 3 && port && digits(f[2], 8) && *port >= 1 && *port <= MaxAccount
        && (f[1].startsWith(QLatin1Char('0')) || *port >= MaxPorts)) {
        m_accounts[*port].password = f[2] == QLatin1String("0") ? QString() : f[2];
        return done(QStringLiteral("password of account %1 set").arg(*port));
    }
    if (f.size() != 3 || !port || *port >= MaxPorts || !digits(f[2], 8))
        return refused(QStringLiteral("dialling password: expected port and up to 8 digits"));
    const QString password = f[2] == QLatin1String("0") ? QString() : f[2];
    writeNumber(passwordBytes(*port), password);
    return done(password.isEmpty() ? QStringLiteral("dialling password of port %1 cleared").arg(*port)
                                   : QStringLiteral("dialling password of port %1 set").arg(*port));
}

ParameterMemory::Outcome ParameterMemory::applyOutsideNumber(const QStringList &f)
{
    // *77*0# clears every trunk's outside number, *77*trunk*number# sets one.
    if (f.size() == 2 && f[1] == QLatin1String("0")) {
        for (int i = 0; i < DumpTrunks; ++i)
            writeNumber(outsideNumberBytes(i), QString());
        return done(QStringLiteral("outside line numbers cleared"));
    }
    const auto trunk = number(f.value(1));
    if (f.size() != 3 || !trunk || *trunk < 1 || *trunk > DumpTrunks || !digits(f[2], 8))
        return refused(QStringLiteral("outside line number: expected trunk and up to 8 digits"));
    writeNumber(outsideNumberBytes(*trunk - 1), f[2]);
    return done(QStringLiteral("outside line number of trunk %1 = %2").arg(*trunk).arg(f[2]));
}

ParameterMemory::Outcome ParameterMemory::applyWorkdays(const QStringList &f)
{
    // *86*0*trunk# lifts the working-day limits, *86*first*last*trunk# sets them.
    auto &w = m_mem[WorkdayBlock];
    if (f.size() == 3 && f[1] == QLatin1String("0")) {
        const auto trunk = number(f[2]);
        if (!trunk || *trunk < 1 || *trunk > DumpTrunks)
            return refused(QStringLiteral("working days: no trunk %1").arg(f[2]));
        w[*trunk - 1] = 0;
        return done(QStringLiteral("working days of trunk %1 off").arg(*trunk));
    }
    const auto first = number(f.value(1)), last = number(f.value(2)), trunk = number(f.value(3));
    if (f.size() != 4 || !first || !last || !trunk || *first < 1 || *first > 7 || *last < 1 || *last > 7 || *trunk < 1
        || *trunk > DumpTrunks)
        return refused(QStringLiteral("working days: expected days 1 to 7 and a trunk"));
    const int i = *trunk - 1;
    w[i] = 1;
    w[12 + i] = quint8(*first);
    w[24 + i] = quint8(*last);
    return done(QStringLiteral("working days of trunk %1 = %2 to %3").arg(*trunk).arg(*first).arg(*last));
}

ParameterMemory::Outcome ParameterMemory::applyPeriods(const QStringList &f)
{
    // *85*HHMMHHMM*HHMMHHMM*trunk#: the two daily periods of a trunk.
    const auto trunk = number(f.value(3));
    if (f.size() != 4 || !digits(f[1], 8) || f[1].size() != 8 || !digits(f[2], 8) || f[2].size() != 8 || !trunk
        || *trunk < 1 || *trunk > DumpTrunks)
        return refused(QStringLiteral("working periods: expected two HHMMHHMM and a trunk"));
    const QString times = f[1] + f[2];
    QList<int> values;
    for (int k = 0; k < 8; ++k)
        values.append(times.mid(2 * k, 2).toInt());
    for (int k = 0; k < 8; k += 2)
        if (values[k] > 23 || values[k + 1] > 59)
            return refused(QStringLiteral("working periods: %1 is no time").arg(times.mid(2 * k, 4)));
    const int i = *trunk - 1;
    for (int k = 0; k < 8; ++k)
        m_mem[WorkdayBlock][36 + 12 * k + i] = Frames::bcd(values[k]);
    return done(QStringLiteral("working periods of trunk %1 = %2-%3, %4-%5")
                    .arg(*trunk)
                    .arg(f[1].left(4), f[1].mid(4), f[2].left(4), f[2].mid(4)));
}

ParameterMemory::Outcome ParameterMemory::applyIPCard(const QStringList &f)
{
    // *81*0*entry# switches a card off; *81*code*language*card*password*entry# sets it.
    auto &c = m_mem[IPCardBlock];
    if (f.size() == 3 && f[1] == QLatin1String("0")) {
        const auto entry = number(f[2]);
        if (!entry || *entry < 1 || *entry > IPCards)
            return refused(QStringLiteral("IP card: no entry %1").arg(f[2]));
        c[*entry - 1] = 0;
        return done(QStringLiteral("IP card %1 off").arg(*entry));
    }
    const auto language = number(f.value(2)), entry = number(f.value(5));
    if (f.size() != 6 || !digits(f[1], 6) || !language || *language < 1 || *language > 2 || !digits(f[3], 14)
        || !digits(f[4], 6) || !entry || *entry < 1 || *entry > IPCards)
        return refused(QStringLiteral("IP card: expected access code, language 1 or 2, card, password, entry"));
    const int i = *entry - 1;
    c[i] = 1;
    c[12 + i] = quint8(*language);
    writeNumber(spread(IPCardBlock, 72, 3, i), f[1]);
    writeNumber(spread(IPCardBlock, 108, 3, i), f[4]);
    writeNumber(spread(IPCardBlock, 144, 7, i), f[3]);
    return done(QStringLiteral("IP card %1 on, access code %2").arg(*entry).arg(f[1]));
}

ParameterMemory::Outcome ParameterMemory::applyIPPauses(const QStringList &f)
{
    // *82*pause1*pause2*pause3*pause4*entry#, pauses in tens of milliseconds.
    const auto entry = number(f.value(5));
    if (f.size() != 6 || !entry || *entry < 1 || *entry > IPCards)
        return refused(QStringLiteral("IP card pauses: expected four pauses and an entry"));
    QList<int> pauses;
    for (int k = 1; k <= 4; ++k) {
        const auto v = number(f[k]);
        if (!v || *v > 255)
            return refused(QStringLiteral("IP card pauses: bad pause %1").arg(f[k]));
        pauses.append(*v);
    }
    for (int k = 0; k < 4; ++k)
        m_mem[IPCardBlock][24 + 12 * k + (*entry - 1)] = quint8(pauses[k]);
    return done(QStringLiteral("IP card %1 pauses set").arg(*entry));
}

ParameterMemory::Outcome ParameterMemory::applyIPNoCard(const QStringList &f)
{
    // *83*0# switches IP dialling without a card off, *83*number# sets the number.
    if (f.size() != 2 || !digits(f[1], 16))
        return refused(QStringLiteral("IP without card: expected a number"));
    QList<std::pair<int, int>> bytes;
    for (int k = 1; k <= 8; ++k)
        bytes.append({IPNoCardBlock, k});
    if (f[1] == QLatin1String("0")) {
        m_mem[IPNoCardBlock][0] = 0;
        writeNumber(bytes, QString());
        return done(QStringLiteral("IP without card off"));
    }
    m_mem[IPNoCardBlock][0] = 1;
    writeNumber(bytes, f[1]);
    return done(QStringLiteral("IP without card on, number %1").arg(f[1]));
}

ParameterMemory::Outcome ParameterMemory::applyIPInterval(const QStringList &f)
{
    // *84*interval#, in tens of milliseconds.
    const auto v = number(f.value(1));
    if (f.size() != 2 || !v || *v > 255)
        return refused(QStringLiteral("IP interval: bad value"));
    m_mem[IPNoCardBlock][9] = quint8(*v);
    return done(QStringLiteral("IP interval = %1").arg(*v));
}

ParameterMemory::Outcome ParameterMemory::applyExtension(int block, int offset, const QStringList &f, const char *what,
                                                         bool lowNibble)
{
    // *NN*value*extension#
    if (f.size() != 3)
        return refused(QStringLiteral("%1: expected value and extension").arg(QLatin1String(what)));
    const auto value = number(f[1]);
    const auto port = portOfNumber(f[2]);
    if (!value || *value > 255)
        return refused(QStringLiteral("%1: bad value %2").arg(QLatin1String(what), f[1]));
    if (!port)
        return refused(QStringLiteral("%1: no extension %2").arg(QLatin1String(what), f[2]));
    quint8 &b = m_mem[block][offset + *port];
    b = lowNibble ? quint8((b & 0xF0) | (*value & 0x0F)) : quint8(*value);
    return done(
        QStringLiteral("%1 of extension %2 (port %3) = %4").arg(QLatin1String(what), f[2]).arg(*port).arg(*value));
}

ParameterMemory::Outcome ParameterMemory::applyTrunk(int offset, int value, int trunk, const char *what)
{
    if (trunk < 1 || trunk > DumpTrunks)
        return refused(QStringLiteral("%1: no trunk %2").arg(QLatin1String(what)).arg(trunk));
    if (value < 0 || value > 255)
        return refused(QStringLiteral("%1: bad value %2").arg(QLatin1String(what)).arg(value));
    m_mem[TrunkBlock][offset + trunk - 1] = quint8(value);
    return done(QStringLiteral("%1 of trunk %2 = %3").arg(QLatin1String(what)).arg(trunk).arg(value));
}

ParameterMemory::Outcome ParameterMemory::apply(const QString &code)
{
    if (!code.startsWith(QLatin1Char('*')) || !code.endsWith(QLatin1Char('#')))
        return refused(QStringLiteral("not a star code"));
    const QStringList f = code.mid(1, code.size() - 2).split(QLatin1Char('*'));
    const QString c = f.value(0);
    auto arg = [&](int i) { return number(f.value(i)); };
    auto &s = m_mem[0];
    auto setSystem = [&](int offset, int maxValue, const char *what) -> Outcome {
        const auto v = arg(1);
        if (f.size() != 2 || !v || *v > maxValue)
            return refused(QStringLiteral("%1: bad value").arg(QLatin1String(what)));
        s[offset] = quint8(*v);
        return done(QStringLiteral("%1 = %2").arg(QLatin1String(what)).arg(*v));
    };

    if (c == QLatin1String("32")) {
        const auto v = arg(1);
        if (f.size() != 2 || !v || *v > MaxPorts)
            return refused(QStringLiteral("capacity: bad value"));
        s[CapacityEighths] = quint8((*v + 7) / 8);
        return done(QStringLiteral("capacity = %1").arg(capacity()));
    }
    if (c == QLatin1String("04")) {
        // *04*n#: a new number length renumbers every extension from the first
        // number of that length, 8 x 10^(n-1), in port order.
        const auto n = arg(1);
        if (f.size() != 2 || !n || *n < 3 || *n > 6)
            return refused(QStringLiteral("extension number length: bad value"));
        s[NumberLength] = quint8(*n);
        int base = 8;
        for (int k = 1; k < *n; ++k)
            base *= 10;
        for (int p = 0; p < MaxPorts; ++p)
            setExtensionNumber(p, QString::number(base + p));
        return done(QStringLiteral("extension number length = %1, extensions %2..%3")
                        .arg(*n)
                        .arg(base)
                        .arg(base + MaxPorts - 1));
    }
    if (c == QLatin1String("71"))
        return setSystem(FunctionDigit, 9, "function code digit");
    if (c == QLatin1String("80"))
        return setSystem(PasswordLimitsCity, 1, "password restricts city calls");
    if (c == QLatin1String("73"))
        return setSystem(WaitingTone, 1, "waiting tone");
    if (c == QLatin1String("27"))
        return setSystem(InternationalDelay, 255, "international delay");
    if (c == QLatin1String("24"))
        return setSystem(DomesticDelay, 255, "domestic delay");
    if (c == QLatin1String("21"))
        return setSystem(LocalDelay, 255, "local delay");
    if (c == QLatin1String("17"))
        return setSystem(CityDelay, 255, "city delay");
    if (c == QLatin1String("53"))
        return setSystem(MobileDelay, 255, "mobile delay");
    if (c == QLatin1String("50")) {
        const auto port = portOfNumber(f.value(1));
        if (f.size() != 2 || !port)
            return refused(QStringLiteral("night service: no extension %1").arg(f.value(1)));
        s[NightExtension] = quint8(*port);
        return done(QStringLiteral("night service = port %1").arg(*port));
    }
    if (c == QLatin1String("49")) {
        if (f.size() != 2)
            return refused(QStringLiteral("agent operators: expected one argument"));
        if (f[1] == QLatin1String("0")) {
            for (int k = 1; k <= 5; ++k)
                s[76 + 2 * k] = s[77 + 2 * k] = 0;
            return done(QStringLiteral("agent operators cleared"));
        }
        const auto port = portOfNumber(f[1]);
        if (!port)
            return refused(QStringLiteral("agent operators: no extension %1").arg(f[1]));
        // Appended like the virtual operators, also when already listed.
        for (int k = 1; k <= 5; ++k) {
            if (s[76 + 2 * k] != 1) {
                s[76 + 2 * k] = 1;
                s[77 + 2 * k] = quint8(*port);
                return done(QStringLiteral("agent operator %1 = port %2").arg(k).arg(*port));
            }
        }
        return refused(QStringLiteral("agent operators: all five in use"));
    }
    if (c == QLatin1String("20")) {
        // *20*0# clears, *20*0*prefix# removes, *20*1*1*prefix# adds a local-network prefix
        if (f.size() == 2 && f[1] == QLatin1String("0")) {
            for (int i = 0; i < LocalPrefixSlots; ++i)
                writeEntry(LocalPrefixBlock, i, PrefixLayout, 4, QString());
            return done(QStringLiteral("local prefixes cleared"));
        }
        if (f.size() == 3 && f[1] == QLatin1String("0"))
            return removeEntry(LocalPrefixBlock, LocalPrefixSlots, PrefixLayout, 4, f[2])
                       ? done(QStringLiteral("local prefix %1 removed").arg(f[2]))
                       : refused(QStringLiteral("local prefix %1 not listed").arg(f[2]));
        if (f.size() == 4 && f[1] == QLatin1String("1") && f[2] == QLatin1String("1"))
            return addEntry(LocalPrefixBlock, LocalPrefixSlots, PrefixLayout, 4, f[3])
                       ? done(QStringLiteral("local prefix %1 added").arg(f[3]))
                       : refused(QStringLiteral("local prefix %1 does not fit").arg(f[3]));
        return refused(QStringLiteral("local prefixes: unknown form"));
    }
    if (c == QLatin1String("19")) {
        // *19*0# clears, *19*0*number# removes, *19*6*7*number# adds a special-service number
        Outcome o = refused(QStringLiteral("special numbers: unknown form"));
        if (f.size() == 2 && f[1] == QLatin1String("0")) {
            for (int i = 0; i < SpecialNumberSlots; ++i)
                writeEntry(SpecialNumberBlock, i, SpecialLayout, 8, QString());
            o = done(QStringLiteral("special numbers cleared"));
        } else if (f.size() == 3 && f[1] == QLatin1String("0")) {
            o = removeEntry(SpecialNumberBlock, SpecialNumberSlots, SpecialLayout, 8, f[2])
                    ? done(QStringLiteral("special number %1 removed").arg(f[2]))
                    : refused(QStringLiteral("special number %1 not listed").arg(f[2]));
        } else if (f.size() == 4 && f[1] == QLatin1String("6") && f[2] == QLatin1String("7")) {
            o = addEntry(SpecialNumberBlock, SpecialNumberSlots, SpecialLayout, 8, f[3])
                    ? done(QStringLiteral("special number %1 added").arg(f[3]))
                    : refused(QStringLiteral("special number %1 does not fit").arg(f[3]));
        }
        s[SpecialCount] = quint8(specialNumbers().size());
        return o;
    }

    // Trunk settings: *NN*value*trunk#
    struct TrunkSetting {
        const char *code;
        int offset;
        const char *what;
    };
    static const TrunkSetting trunkSettings[] = {
        {"44", 96, "trunk on"},      {"05", 36, "charging mode"},   {"06", 48, "incoming mode"},
        {"07", 24, "dialling mode"}, {"60", 120, "caller display"}, {"47", 84, "trunk group"},
    };
    for (const auto &t : trunkSettings) {
        if (c == QLatin1String(t.code)) {
            if (f.size() != 3 || !arg(1) || !arg(2))
                return refused(QStringLiteral("%1: expected value and trunk").arg(QLatin1String(t.what)));
            return applyTrunk(t.offset, *arg(1), *arg(2), t.what);
        }
    }
    if (c == QLatin1String("08")) {
        if (f.size() == 3 && arg(1) && arg(2))
            return applyTrunk(12, *arg(1), *arg(2), "outgoing mode");
        // *08*1*trunk*direction#: the indirect-office direction, kept beside the trunk block's
        // other settings in bytes 60..71, which the dump carries but the console does not read.
        if (f.size() == 4 && f[1] == QLatin1String("1") && arg(2) && arg(3))
            return applyTrunk(60, *arg(3), *arg(2), "indirect-office direction");
        return refused(QStringLiteral("outgoing mode: unknown form"));
    }
    if (c == QLatin1String("09")) {
        // *09*direction*trunk#
        if (f.size() != 3 || !arg(1) || !arg(2))
            return refused(QStringLiteral("route direction: expected direction and trunk"));
        return applyTrunk(0, *arg(1), *arg(2), "route direction");
    }
    if (c == QLatin1String("12")) {
        // *12*0*trunk# clears the virtual operators, *12*extension*trunk# adds one
        if (f.size() != 3 || !arg(2))
            return refused(QStringLiteral("virtual operators: expected extension and trunk"));
        const int trunk = *arg(2);
        if (trunk < 1 || trunk > DumpTrunks)
            return refused(QStringLiteral("virtual operators: no trunk %1").arg(trunk));
        const int i = trunk - 1;
        auto flag = [&](int k) -> quint8 & { return m_mem[TrunkBlock][144 + 24 * (k - 1) + i]; };
        auto port = [&](int k) -> quint8 & { return m_mem[TrunkBlock][132 + 24 * (k - 1) + i]; };
        if (f[1] == QLatin1String("0")) {
            for (int k = 1; k <= 5; ++k)
                flag(k) = port(k) = 0;
            return done(QStringLiteral("virtual operators of trunk %1 cleared").arg(trunk));
        }
        const auto p = portOfNumber(f[1]);
        if (!p)
            return refused(QStringLiteral("virtual operators: no extension %1").arg(f[1]));
        for (int k = 1; k <= 5; ++k) {
            if (flag(k) != 1) {
                flag(k) = 1;
                port(k) = quint8(*p);
                return done(QStringLiteral("virtual operator %1 of trunk %2 = port %3").arg(k).arg(trunk).arg(*p));
            }
        }
        return refused(QStringLiteral("virtual operators of trunk %1: all five in use").arg(trunk));
    }

    if (c == QLatin1String("11")) {
        // *11*port*number#
        const auto p = arg(1);
        if (f.size() != 3 || !p || *p >= MaxPorts || f[2].isEmpty() || f[2].size() > 6)
            return refused(QStringLiteral("extension number: bad port or number"));
        setExtensionNumber(*p, f[2]);
        return done(QStringLiteral("port %1 = extension %2").arg(*p).arg(f[2]));
    }
    if (c == QLatin1String("10"))
        return applyExtension(ClassBlock, 0, f, "class", true);
    if (c == QLatin1String("59"))
        return applyExtension(CallerDisplayBlock, 0, f, "caller display");
    if (c == QLatin1String("15"))
        return applyExtension(FlagBlock, 0, f, "extension switch 15");
    if (c == QLatin1String("41"))
        return applyExtension(LocalRightBlock, 0, f, "local right", true);
    if (c == QLatin1String("40"))
        return applyExtension(SpecialRightBlock, 0, f, "special-service right");
    if (c == QLatin1String("42"))
        return applyExtension(RightsBlock, 120, f, "internal call right");
    if (c == QLatin1String("43"))
        return applyExtension(RightsBlock, 0, f, "trunk incoming right");
    if (c == QLatin1String("48"))
        return applyExtension(TrunkGroupBlock, 0, f, "trunk group");
    if (c == QLatin1String("61"))
        return applyExtension(NumberHighBlock, 120, f, "outgoing time limit");

    if (c == QLatin1String("67"))
        return applyPassword(f);
    if (c == QLatin1String("34"))
        return applyAlarm(f);
    if (c == QLatin1String("68") || c == QLatin1String("74"))
        return applyAccount(f);
    if (c == QLatin1String("77"))
        return applyOutsideNumber(f);
    if (c == QLatin1String("86"))
        return applyWorkdays(f);
    if (c == QLatin1String("85"))
        return applyPeriods(f);
    if (c == QLatin1String("81"))
        return applyIPCard(f);
    if (c == QLatin1String("82"))
        return applyIPPauses(f);
    if (c == QLatin1String("83"))
        return applyIPNoCard(f);
    if (c == QLatin1String("84"))
        return applyIPInterval(f);

    if (c == QLatin1String("00") && f.size() == 2 && f[1] == QLatin1String("121")) {
        reset();
        return done(QStringLiteral("factory state restored"));
    }
    if (c == QLatin1String("58") && f.size() == 2 && f[1] == QLatin1String("50"))
        return done(QStringLiteral("switch reset (memory kept)"));
    return refused(QStringLiteral("code %1 is not kept in the parameter memory").arg(c));
}

} // namespace corvane::sim
