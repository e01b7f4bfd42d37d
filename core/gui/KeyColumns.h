#pragma once
#include <QObject>
#include <QPointer>
#include <QTableView>

namespace corvane {

// Keeps a table's first columns (the extension, the trunk, the caller: what
// tells one row from another) in view while the table is scrolled sideways.
// A second view of the same cells is laid over the table's left edge while
// its columns are scrolled; it scrolls up and down with the table and shows
// its selection. `captionRows` are the caption rows a grid shows in its
// header's place (FlexGrid); without them the view's own header is shown.
//
// The overlay only shows; clicks go through to the table beneath.
class KeyColumns : public QObject {
    Q_OBJECT
public:
    KeyColumns(QTableView *view, int count, int captionRows = 0);
    ~KeyColumns() override;

    QTableView *overlay() const { return m_body; }
    // Lays the overlay out again (the table scrolled, resized or refilled).
    void update();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTableView *makeView(const QString &name);

    QTableView *m_view;
    int m_count;
    int m_captionRows;
    QPointer<QTableView> m_body;
    QPointer<QTableView> m_corner; // the caption rows above the key columns
    bool m_pending = false;
};

} // namespace corvane
