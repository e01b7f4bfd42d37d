#pragma once
#include <QObject>
#include <QRect>
#include <QString>
#include <functional>
#include <memory>

class QSettings;
class QWidget;

namespace corvane {

// What every window of the program does alike, installed once on the
// application: a window comes back where the user last left it and at the
// size they gave it (kept in the user's own settings, moved onto the screen
// when that changed), and F1 opens the help at the section of the window it
// is pressed in.
//
// The windows are known by their object names ("frmPHNClient"); the splash
// and the caller pop-up place themselves and are left alone.
class DesktopConventions : public QObject {
    Q_OBJECT
public:
    // Opens the help at `section` (a window's object name) over `window`.
    using HelpOpener = std::function<void(QWidget *window, const QString &section)>;

    DesktopConventions(std::unique_ptr<QSettings> settings, HelpOpener help, QObject *parent = nullptr);
    ~DesktopConventions() override;

    // Filters every object of the application from now on.
    void install();

    // Whether a window's place is kept.
    static bool remembers(const QWidget *window);
    // `saved` moved and cut so that it lies within `screen`, never smaller
    // than `minimum` (a window larger than the screen starts at its top left).
    static QRect withinScreen(const QRect &saved, const QRect &screen, const QSize &minimum = QSize());

    void save(QWidget *window);
    void restore(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString key(const QWidget *window) const;

    std::unique_ptr<QSettings> m_settings;
    HelpOpener m_help;
};

} // namespace corvane
