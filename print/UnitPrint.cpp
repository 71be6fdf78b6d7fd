#include "print/UnitPrint.h"

#include "controls/MessageBox.h"
#include "controls/WindowSupport.h"
#include "print/PrintForm.h"
#include "report/Preview.h"
#include "store/Error.h"
#include "store/Query.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <exception>

namespace {
// Outer size 265 x 120 with the frame of a classic dialog: 4 px borders and a
// 26 px caption bar.
constexpr int kClientWidth = 257;
constexpr int kClientHeight = 86;
} // namespace

TfrmPrint::TfrmPrint(QWidget *owner, print::FormVariant variant) : QDialog(owner), m_variant(variant)
{
    const bool blank = variant == print::FormVariant::Blank;
    setObjectName(QStringLiteral("frmPrint"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(blank ? QStringLiteral("打印空白表") : QStringLiteral("打印数据表"));
    setModal(true);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setFixedSize(kClientWidth, kClientHeight);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel1->setGeometry(0, 0, kClientWidth, kClientHeight);

    Label1 = new QLabel(blank ? QStringLiteral("打印空白表 ") : QStringLiteral("打印数据表  "), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(72, 16, 134, 21);
    QFont labelFont(QStringLiteral("宋体"));
    labelFont.setPixelSize(21);
    labelFont.setBold(true);
    Label1->setFont(labelFont);

    Btn_Print = new QPushButton(QStringLiteral("打印"), Panel1);
    Btn_Print->setObjectName(QStringLiteral("Btn_Print"));
    Btn_Print->setGeometry(48, 56, 75, 25);
    Btn_Print->setAutoDefault(false);
    Btn_Exit = new QPushButton(QStringLiteral("退出"), Panel1);
    Btn_Exit->setObjectName(QStringLiteral("Btn_Exit"));
    Btn_Exit->setGeometry(136, 56, 75, 25);
    Btn_Exit->setAutoDefault(false);
    setTabOrder(Btn_Print, Btn_Exit);
    connect(Btn_Print, &QPushButton::clicked, this, &TfrmPrint::Btn_PrintClick);
    connect(Btn_Exit, &QPushButton::clicked, this, &TfrmPrint::Btn_ExitClick);

    ui::enterPressesFocusedButton(this);
    ui::centreOnScreen(this);
    FormCreate();
}

TfrmPrint::~TfrmPrint() = default;

void TfrmPrint::FormCreate()
{
    // Each query gets its connection string now; none is opened yet.
    m_queries = print::makePeriodQueries();
}

void TfrmPrint::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shown && !event->spontaneous()) {
        m_shown = true;
        FormShow();
    }
}

void TfrmPrint::FormShow()
{
    // Both variants open all five queries. A failure is shown in the
    // standard error box; the queries after it stay closed and the window
    // opens all the same.
    try {
        print::openPeriodQueries(queries());
    } catch (...) {
        ui::MessageBox::showStandardError(this, store::errorText());
    }
}

void TfrmPrint::Btn_PrintClick()
{
    report::PreparedReport prepared;
    try {
        prepared = print::prepareForm(m_variant, queries());
    } catch (...) {
        ui::MessageBox::showStandardError(this, store::errorText());
        return;
    }
    report::PreviewWindow::showModal(this, prepared);
}

void TfrmPrint::Btn_ExitClick() { close(); }

store::Query *TfrmPrint::query(const QString &name) const
{
    for (const auto &q : m_queries)
        if (q->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return q.get();
    return nullptr;
}

std::vector<store::Query *> TfrmPrint::queries() const
{
    std::vector<store::Query *> list;
    for (const auto &q : m_queries)
        list.push_back(q.get());
    return list;
}
