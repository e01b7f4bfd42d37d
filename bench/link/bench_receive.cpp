// Throughput of the receive path: a long recorded stream of mixed frames fed
// in pieces of random size through the ring and the dispatcher.
#include "ConsoleContext.h"
#include "FrameHandlers.h"
#include "SwitchLink.h"

#include <benchmark/benchmark.h>
#include <random>

using namespace corvane;

namespace {

struct CountingHandlers : FrameHandlers {
    qint64 frames = 0;
    int ProcessCallRecord(const QByteArray &f) override
    {
        unsigned sum = 0;
        for (int i = 1; i <= 21; ++i)
            sum += quint8(f[i]);
        if (quint8(sum) != quint8(f[22]))
            return 1;
        ++frames;
        return 23;
    }
    void OnTrunkReleased(const QByteArray &) override { ++frames; }
    void OnTrunkSeized(const QByteArray &) override { ++frames; }
    void OnCallerId(const QByteArray &) override { ++frames; }
    void OnTrunkRinging(const QByteArray &) override { ++frames; }
    void OnTrunkUserChange(const QByteArray &) override { ++frames; }
    void OnTrunkDialled(const QByteArray &) override { ++frames; }
    void OnTrunkAnswer(const QByteArray &) override { ++frames; }
};

struct Recording {
    QByteArray stream;
    QList<int> pieces;
    qint64 handlerFrames = 0; // frames that reach a handler
    qint64 allFrames = 0;     // including link-alive and acknowledgements
};

// About a megabyte as a busy switch would send it: call records, the trunk
// events of calls, link-alive frames every few frames, now and then a byte of
// line noise.
Recording record()
{
    std::mt19937 rng(4242);
    auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Recording r;
    while (r.stream.size() < (1 << 20)) {
        const int trunk = rnd(1, 16);
        switch (rnd(0, 7)) {
        case 0: {
            QByteArray f(23, '\0');
            f[0] = char(0xFF);
            f[1] = char(0xFE);
            for (int i = 2; i < 22; ++i)
                f[i] = char(rnd(0, 0x99));
            unsigned sum = 0;
            for (int i = 1; i <= 21; ++i)
                sum += quint8(f[i]);
            f[22] = char(sum);
            r.stream += f;
            ++r.handlerFrames;
            break;
        }
        case 1:
            r.stream += QByteArray("\xFF\xA2", 2) + char(trunk);
            ++r.handlerFrames;
            break;
        case 2:
            r.stream += QByteArray("\xFF\xA8", 2) + char(trunk) + QByteArray("\x13\xA9\x12\x34\x56\x00", 6);
            ++r.handlerFrames;
            break;
        case 3:
            r.stream += QByteArray("\xFF\x44\x00\x05", 4) + char(trunk);
            ++r.handlerFrames;
            break;
        case 4:
            r.stream += QByteArray("\xFF\x78", 2) + char(trunk) + QByteArray("\x00\x07\x91\x23\x45\x00", 6);
            ++r.handlerFrames;
            break;
        case 5:
            r.stream += QByteArray("\xFF\xD2", 2) + char(trunk);
            ++r.handlerFrames;
            break;
        case 6: r.stream += QByteArray("\xFF\xB2\x00", 3); break;
        default: r.stream += QByteArray("\xFF\x5A", 2); break;
        }
        ++r.allFrames;
        if (rnd(0, 50) == 0)
            r.stream += char(rnd(0, 0xFE));
    }
    for (qint64 done = 0; done < r.stream.size();) {
        const int n = rnd(1, 64);
        r.pieces.append(n);
        done += n;
    }
    return r;
}

void BM_ReceivePath(benchmark::State &state)
{
    static const Recording rec = record();
    ScriptedMessageService messages;
    TestClock clock;
    ConsoleContext ctx(HomePaths(QStringLiteral("/nonexistent")), messages, clock);
    SwitchLink link(ctx);
    CountingHandlers handlers;
    link.setFrameHandlers(&handlers);

    for (auto _ : state) {
        qint64 pos = 0;
        for (int n : rec.pieces) {
            link.ReceiveBytes(
                QByteArray::fromRawData(rec.stream.constData() + pos, int(qMin<qint64>(n, rec.stream.size() - pos))));
            pos += n;
        }
    }
    if (handlers.frames != rec.handlerFrames * qint64(state.iterations()))
        state.SkipWithError("frames lost");
    state.SetBytesProcessed(qint64(state.iterations()) * rec.stream.size());
    state.counters["frames_per_s"] =
        benchmark::Counter(double(rec.allFrames) * double(state.iterations()), benchmark::Counter::kIsRate);
    // 2400 baud 8N1 carries 240 bytes a second.
    state.counters["x_line_rate"] =
        benchmark::Counter(double(rec.stream.size()) * double(state.iterations()) / 240.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReceivePath)->Unit(benchmark::kMillisecond);

} // namespace
