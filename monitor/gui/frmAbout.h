#pragma once
#include <QDialog>

namespace corvane {

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(const QString &logoPath, QWidget *parent = nullptr);
};

} // namespace corvane
