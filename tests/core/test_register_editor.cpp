// The register editor's state machine (browse, add, amend, save, delete) on
// a small table of its own, and the store-failure notice the windows share.
#include "Database.h"
#include "General.h"
#include "MessageService.h"
#include "RegisterEditor.h"
#include "StoreFailureNotice.h"
#include "TestHome.h"
#include <gtest/gtest.h>

using namespace corvane;

namespace {

using Icon = MessageService::Icon;

// Key: one to four digits. Field 2 (a phone) must be a number when filled.
class TestRules : public RegisterRules {
public:
    Status checkKey(const QString &key) const override
    {
        if (key.isEmpty() || key.size() > 4 || !IsNumeric(key) || key.contains(u'.'))
            return Status::fail(QStringLiteral("编号必须是数字！"));
        return Status::ok();
    }
    Status checkField(int field, const QString &text) const override
    {
        if (field == 2 && !text.trimmed().isEmpty() && !IsNumeric(text))
            return Status::fail(QStringLiteral("请输入数字作为电话号码！"));
        return Status::ok();
    }
    QString stored(int field, const QString &text) const override { return field == 2 ? text.trimmed() : text; }
};

class RegisterEditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(db.open(home.file(QStringLiteral("r.mdb")), QByteArrayLiteral("k"), Database::OpenMode::Create));
        ASSERT_TRUE(db.exec(QStringLiteral("CREATE TABLE Reg (\"编号\" TEXT, \"名\" TEXT, \"电话\" TEXT)")));
    }
    void insert(const QStringList &row)
    {
        ASSERT_TRUE(db.exec(QStringLiteral("INSERT INTO Reg VALUES (?,?,?)"), {row.at(0), row.at(1), row.at(2)}));
    }
    QList<QStringList> table()
    {
        return db.select(QStringLiteral("SELECT * FROM Reg ORDER BY rowid")).value_or(QList<QStringList>());
    }
    std::unique_ptr<RegisterEditor> open()
    {
        return std::make_unique<RegisterEditor>(db, QStringLiteral("Reg"), QStringLiteral("rowid"), 3, rules,
                                                QStringLiteral("登记"));
    }
    static void expectRefused(const RegisterStep &s, const QString &text, const QString &title, Icon icon)
    {
        EXPECT_FALSE(s);
        EXPECT_FALSE(s.storeFailure);
        EXPECT_EQ(s.status.reason(), text);
        EXPECT_EQ(s.title, title);
        EXPECT_EQ(s.icon, icon);
    }

    test::TestHome home;
    Database db;
    TestRules rules;
};

} // namespace

TEST_F(RegisterEditorTest, AddSavesAndReturnsToBrowsing)
{
    auto r = open();
    EXPECT_EQ(r->mode(), RegisterEditor::Mode::Browsing);
    const RegisterStep started = r->add();
    EXPECT_TRUE(started);
    EXPECT_EQ(started.focus, 0);
    EXPECT_TRUE(r->inserting());

    const RegisterStep saved = r->save({QStringLiteral(" 12 "), QStringLiteral("甲 "), QStringLiteral(" 139 ")});
    EXPECT_TRUE(saved) << saved.status.reason().toStdString();
    EXPECT_FALSE(r->editing());
    // The key and the phone are stored trimmed; other fields as typed.
    EXPECT_EQ(table(), (QList<QStringList>{{"12", "甲 ", "139"}}));
    EXPECT_EQ(r->rows().rows, table()) << "the grid's rows are the table's";
    // A save while browsing does nothing.
    EXPECT_TRUE(r->save({QStringLiteral("13"), QString(), QString()}));
    EXPECT_EQ(table().size(), 1);
}

TEST_F(RegisterEditorTest, RefusalsNameTheirBoxAndKeepEditing)
{
    insert({"1", "甲", ""});
    auto r = open();
    expectRefused(r->amend(QStringLiteral("  ")), RegisterEditor::nothingToAmend(), QStringLiteral("请选择"),
                  Icon::Information);
    EXPECT_FALSE(r->editing());
    expectRefused(r->remove(QString()), RegisterEditor::nothingToDelete(), MessageService::defaultTitle(), Icon::None);
    expectRefused(r->remove(QStringLiteral("9")), RegisterEditor::nothingToDelete(), MessageService::defaultTitle(),
                  Icon::None);

    (void)r->add();
    struct Case {
        QStringList texts;
        QString reason;
        QString title;
        Icon icon;
        int focus;
        bool select;
    };
    const Case cases[] = {
        {{"12345", "", ""}, "编号必须是数字！", "请重新输入", Icon::Information, 0, true},
        {{"", "", ""}, "编号必须是数字！", "请重新输入", Icon::Information, 0, true},
        {{"5", "", "13a"}, "请输入数字作为电话号码！", "输入错误", Icon::Critical, 2, true},
        {{"1", "", ""}, RegisterEditor::duplicateKey(), "请重新输入", Icon::Information, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.texts.join('|').toStdString());
        const RegisterStep s = r->save(c.texts);
        expectRefused(s, c.reason, c.title, c.icon);
        EXPECT_EQ(s.focus, c.focus);
        EXPECT_EQ(s.selectText, c.select);
        EXPECT_TRUE(r->inserting()) << "a refused save stays in editing";
    }
    EXPECT_EQ(table().size(), 1);
}

