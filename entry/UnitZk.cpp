#include "entry/UnitZk.h"

#include "controls/WindowSupport.h"
#include "controls/MessageBox.h"
#include "store/Paths.h"

#include <QAbstractTableModel>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QValidator>

#include <algorithm>
#include <functional>

namespace {

struct Column {
    const char *field;
    const char *title;
    int width;
};
const Column kColumns[] = {
    {"Xmh", "项目编码", 60},
    {"yymcks", "医院(科室)名称", 230},
    {"ybm", "YB编码", 70},
};
constexpr int kColumnCount = int(sizeof(kColumns) / sizeof(kColumns[0]));
constexpr int kNameColumn = 1;
constexpr int kCodeColumn = 0;
constexpr int kPinyinColumn = 2;

const QString kByCode = QStringLiteral("按编码查询");
const QString kByPinyin = QStringLiteral("按PY码查询");

enum Move { First, Prior, Next, Last };

// Turns every letter of the search box into upper case, typed or pasted.
class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        input = input.toUpper();
        return Acceptable;
    }
};

QFont simSun(int pixels)
{
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(pixels);
    return f;
}

} // namespace

// The project list: read-only, so typing in it does nothing (a table view would
// otherwise jump to a row by its own type-ahead and confuse the search box).
class ProjectGrid : public QTableView {
public:
    using QTableView::QTableView;
    void keyboardSearch(const QString &) override {}
};

// adoYy's rows as the grid sees them; the row indicator marks the current row.
class TfrmYymcModel : public QAbstractTableModel {
public:
    explicit TfrmYymcModel(const store::Query &query, QObject *parent) : QAbstractTableModel(parent), m_query(query) {}

    void reload()
    {
        beginResetModel();
        endResetModel();
    }
    void currentChanged(int oldRow, int newRow)
    {
        if (oldRow >= 0 && oldRow < rowCount())
            emit headerDataChanged(Qt::Vertical, oldRow, oldRow);
        if (newRow >= 0 && newRow < rowCount())
            emit headerDataChanged(Qt::Vertical, newRow, newRow);
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() || !m_query.isOpen() ? 0 : m_query.recordCount();
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : kColumnCount;
    }
    // Called with the message when a cell cannot be read.
    std::function<void(const QString &)> unreadable;

    QVariant data(const QModelIndex &index, int role) const override
    {
        // A name too long for its column shows whole as the cell's tooltip.
        const bool tip = role == Qt::ToolTipRole && index.column() == kNameColumn;
        if ((role != Qt::DisplayRole && !tip) || !index.isValid() || index.row() >= rowCount())
            return QVariant();
        const QString field = QString::fromLatin1(kColumns[index.column()].field);
        if (!m_query.hasField(field))
            return QVariant(); // told when the list was opened
        try {
            return m_query.value(index.row(), field).toString();
        } catch (const std::exception &e) {
            if (unreadable)
                unreadable(ui::errorText(e));
            return QVariant();
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal) {
            if (role == Qt::DisplayRole && section >= 0 && section < kColumnCount)
                return QString::fromUtf8(kColumns[section].title);
            if (role == Qt::TextAlignmentRole)
                return int(Qt::AlignCenter);
            return QVariant();
        }
        if (role == Qt::DisplayRole)
            return section == m_query.recNo() ? QStringLiteral("▶") : QString();
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
        return QVariant();
    }

private:
    const store::Query &m_query;
};

