#include "entry/UnitInData.h"

#include "controls/WindowSupport.h"
#include "controls/HintStyle.h"
#include "controls/MessageBox.h"
#include "controls/TDBNumberEdit.h"
#include "entry/RulePrompts.h"
#include "entry/UnitZk.h"
#include "store/Catalogue.h"
#include "store/Paths.h"
#include "store/SqlTable.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

namespace cat = store::catalogue;

namespace {

// Positions of the ruled grid, in pixels of the scrolled content.
constexpr int kGridLeft = 10;
constexpr int kGridRight = 773;
constexpr int kGridTop = 80;
constexpr int kRule = 2;              // thickness of every rule
constexpr int kFirstRowRule = 109;    // rule under the header row
constexpr int kRowPitch = 26;         // edits at 111, 137, ... 1619
constexpr int kGroupRuleX = 43;       // right edge of the group column
constexpr int kSubRuleX = 122;        // left edge of the sub-item column
constexpr int kItemLabelX = 55;
constexpr int kSubLabelX = 131;
constexpr int kPeriodRuleX[] = {307, 400, 493, 585, 677};
constexpr int kRightRuleX = kGridRight - kRule;
constexpr int kEditX[] = {309, 402, 494, 586, 679};
constexpr int kEditWidth = 91;
constexpr int kEditHeight = 24;
constexpr int kBottomPanelHeight = 57;
constexpr int kSaveX = 688; // 保存退出 within its panel
constexpr int kSaveY = 16;
constexpr int kSaveWidth = 75;
constexpr int kSaveHeight = 25;
constexpr int kSaveRightGap = 10;
constexpr int kWheelStep = 20;
constexpr double kMaxFigure = 999999999.99;
constexpr int kClientWidth = 823; // the designed client area
constexpr int kClientHeight = 676;

int rowRuleY(int row) { return kFirstRowRule + kRowPitch * row; } // row 0..59
int gridBottom() { return rowRuleY(int(cat::indicators().size())) + kRule; }

const QString kBanner = QStringLiteral("Orvandel\"十五\"重点专科（专病）项目建设评审验收数据申报表");

QString lines(QString caption) { return caption.replace(QLatin1String("\r\n"), QLatin1String("\n")); }

QFont simSun(int pixels, bool bold)
{
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// The scrolled content: it paints the rules of the grid from one table of
// rectangles, made from the catalogue, and keeps the banner and the bottom
// panel as wide as itself.
class GridCanvas : public QWidget {
public:
    explicit GridCanvas(QWidget *parent) : QWidget(parent) {}
    std::vector<QRect> rules;
    QWidget *banner = nullptr;
    QWidget *bottomPanel = nullptr;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        for (const QRect &r : rules)
            p.fillRect(r, Qt::black);
    }
    void resizeEvent(QResizeEvent *) override
    {
        if (banner)
            banner->setGeometry(0, 0, width(), 41);
        if (bottomPanel)
            bottomPanel->setGeometry(0, height() - kBottomPanelHeight, width(), kBottomPanelHeight);
    }
};

// The panel of 保存退出: the button at its designed place, moved left only
// when the panel is too narrow for it (a window bounded to a narrow screen).
class ButtonPanel : public QFrame {
public:
    explicit ButtonPanel(QWidget *parent) : QFrame(parent) {}
    QWidget *button = nullptr;

protected:
    void resizeEvent(QResizeEvent *) override
    {
        if (button)
            button->move(std::max(0, std::min(kSaveX, width() - kSaveWidth - kSaveRightGap)), kSaveY);
    }
};

QLabel *makeLabel(QWidget *parent, const QString &text, const QRect &geometry, Qt::Alignment align,
                  const QFont &font, const QString &tip = QString())
{
    auto *label = new QLabel(lines(text), parent);
    label->setGeometry(geometry);
    label->setAlignment(align);
    label->setFont(font);
    if (!tip.isEmpty())
        label->setToolTip(lines(tip));
    return label;
}

} // namespace

