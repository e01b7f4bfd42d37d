#pragma once
#include <QLabel>

namespace corvane {

// The picture of one trunk with the trunk's number in its corner; a click
// asks for the caller pop-up.
class TrunkIndicator : public QLabel {
    Q_OBJECT
public:
    explicit TrunkIndicator(int index, QWidget *parent = nullptr);
    int index() const { return m_index; }

signals:
    void clicked(int index);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int m_index;
};

} // namespace corvane
