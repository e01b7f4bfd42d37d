#pragma once
#include "Clock.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QWidget;

namespace corvane {

class Database;

// What a worker sees of its window: whether the operator cancelled, and the
// connection a cancel interrupts.
class WorkControl {
public:
    bool cancelled() const { return m_cancelled.load(); }
    // The worker's own connection: a cancel stops the statement it runs.
    // Given back (nullptr) before the connection closes.
    void watch(Database *db);
    void cancel();

private:
    std::atomic<bool> m_cancelled{false};
    std::mutex m_mutex;
    Database *m_db = nullptr;
};

// A query, list, export, settlement or check that runs beside the
// interface thread, started by a window: the window keeps painting and the
// console keeps taking calls. Meanwhile the cursor is busy; after half a
// second (on the console's clock) a progress window names the work, counts
// the seconds and offers "取消", which stops the work before it changes
// anything (the worker checks WorkControl, its connection is interrupted,
// its transaction rolled back). What the work returns is handed to `done`
// on the interface thread, unless it was cancelled or the window is gone.
class BackgroundWork : public QObject {
    Q_OBJECT
public:
    BackgroundWork(Clock &clock, QWidget *window);
    ~BackgroundWork() override;

    template <class T>
    void start(const QString &what, std::function<T(WorkControl &)> work, std::function<void(T)> done,
               bool cancellable = true)
    {
        auto control = std::make_shared<WorkControl>();
        auto box = std::make_shared<std::optional<T>>();
        begin(what, control, cancellable);
        QThread *thread = QThread::create([control, box, work] { box->emplace(work(*control)); });
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        connect(thread, &QThread::finished, this, [this, control, box, done] {
            if (control != m_control)
                return;
            end();
            if (control->cancelled())
                emit stopped();
            else if (*box)
                done(std::move(**box));
        });
        thread->start();
    }
    bool running() const { return bool(m_control); }
    void cancel();

    // The progress window, once shown (tests).
    QProgressDialog *progress() const { return m_progress; }

signals:
    void runningChanged(bool running);
    // Cancelled work has ended: it handed nothing over.
    void stopped();

private:
    void begin(const QString &what, std::shared_ptr<WorkControl> control, bool cancellable);
    void end();
    void showProgress();

    Clock &m_clock;
    QPointer<QWidget> m_window;
    ClockTimer m_wait;
    ClockTimer m_tick;
    qint64 m_startedMs = 0;
    QString m_what;
    bool m_cancellable = true;
    std::shared_ptr<WorkControl> m_control;
    QPointer<QProgressDialog> m_progress;
};

} // namespace corvane
