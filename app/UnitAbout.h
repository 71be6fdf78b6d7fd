#pragma once
// The About window and the help commands of the main window's help menu.
#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget *owner = nullptr);

    // The maker's contact data shown by the window.
    static QString webAddress();  // opened by a click on Label3
    static QString mailAddress(); // "mailto:" + this, opened by a click on Label4

public slots:
    void Label3Click();
    void Label4Click();
    void BitBtn1Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Image1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QPushButton *BitBtn1 = nullptr;
};

// Opens a help document beside the program (path = program directory + file
// name) with the desktop's default handler. A missing file gives
// "无法找到说明文件，可能已丢失！" titled "提示" without an icon; a failure
// while handing it over is shown titled "提示" with the information icon.
// When no program on the machine opens the document's type, that is said
// in a message titled "提示"; what a handler that took it then does is not
// reported.
void openHelpDocument(QWidget *owner, const QString &path);
