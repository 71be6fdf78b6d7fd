#pragma once
#include <QDialog>

class TfrmInData : public QDialog {
    Q_OBJECT
public:
    explicit TfrmInData(QWidget *owner = nullptr);
};
