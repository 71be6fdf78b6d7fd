#pragma once
// The data entry window: the project line and one numeric edit for each of
// the 59 indicators in each of the five periods, laid out as a ruled grid
// built from the catalogue. Values are copied in when the window is shown
// and written back into the five period rows of result by "保存退出".
#include "store/Query.h"

#include <QDialog>
#include <QHash>
#include <QPoint>
#include <QPointer>
#include <QVariant>

#include <deque>
#include <memory>
#include <vector>

class QKeyEvent;
class QLabel;
class QTimer;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QScrollArea;
class QToolButton;
class QWheelEvent;
class QWidget;

namespace ui {
class TDBNumberEdit;
}

class TfrmInData : public QDialog {
    Q_OBJECT
public:
    explicit TfrmInData(QWidget *owner = nullptr);
    ~TfrmInData() override;

    // The edit "DBN" + field + period index; the name's case is ignored.
    ui::TDBNumberEdit *findEdit(const QString &name) const;
    const std::vector<ui::TDBNumberEdit *> &numberEdits() const { return m_edits; }

    // The window's query objects (their statement texts show what ran).
    const store::Query &AQry_DB() const { return m_db; }
    const store::Query &AQry_DM() const { return m_dm; }

    // The whole scrolled content, as laid out (for a look at it).
    QWidget *content() const { return m_content; }

    // Handlers, public so that the window's behaviour can be driven directly.
    void FormShow();
    void Load();
    void Save();
    void Btn_SaveClick();
    void SpeedButton1Click();
    void NumberEditMouseUp(ui::TDBNumberEdit *edit, Qt::MouseButton button);
    void NumberEditExit(ui::TDBNumberEdit *edit);
    void NumberEditKeyDown(ui::TDBNumberEdit *edit, int &key);
    void DBNcws_yy1KeyPress(ui::TDBNumberEdit *edit, QChar &key);

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void fitToScreen();
    void placeButtonPanel();
    void buildContent();
    void moveToNextControl(QWidget *from, bool forward);
    void afterPrompts(ui::TDBNumberEdit *left);
    bool filterWheel(QObject *watched, QWheelEvent *event);
    bool keepTypeAhead(QObject *watched, QKeyEvent *event);
    bool typeOnThroughPrompt(QObject *watched, QKeyEvent *event);
    void drainTypeAhead();
    QMessageBox *shownPromptBox() const;
    std::vector<QVariant> shownValues() const;
    bool modified() const;

    store::Query m_db;
    store::Query m_dm;
    QScrollArea *m_scrollBox = nullptr;
    QWidget *m_content = nullptr;
    QLineEdit *m_yydm = nullptr;
    QToolButton *m_choose = nullptr;
    QPushButton *m_save = nullptr;
    QWidget *m_bottomPanel = nullptr; // Panel3, holding m_save
    std::vector<ui::TDBNumberEdit *> m_edits; // catalogue order within each period, periods 1..5
    QHash<QString, ui::TDBNumberEdit *> m_byName; // lower-case name
    bool m_shownOnce = false;
    bool m_closing = false;
    bool m_inPrompt = false;
    bool m_typedOn = false; // a figure typed into a prompt answered it
    // What the window showed after loading: the project text, then every
    // edit's value in the order of m_edits.
    std::vector<QVariant> m_loaded;
    // The click that moved the focus while a rule prompt was up: its press
    // still reaches this control once the prompts are closed.
    QPointer<QWidget> m_pressAfterPrompt;
    // Keys typed ahead while rule prompts come and go, in the order typed:
    // those meant for a box go to it, the rest wait for the prompts to end
    // and then reach the edit that has the focus.
    std::deque<std::unique_ptr<QKeyEvent>> m_typeAhead;
    QTimer *m_typeAheadTimer = nullptr;
    const QKeyEvent *m_replaying = nullptr;
};
