// The preview window: the prepared pages one under the other in a scrolling
// view, a tool bar of seven buttons (zoom, open, save, print, find, help,
// close), a find bar and the page number below. Pages are drawn by the same
// painter as the PDF and the printer, into an image per page kept for the
// current zoom.
#include "report/Preview.h"
#include "report/TextLayout.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <optional>
#include <stdexcept>

namespace report {

namespace {

bool g_testMode = false;
std::function<void(PreviewWindow &)> g_testHook;
std::vector<PreparedReport> g_shown;
QStringList g_nextFileNames;
QStringList g_messages;

constexpr int kGap = 12; // pixels around and between the sheets

// A message of the window; recorded instead of shown in test mode.
void tell(QWidget *owner, const QString &text, bool warning)
{
    g_messages.push_back(text);
    if (g_testMode)
        return;
    if (warning)
        QMessageBox::warning(owner, QStringLiteral("提示"), text);
    else
        QMessageBox::information(owner, QStringLiteral("提示"), text);
}

// A file name from the dialog, or in test mode the next queued one.
QString askFileName(QWidget *owner, bool save, const QString &filter, QString *selectedFilter)
{
    if (g_testMode)
        return g_nextFileNames.isEmpty() ? QString() : g_nextFileNames.takeFirst();
    if (save)
        return QFileDialog::getSaveFileName(owner, QStringLiteral("保存报表"), QString(), filter, selectedFilter);
    return QFileDialog::getOpenFileName(owner, QStringLiteral("打开报表"), QString(), filter, selectedFilter);
}

const QString kReportFilter = QStringLiteral("预览报表 (*.prp)");
const QString kPdfFilter = QStringLiteral("PDF 文件 (*.pdf)");

} // namespace

// The sheets, stacked, at the current scale.
class PageView : public QWidget {
public:
    explicit PageView(const PreparedReport *report, QWidget *parent) : QWidget(parent), m_report(report)
    {
        setObjectName(QStringLiteral("pageView"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    void setScale(double pixelsPerMm)
    {
        if (std::abs(pixelsPerMm - m_scale) < 1e-9 && !m_dirty)
            return;
        m_scale = pixelsPerMm;
        m_dirty = false;
        m_images.assign(m_report->pages.size(), QImage());
        int w = 0, h = kGap;
        m_tops.clear();
        for (const PreparedPage &p : m_report->pages) {
            m_tops.push_back(h);
            h += pageSize(p).height() + kGap;
            w = std::max(w, pageSize(p).width());
        }
        resize(w + 2 * kGap, std::max(h, kGap * 2));
        update();
    }
    void reset() { m_dirty = true; }
    double scale() const { return m_scale; }
    QSize pageSize(const PreparedPage &p) const
    {
        return QSize(int(std::lround(p.widthMm * m_scale)), int(std::lround(p.heightMm * m_scale)));
    }
    QRect pageRect(int i) const
    {
        const QSize s = pageSize(m_report->pages[size_t(i)]);
        return QRect((width() - s.width()) / 2, m_tops[size_t(i)], s.width(), s.height());
    }
    int pageAt(int y) const
    {
        int found = 0;
        for (size_t i = 0; i < m_tops.size(); ++i)
            if (m_tops[i] <= y)
                found = int(i);
        return found;
    }
    void setHighlight(int page, const QRectF &mm)
    {
        m_highlightPage = page;
        m_highlightMm = mm;
        update();
    }
    int highlightPage() const { return m_highlightPage; }
    QRectF highlightMm() const { return m_highlightMm; }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter p(this);
        p.fillRect(event->rect(), QColor(0x80, 0x80, 0x80));
        for (size_t i = 0; i < m_report->pages.size(); ++i) {
            const QRect r = pageRect(int(i));
            if (!r.intersects(event->rect()))
                continue;
            if (m_images[i].isNull()) {
                QImage img(r.size(), QImage::Format_RGB32);
                img.fill(Qt::white);
                QPainter ip(&img);
                paintPage(ip, m_report->pages[i], m_scale);
                ip.end();
                m_images[i] = img;
            }
            p.fillRect(r.translated(3, 3), QColor(0x50, 0x50, 0x50));
            p.drawImage(r.topLeft(), m_images[i]);
            if (m_highlightPage == int(i)) {
                const QRectF h(r.left() + m_highlightMm.left() * m_scale, r.top() + m_highlightMm.top() * m_scale,
                               m_highlightMm.width() * m_scale, m_highlightMm.height() * m_scale);
                p.fillRect(h.adjusted(-2, -1, 2, 1), QColor(255, 220, 0, 110));
                p.setPen(QPen(QColor(230, 120, 0), 1));
                p.drawRect(h.adjusted(-2, -1, 2, 1));
            }
        }
    }

private:
    const PreparedReport *m_report;
    double m_scale = 1;
    bool m_dirty = true;
    std::vector<QImage> m_images;
    std::vector<int> m_tops;
    int m_highlightPage = -1;
    QRectF m_highlightMm;
};

struct PreviewWindow::Impl {
    PreparedReport report;
    ZoomMode zoom = ZoomMode::PageWidth;
    QToolBar *toolBar = nullptr;
    QScrollArea *scroll = nullptr;
    PageView *view = nullptr;
    QWidget *findBar = nullptr;
    QLineEdit *findEdit = nullptr;
    QSpinBox *pageSpin = nullptr;
    QLabel *pageCount = nullptr;
    QToolButton *btnPrint = nullptr;
    // Where the last match was: page, text index and offset in its text.
    int matchPage = -1, matchText = -1, matchPos = -1;
    QString searched; // the text of the last search
};

PreviewWindow::PreviewWindow(const PreparedReport &report, QWidget *owner) : QDialog(owner), d(new Impl)
{
    d->report = report;
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(QStringLiteral("Preview"));
    setModal(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    d->toolBar = new QToolBar(this);
    d->toolBar->setObjectName(QStringLiteral("toolBar"));
    d->toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    d->toolBar->setMovable(false);
    auto addButton = [&](const char *name, const QString &text, const QString &tip, QStyle::StandardPixmap icon,
                         auto slot) {
        auto *b = new QToolButton(d->toolBar);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(tip);
        b->setIcon(style()->standardIcon(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, this, slot);
        d->toolBar->addWidget(b);
        return b;
    };
    QToolButton *zoom = addButton("btnZoom", QStringLiteral("缩放"), QStringLiteral("页宽、整页、100% 之间切换"),
                                  QStyle::SP_FileDialogContentsView, [this] { cycleZoom(); });
    auto *zoomMenu = new QMenu(zoom);
    zoomMenu->setObjectName(QStringLiteral("zoomMenu"));
    zoomMenu->addAction(QStringLiteral("页宽"), this, [this] { setZoom(ZoomMode::PageWidth); });
    zoomMenu->addAction(QStringLiteral("整页"), this, [this] { setZoom(ZoomMode::WholePage); });
    zoomMenu->addAction(QStringLiteral("100%"), this, [this] { setZoom(ZoomMode::Actual); });
    zoom->setMenu(zoomMenu);
    zoom->setPopupMode(QToolButton::MenuButtonPopup);
    addButton("btnOpen", QStringLiteral("打开"), QStringLiteral("打开保存的预览报表"), QStyle::SP_DialogOpenButton,
              [this] { openReport(); });
    addButton("btnSave", QStringLiteral("保存"), QStringLiteral("保存预览报表或 PDF 文件"), QStyle::SP_DialogSaveButton,
              [this] { saveReport(); });
    d->btnPrint = addButton("btnPrint", QStringLiteral("打印"), QStringLiteral("打印报表"), QStyle::SP_FileIcon,
                            [this] { printReport(); });
    d->btnPrint->setEnabled(!QPrinterInfo::availablePrinters().isEmpty());
    if (!d->btnPrint->isEnabled())
        d->btnPrint->setToolTip(QStringLiteral("没有安装打印机"));
    addButton("btnFind", QStringLiteral("查找"), QStringLiteral("查找文字"), QStyle::SP_FileDialogDetailedView,
              [this] { findClicked(); });
    addButton("btnHelp", QStringLiteral("帮助"), QStringLiteral("按钮说明"), QStyle::SP_DialogHelpButton,
              [this] { showHelp(); });
    addButton("btnClose", QStringLiteral("关闭"), QStringLiteral("关闭预览"), QStyle::SP_DialogCloseButton,
              [this] { accept(); });
    layout->addWidget(d->toolBar);

    d->findBar = new QWidget(this);
    d->findBar->setObjectName(QStringLiteral("findBar"));
    auto *findLayout = new QHBoxLayout(d->findBar);
    findLayout->setContentsMargins(6, 2, 6, 2);
    findLayout->addWidget(new QLabel(QStringLiteral("查找："), d->findBar));
    d->findEdit = new QLineEdit(d->findBar);
    d->findEdit->setObjectName(QStringLiteral("findEdit"));
    findLayout->addWidget(d->findEdit, 1);
    auto *findNextButton = new QPushButton(QStringLiteral("查找下一个"), d->findBar);
    findNextButton->setObjectName(QStringLiteral("findNextButton"));
    findNextButton->setAutoDefault(false);
    findLayout->addWidget(findNextButton);
    connect(findNextButton, &QPushButton::clicked, this, [this] { findNext(d->findEdit->text()); });
    connect(d->findEdit, &QLineEdit::returnPressed, this, [this] { findNext(d->findEdit->text()); });
    d->findBar->hide();
    layout->addWidget(d->findBar);

    d->scroll = new QScrollArea(this);
    d->scroll->setObjectName(QStringLiteral("pageScroll"));
    d->scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    d->scroll->setBackgroundRole(QPalette::Dark);
    d->view = new PageView(&d->report, d->scroll);
    d->scroll->setWidget(d->view);
    d->scroll->setWidgetResizable(false);
    layout->addWidget(d->scroll, 1);
    d->scroll->viewport()->installEventFilter(this);

    auto *status = new QWidget(this);
    auto *statusLayout = new QHBoxLayout(status);
    statusLayout->setContentsMargins(6, 2, 6, 2);
    statusLayout->addWidget(new QLabel(QStringLiteral("第"), status));
    d->pageSpin = new QSpinBox(status);
    d->pageSpin->setObjectName(QStringLiteral("pageSpin"));
    statusLayout->addWidget(d->pageSpin);
    d->pageCount = new QLabel(status);
    d->pageCount->setObjectName(QStringLiteral("pageCount"));
    statusLayout->addWidget(d->pageCount);
    statusLayout->addStretch(1);
    layout->addWidget(status);
    connect(d->pageSpin, qOverload<int>(&QSpinBox::valueChanged), this, [this](int v) {
        if (v - 1 != currentPage())
            goToPage(v - 1);
    });
    connect(d->scroll->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { updatePageNumber(); });

    // A sheet's width fits most screens; the window opens large.
    QSize size(900, 760);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        size = QSize(std::min(size.width(), avail.width() * 9 / 10), std::min(avail.height() * 9 / 10, 1000));
    }
    resize(size);
    reportChanged();
}

PreviewWindow::~PreviewWindow() { delete d; }

const PreparedReport &PreviewWindow::report() const { return d->report; }

void PreviewWindow::reportChanged()
{
    d->matchPage = d->matchText = d->matchPos = -1;
    d->view->setHighlight(-1, QRectF());
    const int n = int(d->report.pages.size());
    d->pageSpin->setRange(n > 0 ? 1 : 0, std::max(n, 0));
    d->pageCount->setText(QStringLiteral("页，共 %1 页").arg(n));
    d->view->reset();
    applyZoom();
    d->scroll->verticalScrollBar()->setValue(0);
    updatePageNumber();
}

double PreviewWindow::pixelsPerMm() const { return d->view->scale(); }
PreviewWindow::ZoomMode PreviewWindow::zoomMode() const { return d->zoom; }

void PreviewWindow::setZoom(ZoomMode mode)
{
    const int page = currentPage();
    d->zoom = mode;
    applyZoom();
    if (page >= 0)
        goToPage(page);
}

void PreviewWindow::cycleZoom()
{
    switch (d->zoom) {
    case ZoomMode::PageWidth: setZoom(ZoomMode::WholePage); break;
    case ZoomMode::WholePage: setZoom(ZoomMode::Actual); break;
    case ZoomMode::Actual: setZoom(ZoomMode::PageWidth); break;
    }
}

void PreviewWindow::applyZoom()
{
    double wMm = 210, hMm = 297;
    for (const PreparedPage &p : d->report.pages) {
        wMm = std::max(wMm, p.widthMm);
        hMm = std::max(hMm, p.heightMm);
    }
    const QSize vp = d->scroll->viewport()->size();
    const int scrollBar = d->scroll->verticalScrollBar()->sizeHint().width();
    double scale = 1;
    switch (d->zoom) {
    case ZoomMode::PageWidth:
        scale = std::max(50, vp.width() - 2 * kGap - (d->scroll->verticalScrollBar()->isVisible() ? 0 : scrollBar)) / wMm;
        break;
    case ZoomMode::WholePage:
        scale = std::min(std::max(50, vp.width() - 2 * kGap) / wMm, std::max(50, vp.height() - 2 * kGap) / hMm);
        break;
    case ZoomMode::Actual:
        scale = logicalDpiX() / 25.4;
        break;
    }
    d->view->setScale(std::max(0.5, scale));
}

void PreviewWindow::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    const int page = currentPage();
    applyZoom();
    if (page > 0)
        goToPage(page);
}

bool PreviewWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The fitted zooms follow the page view's own size. When the window is
    // first shown its resize reaches the dialog before the scroll area has
    // its final size, so the view is fitted again once the viewport has it.
    if (watched == d->scroll->viewport() && event->type() == QEvent::Resize && d->zoom != ZoomMode::Actual) {
        const int page = currentPage();
        applyZoom();
        if (page > 0)
            goToPage(page);
    }
    return QDialog::eventFilter(watched, event);
}

void PreviewWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_PageDown && event->modifiers() == Qt::NoModifier) {
        goToPage(currentPage() + 1);
        return;
    }
    if (event->key() == Qt::Key_PageUp && event->modifiers() == Qt::NoModifier) {
        goToPage(currentPage() - 1);
        return;
    }
    if (event->matches(QKeySequence::Find)) {
        findClicked();
        return;
    }
    if (event->key() == Qt::Key_F3) {
        findNext(d->findEdit->text());
        return;
    }
    QDialog::keyPressEvent(event);
}