TfrmInData::TfrmInData(QWidget *owner) : QDialog(owner), m_db(QStringLiteral("AQry_DB")), m_dm(QStringLiteral("AQry_DM"))
{
    setObjectName(QStringLiteral("frmInData"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("数据录入"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    fitToScreen();
    // The form's own face, as in the other windows: at 11 pixels the largest
    // figure (999999999.99) fits into a 91-pixel edit; the labels set theirs.
    QFont windowFont(QStringLiteral("MS Sans Serif"));
    windowFont.setPixelSize(11);
    setFont(windowFont);
    buildContent();
    FormCreate();
}

// The designed client area, 823 x 676, where the screen has room for it;
// on a smaller screen (a 1366 x 768 laptop at 125 %) the window is made as
// high (and as wide) as the screen's available area allows with its frame,
// and the grid scrolls inside it. Centred in that area.
void TfrmInData::fitToScreen()
{
    const QSize designed(kClientWidth, kClientHeight);
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        setFixedSize(designed);
        return;
    }
    const QRect area = screen->availableGeometry();
    // The frame the window system puts around the client area; before the
    // window is first shown it is not known yet, so a caption and borders
    // as Windows draws them are assumed.
    QMargins frame(frameGeometry().left() - geometry().left(), geometry().top() - frameGeometry().top(),
                   frameGeometry().right() - geometry().right(), frameGeometry().bottom() - geometry().bottom());
    if (!isVisible() || frame.isNull())
        frame = QMargins(8, 31, 8, 8);
    const QSize room(area.width() - frame.left() - frame.right(), area.height() - frame.top() - frame.bottom());
    const QSize size = designed.boundedTo(room).expandedTo(QSize(200, 150));
    setFixedSize(size);
    const QSize outer(size.width() + frame.left() + frame.right(), size.height() + frame.top() + frame.bottom());
    QPoint topLeft = area.topLeft() + QPoint((area.width() - outer.width()) / 2, (area.height() - outer.height()) / 2);
    topLeft.setX(std::max(topLeft.x(), area.left()));
    topLeft.setY(std::max(topLeft.y(), area.top()));
    move(topLeft); // the frame's top left corner
}

TfrmInData::~TfrmInData()
{
    qApp->removeEventFilter(this);
    // The edits outlive this part of the window for a moment; nothing they
    // report may reach it any more.
    for (ui::TDBNumberEdit *e : m_edits) {
        e->OnExit = nullptr;
        e->OnKeyDown = nullptr;
        e->OnKeyPress = nullptr;
        e->OnMouseUp = nullptr;
    }
}

void TfrmInData::buildContent()
{
    auto *panel1 = new QFrame(this);
    panel1->setObjectName(QStringLiteral("Panel1"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel1);
    auto *inner = new QVBoxLayout(panel1);
    inner->setContentsMargins(0, 0, 0, 0);

    m_scrollBox = new QScrollArea(panel1);
    m_scrollBox->setObjectName(QStringLiteral("ScrollBox1"));
    m_scrollBox->setFocusPolicy(Qt::NoFocus);
    // Sideways only on a screen narrower than the designed window.
    m_scrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scrollBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_scrollBox->setWidgetResizable(true);
    inner->addWidget(m_scrollBox);

    auto *canvas = new GridCanvas(m_scrollBox);
    canvas->setObjectName(QStringLiteral("ScrollBox1Content"));
    m_content = canvas;
    const int contentHeight = gridBottom() + 6 + kBottomPanelHeight;
    canvas->setMinimumSize(kGridRight + 8, contentHeight);
    canvas->setMaximumHeight(contentHeight);

    // Banner.
    auto *banner = new QLabel(kBanner, canvas);
    banner->setObjectName(QStringLiteral("Panel2"));
    banner->setFrameShape(QFrame::Panel);
    banner->setFrameShadow(QFrame::Raised);
    banner->setAlignment(Qt::AlignCenter);
    banner->setFont(simSun(16, true));
    canvas->banner = banner;

    // Project line.
    auto *projectLabel = makeLabel(canvas, QStringLiteral("项目名称："), QRect(23, 54, 69, 16),
                                   Qt::AlignLeft | Qt::AlignVCenter, simSun(13, true),
                                   QStringLiteral("请点击右边的“选择”按钮选择项目"));
    projectLabel->setObjectName(QStringLiteral("Label1"));
    m_yydm = new QLineEdit(canvas);
    m_yydm->setObjectName(QStringLiteral("DBEdt_yydm"));
    m_yydm->setGeometry(92, 49, 301, 21);
    m_yydm->setEnabled(false);
    m_yydm->setToolTip(QStringLiteral("请点击右边的按钮选择项目"));
    m_choose = new QToolButton(canvas);
    m_choose->setObjectName(QStringLiteral("SpeedButton1"));
    m_choose->setText(QStringLiteral("选择..."));
    m_choose->setAutoRaise(true);
    // Reached with Shift+Tab from the first figure (or Tab from the save
    // button) and pressed with Space or Enter; a click does not take the focus.
    m_choose->setFocusPolicy(Qt::TabFocus);
    m_choose->setGeometry(398, 49, 59, 22);
    connect(m_choose, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });

    // The grid, from the catalogue.
    const auto &periods = cat::periods();
    const auto &groups = cat::groups();
    const auto &items = cat::items();
    const auto &indicators = cat::indicators();
    const int rows = int(indicators.size());
    const int bottom = gridBottom();
    std::vector<QRect> &rules = canvas->rules;
    const QFont headerFont = simSun(13, true);
    const QFont labelFont = simSun(12, false);

    // Frame, header row and period columns.
    rules.emplace_back(kGridLeft, kGridTop, kGridRight - kGridLeft, kRule);
    rules.emplace_back(kGridLeft, rowRuleY(0), kGridRight - kGridLeft, kRule);
    rules.emplace_back(kGridLeft, bottom - kRule, kGridRight - kGridLeft, kRule);
    rules.emplace_back(kGridLeft, kGridTop, kRule, bottom - kGridTop);
    rules.emplace_back(kRightRuleX, kGridTop, kRule, bottom - kGridTop);
    rules.emplace_back(kGroupRuleX, rowRuleY(0), kRule, bottom - rowRuleY(0));
    for (int x : kPeriodRuleX)
        rules.emplace_back(x, kGridTop, kRule, bottom - kGridTop);
    const int headerTop = kGridTop + kRule;
    const int headerHeight = rowRuleY(0) - headerTop;
    makeLabel(canvas, QStringLiteral("指 标    "), QRect(kGridLeft + kRule, headerTop, kPeriodRuleX[0] - kGridLeft - kRule, headerHeight),
              Qt::AlignCenter, headerFont)
        ->setObjectName(QStringLiteral("Lbl_Header"));
    for (std::size_t p = 0; p < periods.size(); ++p) {
        const int left = kPeriodRuleX[p] + kRule;
        const int right = p + 1 < periods.size() ? kPeriodRuleX[p + 1] : kRightRuleX;
        makeLabel(canvas, periods[p].entryTitle, QRect(left, headerTop, right - left, headerHeight), Qt::AlignCenter,
                  headerFont)
            ->setObjectName(QStringLiteral("Lbl_Period%1").arg(periods[p].index));
    }

    // Rules between rows: a rule between groups spans the whole width, one
    // between items starts at the item column, one between sub-items at the
    // sub-item column.
    for (int row = 1; row < rows; ++row) {
        const cat::Indicator &above = indicators[row - 1];
        const cat::Indicator &below = indicators[row];
        int from = kSubRuleX;
        if (above.group != below.group)
            from = kGridLeft;
        else if (above.item != below.item)
            from = kGroupRuleX;
        rules.emplace_back(from, rowRuleY(row), kGridRight - from, kRule);
    }

    for (std::size_t g = 0; g < groups.size(); ++g) {
        const int top = rowRuleY(groups[g].firstIndicator) + kRule;
        const int bot = rowRuleY(groups[g].lastIndicator + 1);
        makeLabel(canvas, groups[g].caption, QRect(kGridLeft + kRule, top, kGroupRuleX - kGridLeft - kRule, bot - top),
                  Qt::AlignCenter, labelFont)
            ->setObjectName(QStringLiteral("Lbl_Group%1").arg(g + 1));
    }
    for (const cat::Item &item : items) {
        const int top = rowRuleY(item.firstIndicator) + kRule;
        const int bot = rowRuleY(item.lastIndicator + 1);
        const int right = item.hasSubItems() ? kSubRuleX : kPeriodRuleX[0];
        const QString tip = item.hasSubItems() ? item.tooltip : indicators[item.firstIndicator].tooltip;
        makeLabel(canvas, item.caption, QRect(kItemLabelX, top, right - kItemLabelX, bot - top),
                  Qt::AlignLeft | Qt::AlignVCenter, labelFont, tip)
            ->setObjectName(QStringLiteral("Lbl_Item%1").arg(item.number));
        if (item.hasSubItems())
            rules.emplace_back(kSubRuleX, top - kRule, kRule, bot - top + 2 * kRule);
    }
    for (int row = 0; row < rows; ++row) {
        const cat::Indicator &ind = indicators[row];
        if (!cat::itemOf(ind).hasSubItems())
            continue;
        const int top = rowRuleY(row) + kRule;
        makeLabel(canvas, ind.subCaption, QRect(kSubLabelX, top, kPeriodRuleX[0] - kSubLabelX, kRowPitch - kRule),
                  Qt::AlignLeft | Qt::AlignVCenter, labelFont, ind.tooltip)
            ->setObjectName(QStringLiteral("Lbl_") + ind.field);
    }

    // The 295 edits, created and chained period by period: the tab order
    // runs down each period's column, then on to the next period.
    m_edits.reserve(periods.size() * indicators.size());
    for (std::size_t p = 0; p < periods.size(); ++p) {
        for (int row = 0; row < rows; ++row) {
            auto *edit = new ui::TDBNumberEdit(canvas);
            edit->setObjectName(QStringLiteral("DBN") + indicators[row].field + QString::number(periods[p].index));
            edit->setGeometry(kEditX[p], rowRuleY(row) + kRule, kEditWidth, kEditHeight);
            m_edits.push_back(edit);
            m_byName.insert(edit->objectName().toLower(), edit);
        }
    }

    auto *bottomPanel = new ButtonPanel(canvas);
    bottomPanel->setObjectName(QStringLiteral("Panel3"));
    canvas->bottomPanel = bottomPanel;
    m_bottomPanel = bottomPanel;
    m_save = new QPushButton(QStringLiteral("保存退出"), bottomPanel);
    m_save->setObjectName(QStringLiteral("Btn_Save"));
    m_save->setGeometry(kSaveX, kSaveY, kSaveWidth, kSaveHeight);
    bottomPanel->button = m_save;
    connect(m_save, &QPushButton::clicked, this, [this] { Btn_SaveClick(); });

    QWidget *previous = m_choose;
    for (ui::TDBNumberEdit *edit : m_edits) {
        if (previous)
            QWidget::setTabOrder(previous, edit);
        previous = edit;
    }
    QWidget::setTabOrder(previous, m_save);

    m_scrollBox->setWidget(canvas);
    placeButtonPanel();
}

// At the designed size the button panel ends the scrolled content, as
// designed. In a window bounded to a smaller screen it stands below the
// scrolled part instead, so that 保存退出 is in sight without scrolling.
void TfrmInData::placeButtonPanel()
{
    if (!m_bottomPanel)
        return;
    auto *canvas = static_cast<GridCanvas *>(m_content);
    const bool bounded = width() < kClientWidth || height() < kClientHeight;
    const bool outside = canvas->bottomPanel == nullptr;
    if (bounded == outside)
        return;
    const int gridHeight = gridBottom() + 6;
    if (bounded) {
        canvas->bottomPanel = nullptr;
        m_bottomPanel->setFixedHeight(kBottomPanelHeight);
        m_scrollBox->parentWidget()->layout()->addWidget(m_bottomPanel);
        canvas->setMinimumHeight(gridHeight);
        canvas->setMaximumHeight(gridHeight);
    } else {
        m_scrollBox->parentWidget()->layout()->removeWidget(m_bottomPanel);
        m_bottomPanel->setParent(canvas);
        m_bottomPanel->setMinimumHeight(0);
        m_bottomPanel->setMaximumHeight(QWIDGETSIZE_MAX);
        canvas->bottomPanel = m_bottomPanel;
        canvas->setMaximumHeight(gridHeight + kBottomPanelHeight);
        canvas->setMinimumHeight(gridHeight + kBottomPanelHeight);
        m_bottomPanel->setGeometry(0, canvas->height() - kBottomPanelHeight, canvas->width(), kBottomPanelHeight);
    }
    m_bottomPanel->show();
    // A move between parents puts the button last in the focus chain; it
    // stays the stop after the last figure.
    if (!m_edits.empty())
        QWidget::setTabOrder(m_edits.back(), m_save);
}

void TfrmInData::FormCreate()
{
    m_db.setDirectory(store::paths::resultDir());
    m_dm.setDirectory(store::paths::dataMetaDir());
    for (ui::TDBNumberEdit *edit : m_edits) {
        edit->setMaxValue(kMaxFigure);
        edit->setMinValue(0);
        edit->OnMouseUp = [this](ui::TDBNumberEdit *e, Qt::MouseButton b, Qt::KeyboardModifiers, const QPoint &) {
            NumberEditMouseUp(e, b);
        };
        edit->OnExit = [this](ui::TDBNumberEdit *e) { NumberEditExit(e); };
        edit->OnKeyDown = [this](ui::TDBNumberEdit *e, int &key, Qt::KeyboardModifiers) { NumberEditKeyDown(e, key); };
        edit->OnKeyPress = [this](ui::TDBNumberEdit *e, QChar &key) { DBNcws_yy1KeyPress(e, key); };
    }
    m_typeAheadTimer = new QTimer(this);
    m_typeAheadTimer->setInterval(0);
    connect(m_typeAheadTimer, &QTimer::timeout, this, [this] { drainTypeAhead(); });
    // Every wheel turn of the application scrolls this window's grid; keys
    // typed ahead of a rule prompt are kept in order.
    qApp->installEventFilter(this);
    ui::hintstyle::activate();
}

ui::TDBNumberEdit *TfrmInData::findEdit(const QString &name) const
{
    return m_byName.value(name.toLower(), nullptr);
}

void TfrmInData::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Now on its screen, with its frame known.
    fitToScreen();
    placeButtonPanel();
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    try {
        FormShow();
    } catch (const std::exception &e) {
        ui::MessageBox::showStandardError(this, ui::errorText(e));
    }
    m_loaded = shownValues();
    // Typing starts in the first figure, whatever else can take the focus.
    if (!m_edits.empty())
        m_edits.front()->setFocus(Qt::TabFocusReason);
}

std::vector<QVariant> TfrmInData::shownValues() const
{
    std::vector<QVariant> values;
    values.reserve(m_edits.size() + 1);
    values.emplace_back(m_yydm->text());
    for (const ui::TDBNumberEdit *edit : m_edits)
        values.push_back(edit->value());
    return values;
}

bool TfrmInData::modified() const
{
    // Compared as values: "35.50" typed over a loaded 35.5 is no change.
    return shownValues() != m_loaded;
}

void TfrmInData::FormShow()
{
    m_scrollBox->verticalScrollBar()->setValue(0);
    m_db.close();
    m_db.clearSql();
    m_db.setSql(QStringLiteral("select * from result "));
    m_db.open();
    Load();
}

void TfrmInData::Load()
{
    const auto &indicators = cat::indicators();
    for (m_db.first(); !m_db.eof(); m_db.next()) {
        // Only the five period codes have a column here; a row with any
        // other code is left alone instead of overwriting a period.
        const cat::Period *period = cat::periodByCode(m_db.fieldByName(QStringLiteral("nd")).toString().trimmed());
        if (!period)
            continue;
        m_yydm->setText(m_db.fieldByName(QStringLiteral("yydm")).toString().trimmed());
        const QString index = QString::number(period->index);
        for (const cat::Indicator &ind : indicators) {
            if (ui::TDBNumberEdit *edit = findEdit(QStringLiteral("DBN") + ind.field + index))
                edit->setValue(m_db.fieldByName(ind.field));
        }
    }
}

void TfrmInData::Save()
{
    // The five periods are saved as one change: a failure or a kill leaves
    // none of them half saved. A period whose row is missing gets one, with
    // its code, so that what was typed is kept and found again by its code.
    const auto &indicators = cat::indicators();
    std::vector<store::sql::KeyedRow> rows;
    for (const cat::Period &period : cat::periods()) {
        store::sql::KeyedRow row{period.code, {{QStringLiteral("yydm"), m_yydm->text()}}};
        const QString index = QString::number(period.index);
        for (const cat::Indicator &ind : indicators) {
            ui::TDBNumberEdit *edit = findEdit(QStringLiteral("DBN") + ind.field + index);
            row.values.emplace_back(ind.field, edit ? edit->value() : QVariant());
        }
        rows.push_back(std::move(row));
    }
    store::sql::saveKeyedRows(m_db.directory(), QStringLiteral("result"), QStringLiteral("nd"), rows);
    // AQry_DB ends on the last period's row, as after saving row by row.
    m_db.close();
    m_db.clearSql();
    m_db.setSql(QStringLiteral("select * from result where nd='") + cat::periods().back().code + QStringLiteral("'"));
    m_db.open();
}

void TfrmInData::Btn_SaveClick()
{
    if (m_yydm->text().trimmed().isEmpty()) {
        ui::MessageBox::show(this, QStringLiteral("请输入项目编号"), QStringLiteral("提示"), ui::Icon::Information);
        return;
    }
    try {
        const ui::BusyCursor busy;
        for (ui::TDBNumberEdit *edit : m_edits)
            if (edit->text().trimmed().isEmpty())
                edit->setNumber(0);
        Save();
    } catch (const std::exception &e) {
        ui::MessageBox::show(this, ui::errorText(e), QStringLiteral("提示"), ui::Icon::Information);
        return;
    }
    accept();
}

void TfrmInData::SpeedButton1Click()
{
    // The picker opens on the project shown; only a row taken there changes
    // it. Leaving the picker with 退出, its close box, or OK on a list it
    // could not show keeps the project (and the figures' project) as it was.
    auto *picker = new TfrmYymc(this);
    picker->setStartCode(m_yydm->text().trimmed().section(QLatin1Char(' '), 0, 0));
    QString taken;
    connect(picker, &TfrmYymc::rowTaken, this,
            [&taken](const QString &code, const QString &name) { taken = code + QStringLiteral("  ") + name; });
    picker->exec(); // frees itself on closing
    if (!taken.isEmpty())
        m_yydm->setText(taken);
}

void TfrmInData::NumberEditMouseUp(ui::TDBNumberEdit *edit, Qt::MouseButton button)
{
    if (button == Qt::LeftButton)
        edit->selectAll();
}

void TfrmInData::NumberEditExit(ui::TDBNumberEdit *edit)
{
    if (m_closing || m_inPrompt)
        return;
    int indicator = -1;
    int periodIndex = 0;
    if (!cat::parseEditName(edit->objectName(), &indicator, &periodIndex))
        return;
    const cat::Period &period = *cat::periodByIndex(periodIndex);

    m_inPrompt = true;
    m_typedOn = false;
    try {
        QStringList messages;
        // A figure brought to the limit while it was typed is said once.
        const QString clampedFrom = edit->takeClampNotice();
        if (!clampedFrom.isEmpty())
            messages << entry::RulePrompts::clamped(period, clampedFrom, edit->maxValue());
        entry::RulePrompts rules(m_dm);
        const entry::Prompts prompts =
            rules.afterExit(cat::indicators()[std::size_t(indicator)], period, [&](const cat::Indicator &ind) {
                const ui::TDBNumberEdit *e = findEdit(cat::editName(ind, periodIndex));
                return e ? e->value() : QVariant();
            });
        messages << prompts.messages;
        // The edit keeps the rules it breaks in sight (a red frame, their
        // texts as its tooltip) until its figure changes, for a clerk who
        // typed on without looking up.
        if (prompts.mark.isEmpty())
            edit->clearMark();
        else
            edit->setMark(prompts.mark);
        for (const QString &message : messages) {
            ui::MessageBox::showPrompt(this, message);
            // The window takes the keyboard back from the closed box at once:
            // until the window system says so it would not be the active
            // window, and a figure typed meanwhile would move the focus
            // without leaving its edit (no prompt) and without selecting the
            // next one.
            if (!isActiveWindow()) {
                activateWindow();
                QApplication::setActiveWindow(this);
            }
            // A figure typed into the prompt answered it and every prompt
            // after it: the clerk is typing on, the mark keeps the rules.
            if (m_typedOn)
                break;
        }
        if (!messages.isEmpty())
            afterPrompts(edit);
    } catch (const std::exception &e) {
        ui::MessageBox::showStandardError(this, ui::errorText(e));
    }
    m_inPrompt = false;
    m_typedOn = false;
    // Keys typed on through the prompts reach the edit that has the focus.
    if (!m_typeAhead.empty())
        m_typeAheadTimer->start();
}

// A prompt box took the focus while it was moving from `left` to another
// control; once the boxes are closed that control is set up exactly as if
// the move had happened without them.
void TfrmInData::afterPrompts(ui::TDBNumberEdit *left)
{
    QWidget *next = focusWidget();
    if (!next || next == left)
        return;
    // Entered by Tab or Enter an edit has its whole text selected, so that
    // typing replaces the figure; the window coming back to the front after
    // the box would otherwise leave the caret at the end of the old figure.
    if (auto *edit = qobject_cast<ui::TDBNumberEdit *>(next))
        edit->selectAll();
    // A click moved the focus: the box swallowed its release, and its press
    // is still on its way to the control. The press must not undo the
    // selection in an edit, and on the save button it must count as the
    // whole click the user made.
    if (left->exitReason() == Qt::MouseFocusReason)
        m_pressAfterPrompt = next;
}

void TfrmInData::NumberEditKeyDown(ui::TDBNumberEdit *edit, int &key)
{
    switch (key) {
    case Qt::Key_Down:
        moveToNextControl(edit, true);
        break;
    case Qt::Key_Up:
        moveToNextControl(edit, false);
        break;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const QString name = edit->objectName();
        const int index = name.right(1).toInt();
        if (index < 1 || index > 5)
            return;
        const int target = key == Qt::Key_Left ? (index == 1 ? 5 : index - 1) : (index == 5 ? 1 : index + 1);
        if (ui::TDBNumberEdit *to = findEdit(name.left(name.size() - 1) + QString::number(target))) {
            to->setFocus(Qt::TabFocusReason);
            m_scrollBox->ensureWidgetVisible(to);
        }
        break;
    }
    default:
        return;
    }
    key = 0; // consumed: no stepping of the value, no caret move
}

