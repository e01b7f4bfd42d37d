#include "Scenario.h"
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace corvane::sim {

namespace {

struct LineError {
    QString text;
};

class Args {
public:
    Args(const QHash<QString, QString> &values) : m_values(values) {}

    bool has(const QString &key) const { return m_values.contains(key); }

    int integer(const QString &key, int min, int max) const
    {
        if (!m_values.contains(key))
            throw LineError{QStringLiteral("missing %1=").arg(key)};
        bool ok = false;
        const int v = m_values.value(key).toInt(&ok);
        if (!ok || v < min || v > max)
            throw LineError{QStringLiteral("%1 must be a whole number from %2 to %3").arg(key).arg(min).arg(max)};
        m_used.insert(key);
        return v;
    }

    QString digits(const QString &key, int maxDigits, bool required = true) const
    {
        if (!m_values.contains(key)) {
            if (required)
                throw LineError{QStringLiteral("missing %1=").arg(key)};
            return {};
        }
        const QString v = m_values.value(key);
        static const QRegularExpression re(QStringLiteral("^[0-9]*$"));
        if (!re.match(v).hasMatch())
            throw LineError{QStringLiteral("%1 must be digits").arg(key)};
        if (v.size() > maxDigits)
            throw LineError{QStringLiteral("%1 holds at most %2 digits").arg(key).arg(maxDigits)};
        m_used.insert(key);
        return v;
    }

    QString text(const QString &key) const
    {
        m_used.insert(key);
        return m_values.value(key);
    }

    void checkAllUsed() const
    {
        for (auto it = m_values.begin(); it != m_values.end(); ++it)
            if (!m_used.contains(it.key()))
                throw LineError{QStringLiteral("unknown key %1=").arg(it.key())};
    }

private:
    QHash<QString, QString> m_values;
    mutable QSet<QString> m_used;
};

qint64 seconds(const QString &text, const char *what)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || v < 0 || v > 86400.0 * 7)
        throw LineError{QStringLiteral("%1 must be a number of seconds").arg(QLatin1String(what))};
    return qint64(v * 1000.0 + 0.5);
}