TfrmYymc::TfrmYymc(QWidget *owner) : QDialog(owner), m_yy(QStringLiteral("adoYy"))
{
    setObjectName(QStringLiteral("frmYymc"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("重点专科（专病）监测医院名称"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(381, 461);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);

    m_model = new TfrmYymcModel(m_yy, this);
    m_model->unreadable = [this](const QString &message) { reportUnreadable(message); };
    m_grid = new ProjectGrid(this);
    m_grid->setObjectName(QStringLiteral("DBGrid1"));
    m_grid->setGeometry(0, 0, 377, 321);
    m_grid->setModel(m_model);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setShowGrid(true);
    m_grid->setFrameShape(QFrame::Box);
    m_grid->setFrameShadow(QFrame::Plain);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // The name takes the room the two codes leave: the codes are shown
    // whole and the list needs no horizontal scrolling.
    m_grid->horizontalHeader()->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    m_grid->horizontalHeader()->setHighlightSections(false);
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(18);
    m_grid->verticalHeader()->setFixedWidth(12);
    m_grid->verticalHeader()->setHighlightSections(false);
    for (int c = 0; c < kColumnCount; ++c)
        m_grid->setColumnWidth(c, kColumns[c].width);
    // The selected row stays visible when the grid has no focus.
    QPalette pal = m_grid->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    m_grid->setPalette(pal);
    m_grid->viewport()->installEventFilter(this);
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { rowChosenInGrid(current.row()); });

    auto *group = new QGroupBox(QStringLiteral("数据查询条件 "), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    group->setGeometry(1, 336, 377, 65);

    auto *navigator = new QWidget(group);
    navigator->setObjectName(QStringLiteral("DBNavigator1"));
    navigator->setGeometry(9, 24, 200, 25);
    auto *navLayout = new QHBoxLayout(navigator);
    navLayout->setContentsMargins(0, 0, 0, 0);
    navLayout->setSpacing(0);
    const struct {
        const char *name;
        const char *glyph;
        const char *hint;
        Move move;
    } buttons[] = {{"nbFirst", "|◀", "第一条", First},
                   {"nbPrior", "◀", "上一条", Prior},
                   {"nbNext", "▶", "下一条", Next},
                   {"nbLast", "▶|", "最后一条", Last}};
    for (const auto &b : buttons) {
        auto *button = new QToolButton(navigator);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setText(QString::fromUtf8(b.glyph));
        button->setToolTip(QString::fromUtf8(b.hint));
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        const Move move = b.move;
        connect(button, &QToolButton::clicked, this, [this, move] { navigate(move); });
        navLayout->addWidget(button);
    }

    m_seekMode = new QLabel(kByCode, group);
    m_seekMode->setObjectName(QStringLiteral("lbSeekDw"));
    m_seekMode->setFont(simSun(13));
    m_seekMode->setGeometry(224, 14, 75, 15);
    auto *hint = new QLabel(QStringLiteral("(按F8切换) "), group);
    hint->setObjectName(QStringLiteral("Label2"));
    hint->setFont(simSun(11));
    hint->setGeometry(301, 16, 70, 13);

    m_look = new QLineEdit(group);
    m_look->setObjectName(QStringLiteral("edLook"));
    m_look->setGeometry(224, 32, 145, 21);
    m_look->setValidator(new UpperCaseValidator(m_look));
    m_look->installEventFilter(this);
    connect(m_look, &QLineEdit::textChanged, this, [this] { edLookChange(); });

    m_ok = new QPushButton(QStringLiteral("确定"), this);
    m_ok->setObjectName(QStringLiteral("BitBtn1"));
    m_ok->setGeometry(216, 416, 75, 25);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    m_exit = new QPushButton(QStringLiteral("退出"), this);
    m_exit->setObjectName(QStringLiteral("BitBtn2"));
    m_exit->setGeometry(296, 416, 75, 25);
    connect(m_exit, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(m_grid, m_look);
    setTabOrder(m_look, m_ok);
    setTabOrder(m_ok, m_exit);

    ui::centreOnScreen(this);
    FormCreate();
}

TfrmYymc::~TfrmYymc()
{
    m_look->removeEventFilter(this);
    m_grid->viewport()->removeEventFilter(this);
}

void TfrmYymc::FormCreate()
{
    m_yy.setDirectory(store::paths::dataMetaDir());
}

void TfrmYymc::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    try {
        FormShow();
    } catch (const std::exception &e) {
        m_yy.close();
        m_model->reload();
        ui::MessageBox::showStandardError(this, ui::errorText(e));
    }
    // The search box takes the focus first: typing the beginning of a code
    // searches at once, and Enter confirms the row it found.
    m_look->setFocus(Qt::OtherFocusReason);
}

void TfrmYymc::FormShow()
{
    m_yy.close();
    m_yy.clearSql();
    m_yy.setSql(QStringLiteral("select * from zbzkyy"));
    m_yy.open();
    m_reportedUnreadable = false;
    m_model->reload();
    // A list without one of the shown columns still lists what it has; the
    // user is told why a column stays empty.
    QStringList missing;
    for (const Column &c : kColumns)
        if (!m_yy.hasField(QString::fromLatin1(c.field)))
            missing << QString::fromLatin1(c.field);
    if (!missing.isEmpty())
        ui::MessageBox::showStandardError(this, QStringLiteral("项目列表 zbzkyy.dbf 中没有列 %1，这一列显示为空白。"
                                                               "请用随程序提供的 DataMeta 中的 zbzkyy.dbf 替换它。")
                                                    .arg(missing.join(QStringLiteral("、"))));
    fitCodeColumns();
    m_yy.first();
    if (!m_startCode.isEmpty() && !m_yy.locate(QStringLiteral("Xmh"), m_startCode, true, false))
        m_yy.first();
    showCurrentRow();
}

void TfrmYymc::fitCodeColumns()
{
    // A system whose face for the form's font is wider than the one it was
    // laid out with still shows the codes whole; the name gives way.
    for (int c : {kCodeColumn, kPinyinColumn}) {
        m_grid->resizeColumnToContents(c); // the title and every code
        m_grid->setColumnWidth(c, std::max(kColumns[c].width, m_grid->columnWidth(c)));
    }
}

void TfrmYymc::showCurrentRow()
{
    const int row = m_yy.isOpen() ? m_yy.recNo() : -1;
    m_syncing = true;
    if (row >= 0 && row < m_model->rowCount()) {
        const QModelIndex index = m_model->index(row, 0);
        m_grid->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_grid->scrollTo(index);
    }
    m_syncing = false;
    m_grid->verticalHeader()->viewport()->update();
}

void TfrmYymc::reportUnreadable(const QString &message)
{
    if (m_reportedUnreadable)
        return;
    m_reportedUnreadable = true;
    QTimer::singleShot(0, this, [this, message] { ui::MessageBox::showStandardError(this, message); });
}

void TfrmYymc::rowChosenInGrid(int row)
{
    if (m_syncing || !m_yy.isOpen() || row < 0 || row >= m_yy.recordCount())
        return;
    const int old = m_yy.recNo();
    m_yy.moveTo(row);
    m_model->currentChanged(old, row);
}

void TfrmYymc::navigate(int how)
{
    if (!m_yy.isOpen() || m_yy.recordCount() == 0)
        return;
    const int old = m_yy.recNo();
    switch (how) {
    case First: m_yy.first(); break;
    case Prior: if (old > 0) m_yy.prior(); break;
    case Next: if (old + 1 < m_yy.recordCount()) m_yy.next(); break;
    case Last: m_yy.last(); break;
    default: break;
    }
    m_model->currentChanged(old, m_yy.recNo());
    showCurrentRow();
}

void TfrmYymc::edLookChange()
{
    if (!m_yy.isOpen())
        return;
    const QString text = m_look->text().trimmed().toUpper();
    const QString column = m_searchBy == SearchBy::Code ? QStringLiteral("Xmh") : QStringLiteral("ybm");
    const int old = m_yy.recNo();
    bool found = false;
    try {
        // A text finds the first row, from the top, that begins with it;
        // the empty text finds only an empty value.
        found = m_yy.locate(column, text, true, !text.isEmpty());
    } catch (const std::exception &e) {
        ui::MessageBox::showStandardError(this, ui::errorText(e));
    }
    if (!found) {
        if (m_yy.recNo() != old && old >= 0)
            m_yy.moveTo(old);
        return;
    }
    m_model->currentChanged(old, m_yy.recNo());
    showCurrentRow();
}

void TfrmYymc::edLookKeyDown(int key)
{
    if (key != Qt::Key_F8)
        return;
    m_searchBy = m_searchBy == SearchBy::Code ? SearchBy::Pinyin : SearchBy::Code;
    m_seekMode->setText(m_searchBy == SearchBy::Code ? kByCode : kByPinyin);
}

void TfrmYymc::edLookExit() { m_look->setText(QString()); }

void TfrmYymc::takeCurrentRow()
{
    const int row = m_yy.recNo();
    if (row < 0)
        return;
    const QString code = m_yy.value(row, QStringLiteral("Xmh")).toString().trimmed();
    const QString name = m_yy.value(row, QStringLiteral("yymcks")).toString().trimmed();
    emit rowTaken(code, name);
}

void TfrmYymc::BitBtn1Click()
{
    try {
        if (m_yy.isOpen() && m_yy.recordCount() > 0)
            takeCurrentRow();
    } catch (const std::exception &e) {
        ui::MessageBox::showStandardError(this, ui::errorText(e));
    }
    accept();
}

void TfrmYymc::DBGrid1DblClick()
{
    if (!m_yy.isOpen() || m_yy.recordCount() == 0)
        return;
    try {
        takeCurrentRow();
    } catch (const std::exception &e) {
        ui::MessageBox::showStandardError(this, ui::errorText(e));
        return;
    }
    accept();
}

void TfrmYymc::keyPressEvent(QKeyEvent *event)
{
    // F8 reaches here from the grid and the search box, which leave it alone.
    if (event->key() == Qt::Key_F8) {
        edLookKeyDown(event->key());
        event->ignore();
        return;
    }
    if (event->key() == Qt::Key_Escape) { // no binding in this window
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TfrmYymc::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_look && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            edLookExit();
    } else if (watched == m_grid->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        DBGrid1DblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
