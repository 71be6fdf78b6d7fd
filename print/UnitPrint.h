#pragma once
// TfrmPrint: prints the declaration form, filled or blank. The opener chooses
// the variant; the window's caption and title label follow from it. When
// shown, the window opens one query per period on the working table in edit
// state and never posts them.
#include "print/FormLayout.h"

#include <QDialog>

#include <memory>
#include <vector>

class QLabel;
class QPushButton;
class QFrame;

namespace store {
class Query;
}

class TfrmPrint : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPrint(QWidget *owner = nullptr, print::FormVariant variant = print::FormVariant::Data);
    ~TfrmPrint() override;

    // AQry_20020112 ... AQry_20060106 (name compared ignoring case); nullptr
    // for any other name.
    store::Query *query(const QString &name) const;
    std::vector<store::Query *> queries() const;

public slots:
    void Btn_PrintClick();
    void Btn_ExitClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void FormShow();

    QFrame *Panel1 = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *Btn_Print = nullptr;
    QPushButton *Btn_Exit = nullptr;
    std::vector<std::unique_ptr<store::Query>> m_queries;
    print::FormVariant m_variant;
    bool m_shown = false;
};
