#include "BackgroundWork.h"
#include "Clock.h"
#include "Database.h"
#include "TestHome.h"
#include "TestWait.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

using namespace corvane;

namespace {

// Holds a worker until the test lets it go: the test decides when the work
// ends, without waiting any real time for it.
class Gate {
public:
    void pass()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_reached = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
    }
    bool reached()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reached;
    }
    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_reached = false;
    bool m_open = false;
};

class BackgroundWorkTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        gate->open(); // a worker a failed check left waiting ends
        window.reset();
    }
    bool cursorBusy() const
    {
        return QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::BusyCursor;
    }

    TestClock clock;
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    std::unique_ptr<QDialog> window = std::make_unique<QDialog>();
    BackgroundWork *work = new BackgroundWork(clock, window.get());
};

} // namespace

TEST_F(BackgroundWorkTest, TheResultComesBackOnTheInterfaceThreadAndProgressOnlyAfterHalfASecond)
{
    window->setWindowTitle("话单查询与结算");
    window->show();
    std::shared_ptr<Gate> g = gate;
    QThread *workedIn = nullptr;
    QThread *doneIn = nullptr;
    int result = 0;
    work->start<int>(
        "正在查询话单",
        [g, &workedIn](WorkControl &) {
            workedIn = QThread::currentThread();
            g->pass();
            return 42;
        },
        [&](int r) {
            doneIn = QThread::currentThread();
            result = r;
        });
    ASSERT_TRUE(test::waitFor([&] { return gate->reached(); }));
    EXPECT_TRUE(work->running());
    EXPECT_TRUE(cursorBusy());
    clock.advanceMs(499);
    EXPECT_EQ(work->progress(), nullptr) << "nothing for work of less than half a second";
    clock.advanceMs(1);
    ASSERT_NE(work->progress(), nullptr);
    EXPECT_TRUE(work->progress()->isVisible());
    EXPECT_EQ(work->progress()->objectName(), "prgWork");
    EXPECT_EQ(work->progress()->windowTitle(), "话单查询与结算");
    EXPECT_EQ(work->progress()->labelText(), "正在查询话单……");
    clock.advanceMs(2000);
    EXPECT_EQ(work->progress()->labelText(), "正在查询话单（已用2秒）……");
    auto *cancel = work->progress()->findChild<QPushButton *>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "取消");

    gate->open();
    ASSERT_TRUE(test::waitFor([&] { return !work->running(); }));
    EXPECT_EQ(result, 42);
    EXPECT_NE(workedIn, qApp->thread());
    EXPECT_EQ(doneIn, qApp->thread());
    EXPECT_FALSE(work->progress()->isVisible());
    EXPECT_FALSE(cursorBusy());
}

// A cancel interrupts the statement the worker's connection runs: its
// transaction is rolled back, nothing it wrote stays, and its result is
// never handed over.
TEST_F(BackgroundWorkTest, ACancelStopsTheStatementAndLeavesNothingChanged)
{
    test::TestHome home;
    const QString path = home.path() + "/work.db";
    {
        Database db;
        ASSERT_TRUE(db.open(path, "k", Database::OpenMode::Create));
        ASSERT_TRUE(db.exec("CREATE TABLE t (a INTEGER)"));
        ASSERT_TRUE(db.exec("INSERT INTO t VALUES (1)"));
    }
    std::shared_ptr<Gate> g = gate;
    auto failure = std::make_shared<QString>();
    bool done = false;
    bool stopped = false;
    QObject::connect(work, &BackgroundWork::stopped, [&] { stopped = true; });
    work->start<int>(
        "正在删除话单",
        [g, path, failure](WorkControl &control) {
            Database db;
            if (!db.open(path, "k"))
                return -1;
            control.watch(&db);
            Status s = db.beginTransaction();
            if (s)
                s = db.exec("INSERT INTO t VALUES (2)");
            g->pass();
            // Runs until interrupted.
            if (s)
                s = db.exec("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                            "SELECT count(*) FROM c");
            *failure = s ? QString() : s.reason();
            if (s)
                s = db.commit();
            else
                (void)db.rollback();
            control.watch(nullptr);
            return 1;
        },
        [&](int) { done = true; });
    ASSERT_TRUE(test::waitFor([&] { return gate->reached(); }));
    gate->open();
    clock.advanceMs(500);
    ASSERT_NE(work->progress(), nullptr);
    // The progress window's "取消", pressed until the statement has noticed.
    ASSERT_TRUE(test::waitFor(
        [&] {
            auto *cancel = work->progress()->findChild<QPushButton *>();
            if (work->running() && cancel)
                cancel->click();
            return !work->running();
        },
        10000));
    EXPECT_FALSE(done) << "a cancelled work hands nothing over";
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(failure->contains("interrupt")) << failure->toStdString();
    Database db;
    ASSERT_TRUE(db.open(path, "k"));
    EXPECT_EQ(db.scalar("SELECT group_concat(a) FROM t").value_or("?"), "1");
}

// A window closed under its work: the work is told, nothing is handed to the
// window, and the cursor is the operator's again.
TEST_F(BackgroundWorkTest, AWindowClosedUnderItsWorkGetsNothing)
{
    std::shared_ptr<Gate> g = gate;
    auto sawCancel = std::make_shared<std::atomic<bool>>(false);
    bool done = false;
    work->start<int>(
        "正在导出话单",
        [g, sawCancel](WorkControl &control) {
            g->pass();
            sawCancel->store(control.cancelled());
            return 1;
        },
        [&](int) { done = true; });
    ASSERT_TRUE(test::waitFor([&] { return gate->reached(); }));
    window.reset();
    EXPECT_FALSE(cursorBusy());
    gate->open();
    ASSERT_TRUE(test::waitFor([&] { return sawCancel->load(); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(done);
}