ScenarioEvent parseAction(const QString &action, const Args &a)
{
    ScenarioEvent e;
    const int maxTrunk = 63;
    if (action == QLatin1String("ring")) {
        e.kind = ScenarioEvent::Ring;
        e.trunk = a.integer(QStringLiteral("trunk"), 0, 255);
    } else if (action == QLatin1String("callerid")) {
        e.kind = ScenarioEvent::CallerId;
        e.trunk = a.integer(QStringLiteral("trunk"), 0, 255);
        e.digits = a.digits(QStringLiteral("number"), 12, false);
    } else if (action == QLatin1String("seize")) {
        e.kind = ScenarioEvent::Seize;
        e.trunk = a.integer(QStringLiteral("trunk"), 0, 255);
        e.port = a.integer(QStringLiteral("port"), 0, 255);
    } else if (action == QLatin1String("dial")) {
        e.kind = ScenarioEvent::Dial;
        e.trunk = a.integer(QStringLiteral("trunk"), 0, 255);
        e.port = a.integer(QStringLiteral("port"), 0, 255);
        e.digits = a.digits(QStringLiteral("digits"), 8);
    } else if (action == QLatin1String("takeover")) {
        e.kind = ScenarioEvent::Takeover;
        e.trunk = a.integer(QStringLiteral("trunk"), 0, 255);
        e.port = a.integer(QStringLiteral("port"), 0, 255);
    } else if (action == QLatin1String("answer")) {
        e.kind = ScenarioEvent::Answer;
        e.trunk = a.integer(QStringLiteral("trunk"), 0, 255);
        e.port = a.integer(QStringLiteral("port"), 0, 255);
    } else if (action == QLatin1String("release")) {
        e.kind = ScenarioEvent::Release;
        e.trunk = a.integer(QStringLiteral("trunk"), 0, 255);
    } else if (action == QLatin1String("record")) {
        e.kind = ScenarioEvent::Record;
        CallRecordData &r = e.record;
        r.trunk = a.integer(QStringLiteral("trunk"), 0, maxTrunk);
        if (a.has(QStringLiteral("account")) == a.has(QStringLiteral("port")))
            throw LineError{QStringLiteral("record needs either port= or account=")};
        r.account = a.has(QStringLiteral("account"));
        r.line = r.account ? a.integer(QStringLiteral("account"), 0, 1023) : a.integer(QStringLiteral("port"), 0, 1023);
        r.duration = quint16(a.integer(QStringLiteral("duration"), 0, 65535));
        r.called = a.digits(QStringLiteral("called"), 14);
        const QString end = a.text(QStringLiteral("end"));
        if (!end.isEmpty() && end != QLatin1String("now")) {
            const QDateTime t = QDateTime::fromString(end, QStringLiteral("yyyy-MM-ddTHH:mm"));
            if (!t.isValid())
                throw LineError{QStringLiteral("end must be now or YYYY-MM-DDTHH:MM")};
            r.setEnd(t);
            e.recordEndNow = false;
        }
    } else if (action == QLatin1String("fault")) {
        e.kind = ScenarioEvent::Fault;
        bool ok = false;
        const uint v = a.text(QStringLiteral("code")).toUInt(&ok, 16);
        if (!ok || v > 0xFF)
            throw LineError{QStringLiteral("code must be one hex byte")};
        e.code = quint8(v);
    } else if (action == QLatin1String("linkrequest")) {
        e.kind = ScenarioEvent::LinkRequest;
    } else if (action == QLatin1String("raw")) {
        e.kind = ScenarioEvent::Raw;
        QString hex = a.text(QStringLiteral("bytes"));
        hex.remove(QLatin1Char(','));
        static const QRegularExpression re(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
        if (!re.match(hex).hasMatch())
            throw LineError{QStringLiteral("bytes must be hex pairs, e.g. bytes=FF,B2,00")};
        e.raw = QByteArray::fromHex(hex.toLatin1());
    } else if (action == QLatin1String("set")) {
        e.kind = ScenarioEvent::SetByte;
        e.block = a.integer(QStringLiteral("block"), 0, 49);
        e.offset = a.integer(QStringLiteral("offset"), 0, 255);
        bool ok = false;
        const uint v = a.text(QStringLiteral("value")).toUInt(&ok, 16);
        if (!ok || v > 0xFF)
            throw LineError{QStringLiteral("value must be one hex byte")};
        e.value = quint8(v);
    } else if (action == QLatin1String("silence")) {
        e.kind = ScenarioEvent::Silence;
        const QString v = a.text(QStringLiteral("state"));
        if (v != QLatin1String("on") && v != QLatin1String("off"))
            throw LineError{QStringLiteral("silence needs state=on or state=off")};
        e.on = v == QLatin1String("on");
    } else {
        throw LineError{QStringLiteral("unknown action '%1'").arg(action)};
    }
    a.checkAllUsed();
    return e;
}

} // namespace