int PreviewWindow::currentPage() const
{
    if (d->report.pages.empty())
        return -1;
    // The page that fills the middle of the view.
    const int y = d->scroll->verticalScrollBar()->value() + d->scroll->viewport()->height() / 3;
    return d->view->pageAt(y);
}

void PreviewWindow::goToPage(int page)
{
    const int n = int(d->report.pages.size());
    if (n == 0)
        return;
    page = std::clamp(page, 0, n - 1);
    d->scroll->verticalScrollBar()->setValue(d->view->pageRect(page).top() - kGap);
    updatePageNumber();
}

void PreviewWindow::updatePageNumber()
{
    const int page = currentPage();
    const QSignalBlocker block(d->pageSpin);
    d->pageSpin->setValue(page + 1);
}

int PreviewWindow::pageCount() const { return int(d->report.pages.size()); }

bool PreviewWindow::findNext(const QString &text)
{
    const int n = int(d->report.pages.size());
    if (text.isEmpty() || n == 0)
        return false;
    if (text.compare(d->searched, Qt::CaseInsensitive) != 0) {
        // A new search starts from the page on view.
        d->matchPage = d->matchText = d->matchPos = -1;
        d->searched = text;
    }
    // From just after the last match, or from the page on view.
    int page = d->matchPage >= 0 ? d->matchPage : std::max(0, currentPage());
    int index = d->matchPage >= 0 ? d->matchText : 0;
    qsizetype from = d->matchPage >= 0 ? d->matchPos + 1 : 0;
    for (int step = 0; step <= n; ++step) {
        const PreparedPage &p = d->report.pages[size_t(page)];
        for (; index < int(p.texts.size()); ++index, from = 0) {
            const QString &t = p.texts[size_t(index)].cell.text;
            const qsizetype at = t.indexOf(text, from, Qt::CaseInsensitive);
            if (at < 0)
                continue;
            d->matchPage = page;
            d->matchText = index;
            d->matchPos = int(at);
            showMatch();
            return true;
        }
        page = (page + 1) % n;
        index = 0;
        from = 0;
    }
    d->matchPage = d->matchText = d->matchPos = -1;
    d->view->setHighlight(-1, QRectF());
    tell(this, QStringLiteral("没有找到“%1”。").arg(text), false);
    return false;
}

