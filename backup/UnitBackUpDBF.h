#pragma once
#include <QDialog>

class TfrmBackUpDBF : public QDialog {
    Q_OBJECT
public:
    explicit TfrmBackUpDBF(QWidget *owner = nullptr);
};
