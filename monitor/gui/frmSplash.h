#pragma once
#include <QWidget>

namespace corvane {

// Shown while the main window loads (its port search can take seconds).
class frmSplash : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(const QString &logoPath, QWidget *parent = nullptr);
};

} // namespace corvane