void PreviewWindow::showMatch()
{
    const TextCell &cell = d->report.pages[size_t(d->matchPage)].texts[size_t(d->matchText)].cell;
    // The laid-out line that holds the match, or the cell where it is cut off.
    QRectF box = cell.rect;
    const LaidText laid = layoutText(cell);
    if (!laid.lines.empty()) {
        box = laid.lines.front().boxMm();
        for (const LaidLine &l : laid.lines)
            if (l.text.contains(d->searched, Qt::CaseInsensitive)) {
                box = l.boxMm();
                break;
            }
        box = box.intersected(cell.rect);
        if (box.isEmpty())
            box = cell.rect;
    }
    d->view->setHighlight(d->matchPage, box);
    const QRect pageRect = d->view->pageRect(d->matchPage);
    const double s = d->view->scale();
    const int y = pageRect.top() + int(box.center().y() * s);
    const int x = pageRect.left() + int(box.center().x() * s);
    // The match goes to a third of the view's height (where the page on view
    // is read), unless it is already in view on the page on view.
    QScrollBar *vs = d->scroll->verticalScrollBar();
    const int vh = d->scroll->viewport()->height();
    const bool inView = y >= vs->value() + vh / 8 && y <= vs->value() + vh * 7 / 8;
    if (!inView || currentPage() != d->matchPage)
        vs->setValue(y - vh / 3);
    d->scroll->ensureVisible(x, vs->value() + vh / 2, d->scroll->viewport()->width() / 3, 0);
    updatePageNumber();
}

