#pragma once
#include "Clock.h"
#include "Database.h"
#include "HomePaths.h"
#include "LoginState.h"
#include "MessageService.h"
#include <QStringList>
#include <functional>

class QDialog;

namespace corvane {

class SwitchLink;

// The one object handed to every window and procedure: the open database, the
// link to the switch, the login state, the home paths, the message service and
// the clock. main() makes one; every test makes its own.
class ConsoleContext {
public:
    ConsoleContext(const HomePaths &homePaths, MessageService &messageService, Clock &clk)
        : home(homePaths), messages(messageService), clock(clk)
    {
        // What the database records of a change: the console's time and the
        // operator on duty.
        db.setStampSource([this] { return Database::Stamp{clock.now(), login.OPName}; });
    }
    ConsoleContext(const ConsoleContext &) = delete;
    ConsoleContext &operator=(const ConsoleContext &) = delete;

    Database db; // Switch.mdb
    HomePaths home;
    LoginState login;
    MessageService &messages;
    Clock &clock;
    SwitchLink *link = nullptr; // owned by the main window's link layer

    // Shows a window modally and returns its result. Empty means QDialog::exec();
    // tests set it to drive the window and return without blocking.
    std::function<int(QDialog &)> runModal;

    // Global choice lists, built once at start-up.
    QStringList CallTypeNames;
    QStringList CheckMarks;
    void BuildLists();

    // The key of the home's Switch.mdb (HomeKey.h): its own, or the
    // program-wide one of an older home.
    QByteArray databaseKey() const;

    // The database as work beside the interface thread opens it: a
    // connection of its own, whose writes are stamped with the time and the
    // operator at the moment the work was asked for. Made on the interface
    // thread, used in the worker.
    struct Beside {
        QString path;
        QByteArray key;
        Database::Stamp stamp;
        Status open(Database &db) const;
    };
    Beside beside() const { return {home.switchDb(), databaseKey(), {clock.now(), login.OPName}}; }
    // Time stamps as stored in the usage record: 2026年12月08日01:28:32.
    QString stamp() const;
};

} // namespace corvane
