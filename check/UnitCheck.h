#pragma once
#include <QDialog>

class TfrmCheck : public QDialog {
    Q_OBJECT
public:
    explicit TfrmCheck(QWidget *owner = nullptr);
};