std::optional<Scenario> Scenario::parse(const QString &text, QString *error)
{
    Scenario sc;
    const QStringList lines = text.split(QLatin1Char('\n'));
    qint64 lastMs = -1;
    int repeatLine = 0;
    for (int n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        const int hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            line.truncate(hash);
        const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        try {
            if (words[0] == QLatin1String("repeat")) {
                if (words.size() != 2)
                    throw LineError{QStringLiteral("repeat takes one number of seconds")};
                sc.repeatMs = seconds(words[1], "repeat");
                if (sc.repeatMs <= 0)
                    throw LineError{QStringLiteral("repeat must be more than 0 seconds")};
                repeatLine = n + 1;
                continue;
            }
            if (words[0] != QLatin1String("at") || words.size() < 3)
                throw LineError{QStringLiteral("expected 'at <seconds> <action> key=value ...' or 'repeat <seconds>'")};
            QHash<QString, QString> values;
            for (int i = 3; i < words.size(); ++i) {
                const int eq = words[i].indexOf(QLatin1Char('='));
                if (eq <= 0)
                    throw LineError{QStringLiteral("'%1' is not key=value").arg(words[i])};
                const QString key = words[i].left(eq);
                if (values.contains(key))
                    throw LineError{QStringLiteral("%1= given twice").arg(key)};
                values.insert(key, words[i].mid(eq + 1));
            }
            ScenarioEvent e = parseAction(words[2], Args(values));
            e.atMs = seconds(words[1], "time");
            e.line = n + 1;
            lastMs = qMax(lastMs, e.atMs);
            sc.events.append(e);
        } catch (const LineError &err) {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(n + 1).arg(err.text);
            return std::nullopt;
        }
    }
    if (sc.repeatMs > 0 && lastMs >= sc.repeatMs) {
        if (error)
            *error = QStringLiteral("line %1: repeat must be longer than the last event time").arg(repeatLine);
        return std::nullopt;
    }
    std::stable_sort(sc.events.begin(), sc.events.end(),
                     [](const ScenarioEvent &a, const ScenarioEvent &b) { return a.atMs < b.atMs; });
    return sc;
}

std::optional<Scenario> Scenario::load(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(path, f.errorString());
        return std::nullopt;
    }
    QString err;
    auto sc = parse(QString::fromUtf8(f.readAll()), &err);
    if (!sc && error)
        *error = path + QStringLiteral(": ") + err;
    return sc;
}

QString Scenario::formatHelp()
{
    return QStringLiteral("Scenario file: one statement a line; '#' starts a comment.\n"
                          "  at <seconds> <action> key=value ...   times count from the start (of each cycle)\n"
                          "  repeat <seconds>                      play the whole file again every <seconds>\n"
                          "Actions (trunk: trunk number; port: physical port of an extension):\n"
                          "  ring trunk=T                          incoming call ringing        FF A2\n"
                          "  callerid trunk=T [number=DIGITS]      caller number, up to 12      FF A8\n"
                          "  answer trunk=T port=P                 extension answers or takes   FF 44\n"
                          "  takeover trunk=T port=P               another extension takes over FF 94\n"
                          "  seize trunk=T port=P                  extension seizes the trunk   FF C4\n"
                          "  dial trunk=T port=P digits=DIGITS     digits dialled, up to 8      FF 78\n"
                          "  release trunk=T                       trunk released               FF D2\n"
                          "  record trunk=T port=P|account=A duration=N called=DIGITS [end=now|YYYY-MM-DDTHH:MM]\n"
                          "                                        call record (resent until acknowledged) FF FE\n"
                          "  fault code=HH                         switch fault                 FF 62\n"
                          "  linkrequest                           ask for the link             FF E1\n"
                          "  raw bytes=HH,HH,...                   any bytes, as they stand\n"
                          "  silence state=on|off                  stop or resume all sending\n"
                          "  set block=B offset=O value=HH         change one byte of the parameter memory\n");
}

std::optional<ScenarioEvent> parseMemorySetting(const QString &text, QString *error)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{1,2}):(\\d{1,3})=([0-9A-Fa-f]{1,2})$"));
    const auto m = re.match(text.trimmed());
    ScenarioEvent e;
    e.kind = ScenarioEvent::SetByte;
    if (m.hasMatch()) {
        e.block = m.captured(1).toInt();
        e.offset = m.captured(2).toInt();
        e.value = quint8(m.captured(3).toUInt(nullptr, 16));
        if (e.block <= 49 && e.offset <= 255)
            return e;
    }
    if (error)
        *error = QStringLiteral("'%1' is not BLOCK:OFFSET=HH with a block 0 to 49 and an offset 0 to 255").arg(text);
    return std::nullopt;
}

} // namespace corvane::sim
