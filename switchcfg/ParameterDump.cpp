#include "ParameterDump.h"
#include "Clock.h"
#include "Database.h"

#include <algorithm>

namespace corvane {

namespace {
const ComparisonRow NoRow;

int hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    return -1;
}
} // namespace

ParameterDump::ParameterDump(Database &db, Clock &clock, DumpLink &link, QObject *parent)
    : QObject(parent), m_db(db), m_clock(clock), m_link(link)
{}

Status ParameterDump::start()
{
    if (m_state == State::Running)
        return Status::fail(QStringLiteral("信息比照尚未结束，不能再次启动！"));
    m_rows.clear();
    m_data.clear();
    m_ports = 0;
    m_blockNo = 0;
    m_errors = 0;
    m_badBlocks = 0;
    m_databaseCapacity = DatabaseView::Load(m_db).capacity();
    m_lastBlockMs = m_clock.monotonicMs();
    m_state = State::Running;
    m_link.CollectDumpBlocks(0);
    m_link.RequestDump();
    return Status::ok();
}

int ParameterDump::DumpTicks() const
{
    if (m_state != State::Running)
        return 0;
    return int((m_clock.monotonicMs() - m_lastBlockMs) / 1000);
}

bool ParameterDump::checkBlock(const QString &text, QByteArray &data) const
{
    if (text.size() != BlockTextLength)
        return false;
    QByteArray bytes;
    bytes.reserve(BlockTextLength / 2);
    for (int i = 0; i < BlockTextLength; i += 2) {
        const int hi = hexDigit(text.at(i));
        const int lo = hexDigit(text.at(i + 1));
        if (hi < 0 || lo < 0)
            return false;
        bytes.append(char(hi * 16 + lo));
    }
    // The checksum covers the block number and the 256 data bytes.
    unsigned sum = m_blockNo;
    for (int i = 0; i < DumpData::BlockSize; ++i)
        sum += quint8(bytes.at(i));
    if (quint8(sum & 0xFF) != quint8(bytes.at(DumpData::BlockSize)))
        return false;
    data = bytes.left(DumpData::BlockSize);
    return true;
}

void ParameterDump::DecodeParameterBlock(const QString &blockHex)
{
    if (m_state != State::Running)
        return;
    m_lastBlockMs = m_clock.monotonicMs();

    QByteArray data;
    if (!checkBlock(blockHex, data)) {
        // Nothing of a damaged block is shown; the switch sends it again.
        ++m_errors;
        ++m_badBlocks;
        m_link.SendNak();
        if (m_errors >= ErrorLimit)
            stop(State::Failed);
        return;
    }

    const int block = m_blockNo;
    m_data.set(block, data);
    if (block == 0) {
        m_ports = DumpLayout::ExtensionPorts(m_databaseCapacity, DumpLayout::SwitchCapacity(m_data));
        m_rows = QVector<ComparisonRow>(DumpLayout::RowCount(m_ports) + 1);
    }
    if (DumpLayout::BlockHasRows(block))
        takeRows(DumpLayout::RowsOfBlock(block, m_data, DatabaseView::Load(m_db), m_ports, m_clock.now()));

    if (block == LastBlock) {
        judgeAll();
        m_state = State::Finished;
        m_errors = 0;
        m_link.EndDumpCollection();
        m_link.SendAck();
        emit finished(m_state);
        return;
    }
    m_blockNo = quint8(block + 1);
    m_link.CollectDumpBlocks(m_blockNo);
    m_link.SendAck();
}

void ParameterDump::takeRows(const QList<ComparisonRow> &rows)
{
    QList<int> numbers;
    numbers.reserve(rows.size());
    for (const ComparisonRow &r : rows) {
        if (r.row <= 0 || r.row >= m_rows.size())
            continue;
        m_rows[r.row] = r;
        numbers.append(r.row);
    }
    if (!numbers.isEmpty())
        emit rowsDecoded(numbers);
}

QString ParameterDump::CompareRow(int n)
{
    if (n <= 0 || n >= m_rows.size())
        return QString();
    // A row the dump did not fill is judged on its empty cells, as the grid shows it.
    ComparisonRow &r = m_rows[n];
    r.verdict = CompareValues(r.switchValue, r.dbValue);
    r.verdictText = VerdictText(r.verdict, n);
    return r.verdictText;
}

void ParameterDump::judgeAll()
{
    for (int n = 1; n < m_rows.size(); ++n)
        CompareRow(n);
}

void ParameterDump::tmrOver_Timer()
{
    if (m_state != State::Running)
        return;
    if (m_clock.monotonicMs() - m_lastBlockMs >= SilenceLimitMs || m_errors >= ErrorLimit)
        stop(State::Failed);
}

void ParameterDump::abandon()
{
    if (m_state == State::Running)
        stop(State::Abandoned);
}

void ParameterDump::stop(State how)
{
    m_state = how;
    m_errors = 0;
    // The switch may be half-way through a block, or sending the one just
    // refused again; none of it may reach the frame handlers.
    m_link.DiscardLateDumpBytes(LateBytesQuietMs, LateBytesMaxMs);
    emit finished(m_state);
}

const ComparisonRow &ParameterDump::row(int n) const
{
    if (n <= 0 || n >= m_rows.size())
        return NoRow;
    return m_rows.at(n);
}

QList<ComparisonRow> ParameterDump::rows() const
{
    QList<ComparisonRow> out;
    for (int n = 1; n < m_rows.size(); ++n)
        out.append(m_rows.at(n));
    return out;
}

QString ParameterDump::tipText() const
{
    switch (m_state) {
    case State::Running: return RunningTip();
    case State::Finished: return FinishedTip();
    case State::Failed: return TransferErrorText();
    case State::Idle:
    case State::Abandoned: break;
    }
    return QStringLiteral("准备就绪，请根据需要使用相应功能。");
}

QList<int> ParameterDump::staleRows() const
{
    QList<int> out;
    if (m_rows.isEmpty())
        return out;
    const DatabaseView view = DatabaseView::Load(m_db);
    for (int block = 0; block < BlockCount; ++block) {
        if (!DumpLayout::BlockHasRows(block))
            continue;
        for (const ComparisonRow &now : DumpLayout::RowsOfBlock(block, m_data, view, m_ports, m_clock.now())) {
            if (now.row == 26 || now.row == 27 || now.row < 1 || now.row > rowCount())
                continue;
            if (now.dbValue.trimmed() != row(now.row).dbValue.trimmed())
                out << now.row;
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace corvane