void TfrmInData::DBNcws_yy1KeyPress(ui::TDBNumberEdit *edit, QChar &key)
{
    if (key == QChar(13))
        moveToNextControl(edit, true);
}

void TfrmInData::moveToNextControl(QWidget *from, bool forward)
{
    // The next control of the tab order that takes the focus, as Tab and
    // Shift+Tab find it, wrapping around; Enter and the arrows keep to the
    // figures and the save button and pass over "选择..." (the focus goes
    // there directly, so leaving the edit prompts once).
    QWidget *to = from;
    do {
        to = forward ? to->nextInFocusChain() : to->previousInFocusChain();
        if (!to || to == from)
            return;
    } while (to == m_choose || to->window() != this || !to->isVisibleTo(this) || !to->isEnabled()
             || !(to->focusPolicy() & Qt::TabFocus));
    to->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    m_scrollBox->ensureWidgetVisible(to);
}

void TfrmInData::keyPressEvent(QKeyEvent *event)
{
    // Esc has no binding here: closing would throw away what was typed.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    // Enter on "选择..." presses it, like Space does.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && focusWidget() == m_choose) {
        event->accept();
        m_choose->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmInData::closeEvent(QCloseEvent *event)
{
    // The close box, Alt+F4 or the system menu with figures typed and not
    // saved: ask before anything is thrown away.
    if (!m_closing && isVisible() && modified()) {
        const ui::Answer answer = ui::MessageBox::show(this, QStringLiteral("数据已修改，是否保存？"),
                                                       QStringLiteral("提示"), ui::Icon::Question,
                                                       ui::Buttons::YesNoCancel);
        if (answer == ui::Answer::Cancel) {
            event->ignore();
            return;
        }
        if (answer == ui::Answer::Yes) {
            // Exactly as "保存退出": its checks, its messages; the window
            // stays open with every figure when the save does not happen.
            Btn_SaveClick();
            if (m_closing)
                event->accept();
            else
                event->ignore();
            return;
        }
    }
    QDialog::closeEvent(event);
}

void TfrmInData::done(int result)
{
    m_closing = true;
    QDialog::done(result);
}

bool TfrmInData::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Wheel:
        return filterWheel(watched, static_cast<QWheelEvent *>(event));
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (typeOnThroughPrompt(watched, static_cast<QKeyEvent *>(event)))
            return true;
        if (keepTypeAhead(watched, static_cast<QKeyEvent *>(event)))
            return true;
        [[fallthrough]];
    case QEvent::MouseButtonPress:
        if (event->type() == QEvent::KeyRelease)
            break;
        if (m_pressAfterPrompt) {
            QPointer<QWidget> target = m_pressAfterPrompt;
            m_pressAfterPrompt.clear();
            if (event->type() == QEvent::MouseButtonPress && watched == target
                && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
                if (target == m_save)
                    Btn_SaveClick();
                return true; // an edit keeps its whole text selected
            }
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

QMessageBox *TfrmInData::shownPromptBox() const
{
    for (QMessageBox *box : findChildren<QMessageBox *>(Qt::FindDirectChildrenOnly))
        if (box->isVisible())
            return box;
    return nullptr;
}

namespace {
// A key that begins or continues a figure: a digit or a separator, as
// typed on the main keys, the number pad or through an input method.
bool typesAFigure(const QKeyEvent *key)
{
    if (key->type() != QEvent::KeyPress || key->text().size() != 1
        || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    const QChar c = key->text().at(0);
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= 0xFF10 && u <= 0xFF19) || u == u'.' || u == u','
           || u == 0xFF0C || u == 0xFF0E;
}
} // namespace

// A figure typed while a prompt is up: the clerk is typing on. It answers
// the prompt and, after it, is queued for the edit that receives the focus,
// exactly as if the prompt had been answered first.
bool TfrmInData::typeOnThroughPrompt(QObject *watched, QKeyEvent *event)
{
    if (!m_inPrompt || event == m_replaying || !typesAFigure(event))
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    QMessageBox *box = shownPromptBox();
    if (!widget || !box || widget->window() != box)
        return false;
    m_typeAhead.push_back(std::make_unique<QKeyEvent>(event->type(), event->key(), event->modifiers(),
                                                      event->text(), event->isAutoRepeat()));
    drainTypeAhead();
    return true;
}

// A clerk typing from paper does not wait for a prompt to appear: the keys
// that close it and the next figures may already be on their way, addressed
// to this window, when the box comes up or goes. They are taken here, in the
// order typed: while a box is shown they go to the box (Enter closes it), in
// between and after the prompts they wait until the edit that gets the focus
// has been set up, and then reach it one by one.
bool TfrmInData::keepTypeAhead(QObject *watched, QKeyEvent *event)
{
    if (event == m_replaying)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != this)
        return false;
    if (!m_inPrompt && m_typeAhead.empty())
        return false;
    if (event->type() == QEvent::KeyRelease) {
        // Only a box needs a release (Space presses its button on release).
        if (QMessageBox *box = shownPromptBox(); box && m_typeAhead.empty()) {
            QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text(), event->isAutoRepeat());
            QCoreApplication::sendEvent(box->focusWidget() ? box->focusWidget() : box, &copy);
        }
        return true;
    }
    m_typeAhead.push_back(std::make_unique<QKeyEvent>(event->type(), event->key(), event->modifiers(),
                                                      event->text(), event->isAutoRepeat()));
    drainTypeAhead();
    return true;
}