int PreviewWindow::highlightedPage() const { return d->view->highlightPage(); }
QRectF PreviewWindow::highlightedRectMm() const { return d->view->highlightMm(); }

void PreviewWindow::findClicked()
{
    if (d->findBar->isHidden()) {
        d->findBar->show();
        d->findEdit->setFocus();
        d->findEdit->selectAll();
        return;
    }
    if (d->findEdit->text().isEmpty()) {
        d->findEdit->setFocus();
        return;
    }
    findNext(d->findEdit->text());
}

void PreviewWindow::showHelp()
{
    tell(this,
         QStringLiteral("缩放：在页宽、整页和 100% 之间切换（按钮右侧的箭头可直接选择）。\n"
                        "打开：打开以前保存的预览报表（*.prp）。\n"
                        "保存：把当前报表保存为预览报表（*.prp）或 PDF 文件。\n"
                        "打印：选择打印机、份数、逐份打印和页码范围后打印；没有安装打印机时不能使用。\n"
                        "查找：输入文字后按回车或“查找下一个”，找到的文字以黄色标出并翻到所在页。\n"
                        "关闭：关闭预览窗口。\n"
                        "PageUp / PageDown 翻页，下方的页码框可直接跳到某一页。"),
         false);
}

bool PreviewWindow::openReport()
{
    QString filter = kReportFilter;
    const QString path = askFileName(this, false, kReportFilter + QStringLiteral(";;所有文件 (*)"), &filter);
    if (path.isEmpty())
        return false;
    try {
        d->report = PreparedReport::load(path);
    } catch (const std::exception &e) {
        tell(this, store::errorText(e), true);
        return false;
    }
    reportChanged();
    return true;
}