TEST_F(RegisterEditorTest, AmendWritesTheSelectedRowEvenWhenKeysRepeat)
{
    // Two rows with the same key (an old table): the one selected is changed.
    insert({"7", "first", ""});
    insert({"7", "second", ""});
    insert({"8", "other", ""});
    auto r = open();
    EXPECT_FALSE(r->select(5).has_value());
    const auto shown = r->select(1);
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(*shown, (QStringList{"7", "second", ""}));
    ASSERT_TRUE(r->amend(shown->at(0)));
    // Its own key is accepted; the other row's is not.
    expectRefused(r->save({QStringLiteral("8"), QStringLiteral("x"), QString()}), RegisterEditor::duplicateKey(),
                  QStringLiteral("请重新输入"), Icon::Information);
    ASSERT_TRUE(r->save({QStringLiteral("9"), QStringLiteral("second, renumbered"), QString()}));
    EXPECT_EQ(table(), (QList<QStringList>{{"7", "first", ""}, {"9", "second, renumbered", ""}, {"8", "other", ""}}));

    // Deleting the selected row deletes it, not the first with its key.
    insert({"9", "third", ""});
    ASSERT_TRUE(r->reload());
    ASSERT_TRUE(r->select(3).has_value());
    ASSERT_TRUE(r->remove(QStringLiteral("9")));
    EXPECT_EQ(table(), (QList<QStringList>{{"7", "first", ""}, {"9", "second, renumbered", ""}, {"8", "other", ""}}));
    // With nothing selected the first row with the key goes.
    ASSERT_TRUE(r->remove(QStringLiteral("7")));
    EXPECT_EQ(table(), (QList<QStringList>{{"9", "second, renumbered", ""}, {"8", "other", ""}}));
    EXPECT_EQ(r->rows().rows, table());

    // A row without a key cannot be selected.
    insert({"", "no key", ""});
    ASSERT_TRUE(r->reload());
    EXPECT_FALSE(r->select(2).has_value());
}

TEST_F(RegisterEditorTest, AFailedStoreIsReportedAndKeepsTheEdit)
{
    insert({"1", "甲", ""});
    auto r = open();
    ASSERT_TRUE(db.exec(
        QStringLiteral("CREATE TRIGGER full BEFORE INSERT ON Reg BEGIN SELECT RAISE(ABORT, 'disk is full'); END")));
    (void)r->add();
    const RegisterStep s = r->save({QStringLiteral("2"), QStringLiteral("乙"), QString()});
    EXPECT_FALSE(s);
    EXPECT_TRUE(s.storeFailure);
    EXPECT_TRUE(s.status.reason().startsWith(QStringLiteral("登记未能保存："))) << s.status.reason().toStdString();
    EXPECT_TRUE(s.status.reason().contains(QStringLiteral("disk is full")));
    EXPECT_TRUE(r->inserting()) << "nothing typed is lost";

    ASSERT_TRUE(db.exec(QStringLiteral("DROP TRIGGER full")));
    EXPECT_TRUE(r->save({QStringLiteral("2"), QStringLiteral("乙"), QString()}));
    EXPECT_EQ(table().size(), 2);

    ASSERT_TRUE(
        db.exec(QStringLiteral("CREATE TRIGGER keep BEFORE DELETE ON Reg BEGIN SELECT RAISE(ABORT, 'locked'); END")));
    ASSERT_TRUE(r->select(0).has_value());
    const RegisterStep gone = r->remove(QStringLiteral("1"));
    EXPECT_TRUE(gone.storeFailure);
    EXPECT_TRUE(gone.status.reason().startsWith(QStringLiteral("登记未能删除：")));
    EXPECT_EQ(table().size(), 2);
}

TEST(StoreFailureNoticeTest, ShowsAFailureOnceUntilAStoreSucceeds)
{
    ScriptedMessageService messages;
    StoreFailureNotice notice(messages);
    EXPECT_TRUE(notice.note(Status::ok()));
    EXPECT_TRUE(messages.shown().isEmpty());

    EXPECT_FALSE(notice.note(Status::fail(QStringLiteral("未能写入表 Feerate：disk is full"))));
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.last()->text, QStringLiteral("未能写入表 Feerate：disk is full"));
    EXPECT_EQ(messages.last()->title, QStringLiteral("数据库错误"));
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Critical);
    EXPECT_FALSE(notice.note(Status::fail(QStringLiteral("again"))));
    EXPECT_EQ(messages.shown().size(), 1) << "a failure that goes on is not shown again";

    EXPECT_TRUE(notice.note(Status::ok()));
    EXPECT_FALSE(notice.note(Status::fail(QStringLiteral("later"))));
    ASSERT_EQ(messages.shown().size(), 2);
    EXPECT_EQ(messages.last()->text, QStringLiteral("later"));
}
