// A new console from --init to a working shift: the administrator adds an
// operator with some rights, that operator logs in, is refused the rest,
// sets wake-up calls that survive a restart and reads the usage record; the
// administrator, rights cleared, keeps the rights window.
#include "ConsoleContext.h"
#include "FlexGrid.h"
#include "HomeKey.h"
#include "HomeSetup.h"
#include "PasswordHash.h"
#include "Recordset.h"
#include "TestHome.h"
#include "WindowDriver.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "frmOperatorRecord.h"
#include "frmOperatorRight.h"
#include "frmSRVRing.h"
#include "frmSendBeforeEnd.h"
#include "mdlMain.h"
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>
#include <functional>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

class OperatorsEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        paths = HomePaths(home.path());
        test::isolateSerialPorts(home.path());
        QString error;
        ASSERT_TRUE(InitHome(paths, "pw'中", error)) << error.toStdString();
    }

    std::unique_ptr<ConsoleContext> newContext()
    {
        auto ctx = std::make_unique<ConsoleContext>(paths, messages, clock);
        // Leaving: what waits for the switch (there is none) stays for the
        // next start.
        scripts["frmSendBeforeEnd"] = [](QDialog &d) { qobject_cast<frmSendBeforeEnd *>(&d)->cmdKeep->click(); };
        ctx->runModal = [this](QDialog &d) {
            const QString name = d.objectName();
            d.show();
            if (auto it = scripts.find(name); it != scripts.end())
                it->second(d);
            else
                ADD_FAILURE() << "no script for " << name.toStdString();
            const int r = d.result();
            d.hide();
            return r;
        };
        return ctx;
    }

    void scriptLogin(const QString &name, const QString &password)
    {
        scripts["frmLogin"] = [=](QDialog &d) {
            test::typeOver(d.findChild<QComboBox *>("cmbOPName")->lineEdit(), name);
            test::typeOver(test::child<QLineEdit>(&d, "txtCode"), password);
            test::press(&d, "cmdOK");
        };
    }
    static void setBoxes(QDialog &d, const QString &wanted)
    {
        for (int i = 0; i < 11; ++i)
            test::tick(test::child<QCheckBox>(&d, QStringLiteral("chkRight_%1").arg(i)), wanted.at(i) == '1');
    }
    // What each entry answers: its box, or "opened".
    QStringList gatedRefusals(const QList<QAction *> &entries)
    {
        QStringList out;
        for (QAction *a : entries) {
            messages.clear();
            a->trigger();
            out << (messages.last() ? messages.last()->text : QStringLiteral("opened"));
            messages.clear();
        }
        return out;
    }

    test::TestHome home;
    HomePaths paths;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 9), QTime(8, 0, 0))};
    std::map<QString, std::function<void(QDialog &)>> scripts;
};

} // namespace