bool PreviewWindow::saveReport()
{
    QString filter = kReportFilter;
    QString path = askFileName(this, true, kReportFilter + QStringLiteral(";;") + kPdfFilter, &filter);
    if (path.isEmpty())
        return false;
    const bool pdf = path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ||
                     (filter == kPdfFilter && !path.endsWith(QStringLiteral(".prp"), Qt::CaseInsensitive));
    if (!path.contains(QLatin1Char('.')) || (!pdf && !path.endsWith(QStringLiteral(".prp"), Qt::CaseInsensitive) &&
                                             QFileInfo(path).suffix().isEmpty()))
        path += pdf ? QStringLiteral(".pdf") : QStringLiteral(".prp");
    std::optional<QString> problem;
    try {
        // The busy cursor lasts as long as the writing, whatever way it ends.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        if (pdf)
            writePdf(d->report, path);
        else
            d->report.save(path);
    } catch (const std::exception &e) {
        problem = store::errorText(e);
    }
    if (problem)
        tell(this, *problem, true);
    return !problem;
}

void PreviewWindow::printReport()
{
    if (d->report.pages.empty() || QPrinterInfo::availablePrinters().isEmpty())
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(d->report.title);
    printer.setCollateCopies(true);
    printer.setCopyCount(1);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFromTo(1, int(d->report.pages.size()));
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("打印"));
    dialog.setMinMax(1, int(d->report.pages.size()));
    dialog.setOptions(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintCollateCopies |
                      QAbstractPrintDialog::PrintShowPageSize | QAbstractPrintDialog::PrintCurrentPage);
    if (dialog.exec() != QDialog::Accepted)
        return;
    try {
        printPages(printer, currentPage());
    } catch (const std::exception &e) {
        tell(this, store::errorText(e), true);
    }
}

