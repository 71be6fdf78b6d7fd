#include "app/UnitAbout.h"

#include "app/Shell.h"
#include "controls/WindowSupport.h"
#include "controls/MessageBox.h"

#include <QEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QUrl>

#include <exception>

namespace {

QString T(const char *utf8) { return QString::fromUtf8(utf8); }

QFont pixelFont(const char *family, int pixels, bool bold = false)
{
    QFont font(T(family));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QLabel *label(QWidget *parent, const char *name, int x, int y, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->move(x, y);
    return l;
}

// The link labels: teal, underlined, 华文新魏 16 px, a hand cursor.
void styleAsLink(QLabel *l)
{
    QFont font = pixelFont("华文新魏", 16);
    font.setUnderline(true);
    l->setFont(font);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 128, 128));
    l->setPalette(palette);
    l->setCursor(Qt::PointingHandCursor);
}

} // namespace

QString TfrmAbout::webAddress() { return QStringLiteral("http://www.orvandel.cn"); }
QString TfrmAbout::mailAddress() { return QStringLiteral("support@orvandel.cn"); }

TfrmAbout::TfrmAbout(QWidget *owner) : QDialog(owner)
{
    Q_INIT_RESOURCE(PDeclare);
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(T("关于"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
    setFixedSize(356, 291);
    QFont windowFont(QStringLiteral("MS Sans Serif"));
    windowFont.setPixelSize(11);
    setFont(windowFont);

    Label1 = label(this, "Label1", 33, 16, T("Tessaly数据申报系统 单机版"));
    Label1->setFont(pixelFont("宋体", 20, true));

    Label6 = label(this, "Label6", 80, 58, T("版本V1.0(2006.09.12)"));

    // The address is shown without its scheme, so that it ends before the
    // arrow that points at it.
    Label3 = label(this, "Label3", 80, 82, QUrl(webAddress()).host());
    styleAsLink(Label3);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(224, 80, 16, 16);
    Image1->setPixmap(QPixmap(QStringLiteral(":/app/arrow_left.png")));

    Label4 = label(this, "Label4", 80, 114, T("E_mail：") + mailAddress());
    styleAsLink(Label4);

    Label5 = label(this, "Label5", 80, 140,
                   T("研制单位：\n  奥凡德尔医疗软件有限公司\n  Orvandel医疗卫生信息中心"));
    Label5->setFont(pixelFont("宋体", 14));

    Label2 = label(this, "Label2", 80, 204, T("技术支持电话：010-6539 7280"));
    Label2->setFont(pixelFont("宋体", 14));

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 231, 329, 7);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), T("退出"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(256, 243, 75, 25);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmAbout::BitBtn1Click);

    for (QLabel *l : {Label1, Label2, Label3, Label4, Label5, Label6})
        l->adjustSize();
    Label3->installEventFilter(this);
    Label4->installEventFilter(this);

    // Centred on the screen, not on the owner.
    ui::centreOnScreen(this);
}

bool TfrmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == Label3) {
            Label3Click();
            return true;
        }
        if (watched == Label4) {
            Label4Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::Label3Click() { app::Shell::open(QUrl(webAddress())); }

void TfrmAbout::Label4Click() { app::Shell::open(QUrl(QStringLiteral("mailto:") + mailAddress())); }

void TfrmAbout::BitBtn1Click() { close(); }

void openHelpDocument(QWidget *owner, const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        ui::MessageBox::show(owner, T("无法找到说明文件，可能已丢失！"), T("提示"), ui::Icon::None);
        return;
    }
    try {
        if (!app::Shell::open(QUrl::fromLocalFile(path)))
            ui::MessageBox::show(owner,
                                 T("无法打开说明文件 %1：这台电脑上没有能打开 .%2 文件的程序。\n"
                                   "请安装能打开 Word 文档的程序（例如 WPS Office 或 LibreOffice）后再试。")
                                     .arg(QDir::toNativeSeparators(path), QFileInfo(path).suffix()),
                                 T("提示"), ui::Icon::Information);
    } catch (const std::exception &e) {
        ui::MessageBox::show(owner, ui::errorText(e), T("提示"), ui::Icon::Information);
    }
}
