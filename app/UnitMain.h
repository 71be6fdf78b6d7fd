#pragma once
// The main window: a picture under the menu bar from which every function of
// the program is opened. Creating it runs the start-up sequence.
#include <QIcon>
#include <QMainWindow>

#include <memory>

class QFrame;
class QLabel;
class QMenu;

namespace store {
class Query;
}

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // The client area below the menu bar.
    static constexpr int ClientWidth = 616;
    static constexpr int ClientHeight = 425;

    // The start-up sequence, run by the constructor before it makes the
    // menu and the picture: the skin, then the program folder's own start
    // (store/Startup.h: clean-up, the user's folder, the working table, the
    // findings purged), then AQry_Tmp on DataMeta. Each problem is shown in
    // the application's standard error box; the window opens all the same.
    void runStartup();
    // The skin file, when it exists, becomes the application's style sheet
    // (ui::applySkin).
    static bool applySkin();
    // Result/result.dbf made from the template when missing
    // (store::startup::createWorkingTable).
    static bool createWorkingTable();
    // AQry_Tmp on the DataMeta directory.
    void connectTmp();
    // The findings table purged of the records the last check deleted.
    void purgeFindings();

    store::Query &AQry_Tmp() const;

    // The picture stored with the window (640 x 480 JPEG).
    static QString pictureResource();
    // The program's icon, drawn as packaging/pdeclare.svg, at 16 to 256 px.
    static QIcon programIcon();

public slots:
    void N2Click();
    void N4Click();
    void N5Click();
    void N7Click();
    void N9Click();
    void N8Click();
    void N13Click();
    void N14Click();
    void N15Click();
    void N11Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildMenu();
    void fitToClientArea();
    // Creates a menu window owned by this one (with what the menu item
    // chooses, such as the print variant or backup mode), shows it modally
    // and makes sure it is freed when it closes.
    template <class Window, class... Choice>
    void showModal(Choice... choice);

    QFrame *Panel1 = nullptr;
    QLabel *Image1 = nullptr;
    std::unique_ptr<store::Query> m_tmp;
};