void PreviewWindow::printPages(QPrinter &printer, int currentPage) const
{
    const int n = int(d->report.pages.size());
    int from = 0, to = n - 1;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        from = std::clamp(printer.fromPage() - 1, 0, n - 1);
        to = std::clamp(printer.toPage() > 0 ? printer.toPage() - 1 : n - 1, from, n - 1);
    } else if (printer.printRange() == QPrinter::CurrentPage && currentPage >= 0) {
        from = to = currentPage;
    }
    // Copies the driver cannot make are made here, collated or not.
    int copies = 1;
    if (!printer.supportsMultipleCopies()) {
        copies = std::max(1, printer.copyCount());
        printer.setCopyCount(1);
    }
    std::vector<int> order;
    if (printer.collateCopies()) {
        for (int c = 0; c < copies; ++c)
            for (int p = from; p <= to; ++p)
                order.push_back(p);
    } else {
        for (int p = from; p <= to; ++p)
            for (int c = 0; c < copies; ++c)
                order.push_back(p);
    }
    // The sheet is the page: coordinates from the sheet's left edge, the top
    // of the printable area as the only top margin.
    printer.setFullPage(true);
    QPageLayout pageLayout = printer.pageLayout();
    pageLayout.setUnits(QPageLayout::Millimeter);
    const double topMm = std::max(0.0, pageLayout.minimumMargins().top());
    QPainter painter;
    for (size_t i = 0; i < order.size(); ++i) {
        const PreparedPage &page = d->report.pages[size_t(order[i])];
        const QPageSize size(QSizeF(page.widthMm, page.heightMm), QPageSize::Millimeter, QString(),
                             QPageSize::FuzzyMatch);
        if (i == 0) {
            printer.setPageSize(size);
            if (!painter.begin(&printer))
                throw store::Error(store::ErrorKind::Io, QStringLiteral("无法开始打印，请检查打印机。"));
        } else {
            printer.setPageSize(size);
            printer.newPage();
        }
        const double pixelsPerMm = printer.resolution() / 25.4;
        painter.save();
        painter.translate(0, topMm * pixelsPerMm);
        paintPage(painter, page, pixelsPerMm);
        painter.restore();
    }
    painter.end();
}

void PreviewWindow::showModal(QWidget *owner, const PreparedReport &report)
{
    if (g_testMode) {
        g_shown.push_back(report);
        PreviewWindow w(report, owner);
        w.setModal(false);
        w.show();
        w.applyZoom();
        if (g_testHook)
            g_testHook(w);
        w.close();
        return;
    }
    PreviewWindow w(report, owner);
    w.setWindowState(w.windowState() | Qt::WindowMaximized);
    w.exec();
}

void PreviewWindow::setTestMode(bool on) { g_testMode = on; }
bool PreviewWindow::testMode() { return g_testMode; }
void PreviewWindow::setTestHook(std::function<void(PreviewWindow &)> hook) { g_testHook = std::move(hook); }
const std::vector<PreparedReport> &PreviewWindow::shownReports() { return g_shown; }
void PreviewWindow::clearShownReports() { g_shown.clear(); }
void PreviewWindow::queueFileName(const QString &path) { g_nextFileNames.push_back(path); }
QStringList PreviewWindow::takeMessages()
{
    QStringList m = g_messages;
    g_messages.clear();
    return m;
}

} // namespace report
