#pragma once
#include <QDialog>

class TfrmYymc : public QDialog {
    Q_OBJECT
public:
    explicit TfrmYymc(QWidget *owner = nullptr);
};
