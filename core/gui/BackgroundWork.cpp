#include "BackgroundWork.h"

#include "Database.h"

#include <QApplication>
#include <QProgressDialog>
#include <QWidget>

namespace corvane {

void WorkControl::watch(Database *db)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_db = db;
    if (m_db && m_cancelled)
        m_db->interrupt();
}

void WorkControl::cancel()
{
    m_cancelled = true;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_db)
        m_db->interrupt();
}

BackgroundWork::BackgroundWork(Clock &clock, QWidget *window)
    : QObject(window), m_clock(clock), m_window(window), m_wait(clock, this), m_tick(clock, this)
{
    m_wait.setSingleShot(true);
    connect(&m_wait, &ClockTimer::timeout, this, &BackgroundWork::showProgress);
    connect(&m_tick, &ClockTimer::timeout, this, [this] {
        if (m_progress)
            m_progress->setLabelText(
                QStringLiteral("%1（已用%2秒）……").arg(m_what).arg((m_clock.monotonicMs() - m_startedMs) / 1000));
    });
}

BackgroundWork::~BackgroundWork()
{
    // A window closed under its work: the work stops and changes nothing.
    if (m_control)
        m_control->cancel();
    if (m_control)
        QApplication::restoreOverrideCursor();
    delete m_progress;
}

void BackgroundWork::begin(const QString &what, std::shared_ptr<WorkControl> control, bool cancellable)
{
    if (m_control)
        m_control->cancel();
    else
        QApplication::setOverrideCursor(Qt::BusyCursor);
    m_control = std::move(control);
    m_what = what;
    m_cancellable = cancellable;
    m_startedMs = m_clock.monotonicMs();
    m_wait.start(500);
    emit runningChanged(true);
}

void BackgroundWork::end()
{
    m_wait.stop();
    m_tick.stop();
    if (m_progress)
        m_progress->hide();
    m_control.reset();
    QApplication::restoreOverrideCursor();
    emit runningChanged(false);
}

void BackgroundWork::cancel()
{
    if (!m_control)
        return;
    m_control->cancel();
}

void BackgroundWork::showProgress()
{
    if (!m_control)
        return;
    if (!m_progress) {
        m_progress = new QProgressDialog(m_window);
        m_progress->setObjectName(QStringLiteral("prgWork"));
        m_progress->setWindowTitle(m_window ? m_window->windowTitle() : QString());
        m_progress->setRange(0, 0); // how long is not known: a moving bar
        m_progress->setMinimumDuration(0);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        m_progress->setWindowModality(Qt::WindowModal);
        connect(m_progress, &QProgressDialog::canceled, this, &BackgroundWork::cancel);
    }
    m_progress->setCancelButtonText(m_cancellable ? QStringLiteral("取消") : QString());
    m_progress->setLabelText(QStringLiteral("%1……").arg(m_what));
    m_progress->show();
    m_tick.start(1000);
}

} // namespace corvane