void TfrmInData::drainTypeAhead()
{
    while (!m_typeAhead.empty()) {
        QWidget *target = nullptr;
        if (QMessageBox *box = shownPromptBox())
            target = box->focusWidget() ? box->focusWidget() : box;
        else if (!m_inPrompt)
            target = focusWidget();
        if (!target) {
            // Between two prompts, or the last box closed and the focus not
            // yet set up: the next turn of the event loop looks again.
            m_typeAheadTimer->start();
            return;
        }
        if (m_inPrompt && typesAFigure(m_typeAhead.front().get())) {
            if (QMessageBox *box = shownPromptBox(); box && target->window() == box) {
                // The figure answers the prompt and waits for the edit.
                m_typedOn = true;
                box->done(QMessageBox::Ok);
                m_typeAheadTimer->start();
                return;
            }
        }
        std::unique_ptr<QKeyEvent> key = std::move(m_typeAhead.front());
        m_typeAhead.pop_front();
        m_replaying = key.get();
        QCoreApplication::sendEvent(target, key.get());
        if (key->type() == QEvent::KeyPress && qobject_cast<QMessageBox *>(target->window())) {
            QKeyEvent release(QEvent::KeyRelease, key->key(), key->modifiers(), key->text());
            m_replaying = &release;
            QCoreApplication::sendEvent(target, &release);
        }
        m_replaying = nullptr;
        // One key at a time when it may have moved the focus or shown a box.
        if (!m_typeAhead.empty()) {
            m_typeAheadTimer->start();
            return;
        }
    }
    m_typeAheadTimer->stop();
}

// Every vertical wheel turn of the application scrolls this window's grid by
// one step. Horizontal movement (a tilted wheel, a touchpad) is left to the
// control under the mouse; a diagonal one is split.
bool TfrmInData::filterWheel(QObject *watched, QWheelEvent *event)
{
    const QPoint angle = event->angleDelta();
    if (angle.y() == 0)
        return false;
    QScrollBar *bar = m_scrollBox->verticalScrollBar();
    bar->setValue(bar->value() + (angle.y() > 0 ? -kWheelStep : kWheelStep));
    if (angle.x() != 0) {
        QWheelEvent sideways(event->position(), event->globalPosition(), QPoint(event->pixelDelta().x(), 0),
                             QPoint(angle.x(), 0), event->buttons(), event->modifiers(), event->phase(),
                             event->inverted(), event->source());
        QCoreApplication::sendEvent(watched, &sideways);
    }
    return true;
}
