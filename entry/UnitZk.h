#pragma once
// The project picker: a modal list of the monitored projects (zbzkyy) with
// an incremental search by project code or by pinyin code (F8 switches).
// The confirmed row is handed back by rowTaken.
#include "store/Query.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QToolButton;

class TfrmYymcModel;

class TfrmYymc : public QDialog {
    Q_OBJECT
public:
    explicit TfrmYymc(QWidget *owner = nullptr);
    ~TfrmYymc() override;

    const store::Query &adoYy() const { return m_yy; }

    // The project shown by the caller: the list opens with its row current
    // (the first row when the code is empty or not in the list).
    void setStartCode(const QString &code) { m_startCode = code.trimmed(); }

signals:
    // The row confirmed: its project code and hospital (department) name,
    // without their trailing blanks.
    void rowTaken(const QString &code, const QString &name);

public:
    // Handlers, public so that the window's behaviour can be driven directly.
    void FormShow();
    void edLookChange();
    void edLookKeyDown(int key);
    void edLookExit();
    void BitBtn1Click();
    void DBGrid1DblClick();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void navigate(int how);
    void takeCurrentRow();
    void showCurrentRow();   // grid follows adoYy's current row
    void fitCodeColumns();   // wide enough for the longest codes
    void rowChosenInGrid(int row);
    // Tells the user, once for each opening of the list, that part of it
    // cannot be shown (the cells stay empty); from painting, so the box
    // comes after it.
    void reportUnreadable(const QString &message);

    store::Query m_yy;
    TfrmYymcModel *m_model = nullptr;
    QTableView *m_grid = nullptr;
    QLabel *m_seekMode = nullptr;
    // What the search box looks for; F8 switches, the label follows.
    enum class SearchBy { Code, Pinyin };
    SearchBy m_searchBy = SearchBy::Code;
    QLineEdit *m_look = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_exit = nullptr;
    bool m_shownOnce = false;
    bool m_syncing = false;
    bool m_reportedUnreadable = false;
    QString m_startCode;
};
