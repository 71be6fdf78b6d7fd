#pragma once
#include <QDialog>

class TfrmPrint : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPrint(QWidget *owner = nullptr);
};