TEST_F(OperatorsEndToEndTest, NewOperatorWithSomeRightsAlarmsThatSurviveARestartAndTheUsageRecord)
{
    // The default operator of --init is stored hashed.
    {
        Database db;
        ASSERT_TRUE(db.open(paths.switchDb(), HomeDatabaseKey(paths).value()));
        const QString stored = db.scalar("SELECT \"密码\" FROM OP WHERE \"用户名\"='管理员'").value_or("");
        EXPECT_TRUE(stored.startsWith("$argon2id$")) << stored.toStdString();
        EXPECT_FALSE(stored.contains("pw'中"));
    }

    auto ctx = newContext();
    scriptLogin("管理员", "pw'中");
    auto main = Main(*ctx);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(main->mnuOPRight->isEnabled());

    // The administrator adds 值班员 with the alarm clock and the usage record.
    scripts["frmOperatorNew"] = [&](QDialog &d) {
        test::typeOver(test::child<QLineEdit>(&d, "txtOPName"), "值班员");
        test::typeOver(test::child<QLineEdit>(&d, "txtCode"), "duty 1");
        test::typeOver(test::child<QLineEdit>(&d, "txtConfirm"), "duty 1");
        test::press(&d, "cmdOk");
    };
    scripts["frmOperatorRight"] = [&](QDialog &d) {
        test::press(&d, "cmdAdd");
        EXPECT_EQ(d.findChild<QListWidget *>("lstOPName")->selectedItems().value(0)->text(), "值班员");
        setBoxes(d, "00000001010");
        test::press(&d, "cmdSave");
        test::press(&d, "cmdExit");
    };
    main->mnuOPRight->trigger();
    EXPECT_EQ(messages.texts(), QStringList{"操作员“值班员”的权限已保存。"});
    messages.clear();

    clock.advanceSecs(600);
    messages.queueAnswer(MessageService::Answer::Ok);
    main->mnuOPLogout->trigger(); // "是否要登出系统?"
    EXPECT_FALSE(main->mnuOPRight->isEnabled());
    scriptLogin("值班员", "duty 1");
    main->mnuOPLogin->trigger();
    ASSERT_TRUE(ctx->login.OPLogin);
    EXPECT_EQ(main->panelText(3), "操作员:值班员");
    EXPECT_FALSE(main->mnuOPRight->isEnabled()) << "rights management is for 管理员 only";
    EXPECT_EQ(gatedRefusals({main->mnuPHNClient, main->mnuPHNDiscount, main->mnuSRVBackup}),
              QStringList(QList<QString>(3, "您没有使用此功能的权限！")));

    // Wake-up calls through the toolbar's "Ring" button.
    scripts["frmSRVRing"] = [&](QDialog &d) {
        test::typeOver(test::child<QLineEdit>(&d, "txtNo"), "801");
        test::typeTime(test::child<QTimeEdit>(&d, "dtpTime"), "0730");
        test::press(&d, "cmdOk");
        test::typeOver(test::child<QLineEdit>(&d, "txtNo"), "802");
        test::press(&d, "cmdOk");
        test::press(&d, "cmdLeave");
    };
    messages.clear();
    main->toolButtons.value("Ring")->trigger();
    // No switch answers here: the alarms' commands wait, and the window says so
    // in one box that counts up.
    EXPECT_EQ(messages.texts(), QStringList{"交换机未连接，2条命令将在连接恢复后发送。 (2次)"});

    // The usage record holds the administrator's login.
    QStringList record;
    scripts["frmOperatorRecord"] = [&](QDialog &d) {
        auto *grid = d.findChild<FlexGrid *>("hfgOperatorRecord");
        for (int c = 0; c < 4; ++c)
            record << grid->textMatrix(1, c);
        test::press(&d, "cmdLeave");
    };
    main->mnuOPRecord->trigger();
    EXPECT_EQ(record, QStringList({"00001", "管理员", "2026年12月09日08:00:00", "2026年12月09日08:10:00"}));

    // The console ends and starts again; the alarms are still listed.
    messages.queueAnswer(MessageService::Answer::Ok);
    messages.queueAnswer(MessageService::Answer::Ok);
    EXPECT_TRUE(main->close());
    main.reset();
    ctx.reset();
    clock.advanceSecs(3600);

    auto again = newContext();
    scriptLogin("值班员", "duty 1");
    main = Main(*again);
    ASSERT_NE(main, nullptr);
    QStringList alarms;
    scripts["frmSRVRing"] = [&](QDialog &d) {
        auto *list = d.findChild<QTreeWidget *>("lvwRing");
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            alarms << list->topLevelItem(i)->text(0) + " " + list->topLevelItem(i)->text(1);
        test::press(&d, "cmdLeave");
    };
    main->mnuSRVRing->trigger();
    EXPECT_EQ(alarms, QStringList({"802 2026-12-10 07:30", "801 2026-12-10 07:30"}));

    // The administrator clears their own rights: every gated window is
    // refused at once, the rights window still opens.
    messages.queueAnswer(MessageService::Answer::Ok);
    main->mnuOPLogout->trigger();
    scriptLogin("管理员", "pw'中");
    main->mnuOPLogin->trigger();
    ASSERT_TRUE(again->login.isAdministrator());
    scripts["frmOperatorRight"] = [&](QDialog &d) {
        test::clickItem(test::child<QListWidget>(&d, "lstOPName"), "管理员");
        setBoxes(d, "00000000000");
        test::press(&d, "cmdSave");
        test::press(&d, "cmdExit");
    };
    main->mnuOPRight->trigger();
    EXPECT_EQ(gatedRefusals({main->mnuPHNClient, main->mnuPHNDiscount, main->mnuSRVRing, main->mnuSRVBackup,
                             main->mnuOPRecord, main->toolButtons.value("Ring")}),
              QStringList(QList<QString>(6, "您没有使用此功能的权限！")));
    EXPECT_TRUE(main->mnuOPRight->isEnabled());
    bool reopened = false;
    scripts["frmOperatorRight"] = [&](QDialog &d) {
        reopened = true;
        test::press(&d, "cmdExit");
    };
    main->mnuOPRight->trigger();
    EXPECT_TRUE(reopened);

    messages.queueAnswer(MessageService::Answer::Ok);
    messages.queueAnswer(MessageService::Answer::Ok);
    EXPECT_TRUE(main->close());
}
