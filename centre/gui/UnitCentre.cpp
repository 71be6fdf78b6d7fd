#include "centre/gui/UnitCentre.h"

#include "centre/Collect.h"
#include "centre/Committee.h"
#include "centre/Declarations.h"
#include "centre/gui/IndicatorChart.h"
#include "centre/gui/ProjectTable.h"
#include "controls/MessageBox.h"
#include "controls/WindowSupport.h"
#include "report/Preview.h"
#include "store/Catalogue.h"
#include "store/Paths.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QThread>
#include <QToolBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <exception>
#include <optional>

namespace {

QString T(const char *utf8) { return QString::fromUtf8(utf8); }

const QString &windowCaption()
{
    static const QString caption = T("重点专科项目申报数据 监测中心");
    return caption;
}

// A refused file is listed with its reason; a long list is cut here, with
// the number left out, so that the box still fits the screen.
constexpr int kListedRefusals = 25;

QTableWidget *makeList(const QString &name, const QStringList &headers, QWidget *parent)
{
    auto *table = new QTableWidget(0, int(headers.size()), parent);
    table->setObjectName(name);
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setWordWrap(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    return table;
}

void fillRow(QTableWidget *table, int row, const QStringList &cells)
{
    for (int c = 0; c < cells.size(); ++c) {
        auto *item = new QTableWidgetItem(cells[c]);
        item->setToolTip(cells[c]);
        table->setItem(row, c, item);
    }
}

// A database that exists is opened as it is: read-only when this user may
// not write it (reading works; a collect says it is read-only). A new file
// name creates the database.
std::unique_ptr<centre::Database> openForWindow(const QString &name)
{
    return centre::Database::isPostgresName(name) || QFileInfo::exists(name) ? centre::Database::openExisting(name)
                                                                              : centre::Database::open(name);
}

QString localTime(const QDateTime &utc) { return utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")); }

} // namespace

struct CentreWindow::Job {
    CentreWindow *window = nullptr;
    std::atomic<bool> cancel{false};
    QThread *thread = nullptr;
    std::optional<store::Error> error;
    std::function<void(const std::optional<store::Error> &)> done;

    // From the worker thread: shown by the window in its own thread.
    void progress(int doneCount, int total, const QString &text)
    {
        QMetaObject::invokeMethod(
            window, [w = window, doneCount, total, text] { w->jobProgress(doneCount, total, text); },
            Qt::QueuedConnection);
    }
};

CentreWindow::CentreWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("centreWindow"));
    setWindowTitle(windowCaption());
    buildWindow();
    buildMenu();
    resize(1280, 800);
    ui::centreOnScreen(this);
    loadReference();
    updateSummary();
    updateActions();
    m_search->setFocus();
}

CentreWindow::~CentreWindow()
{
    // A running job is stopped at its next file and waited for: its thread
    // holds its own connection to the database.
    if (m_job) {
        m_job->cancel = true;
        m_job->thread->wait();
        delete m_job->thread;
    }
}

void CentreWindow::buildMenu()
{
    auto add = [this](QMenu *menu, const char *name, const char *text, auto handler) {
        QAction *action = menu->addAction(T(text));
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenu *database = menuBar()->addMenu(T("数据库"));
    database->setObjectName(QStringLiteral("mnuDatabase"));
    add(database, "actOpenFile", "打开或新建数据库文件…", &CentreWindow::askOpenFile);
    add(database, "actOpenPostgres", "连接 PostgreSQL 数据库…", &CentreWindow::askOpenPostgres);
    // Another reviewer's collect appears on F5, and on PostgreSQL (where
    // several reviewers share one database) every half minute by itself.
    add(database, "actRefresh", "刷新", &CentreWindow::refresh)->setShortcut(QKeySequence::Refresh);
    database->addSeparator();
    add(database, "actExit", "退出", &QWidget::close);

    QMenu *collect = menuBar()->addMenu(T("收集"));
    collect->setObjectName(QStringLiteral("mnuCollect"));
    add(collect, "actCollectFolder", "收集文件夹…", &CentreWindow::askCollectFolder);
    add(collect, "actCollectFiles", "收集上报文件…", &CentreWindow::askCollectFiles);

    QMenu *exports = menuBar()->addMenu(T("导出"));
    exports->setObjectName(QStringLiteral("mnuExport"));
    add(exports, "actExportDeclarations", "申报数据（CSV/XLSX）…", [this] { askExport(centre::ExportPart::Declarations); });
    add(exports, "actExportFindings", "审核发现（CSV/XLSX）…", [this] { askExport(centre::ExportPart::Findings); });
    add(exports, "actExportImplausible", "异常数值（CSV/XLSX）…", [this] { askExport(centre::ExportPart::Implausible); });
    exports->addSeparator();
    add(exports, "actExportPdf", "评审委员会报告（PDF）…", &CentreWindow::askCommitteePdf);

    QToolBar *tools = addToolBar(T("工具栏"));
    tools->setObjectName(QStringLiteral("tbrMain"));
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (const char *name : {"actOpenFile", "actCollectFolder", "actCollectFiles", "actExportDeclarations", "actExportPdf"})
        tools->addAction(findChild<QAction *>(QLatin1String(name)));
    tools->addSeparator();
    auto *factorLabel = new QLabel(T(" 数值相差超过 "), tools);
    m_factorBox = new QDoubleSpinBox(tools);
    m_factorBox->setObjectName(QStringLiteral("spnChangeFactor"));
    m_factorBox->setRange(1.5, 1000);
    m_factorBox->setDecimals(1);
    m_factorBox->setSingleStep(0.5);
    m_factorBox->setValue(m_options.changeFactor);
    m_factorBox->setSuffix(T(" 倍"));
    m_factorBox->setToolTip(T("数值与本项目其他时期、或与各项目的中位数相差超过此倍数时计为异常数值（0 不计，很小的数需相差更多）"));
    tools->addWidget(factorLabel);
    tools->addWidget(m_factorBox);
    tools->addWidget(new QLabel(T(" 计为异常"), tools));
    connect(m_factorBox, &QDoubleSpinBox::editingFinished, this, [this] { setChangeFactor(m_factorBox->value()); });
}

void CentreWindow::setChangeFactor(double factor)
{
    if (factor == m_options.changeFactor)
        return;
    m_options.changeFactor = factor;
    const QSignalBlocker block(m_factorBox);
    m_factorBox->setValue(factor);
    if (!m_db)
        return;
    try {
        reload();
    } catch (const std::exception &e) {
        ui::MessageBox::show(this, ui::errorText(e), T("错误"), ui::Icon::Warning);
    }
}

void CentreWindow::buildWindow()
{
    auto *split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("splMain"));

    // Left: search, status filter, the projects, the summary line.
    auto *left = new QWidget(split);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(6, 6, 3, 6);
    auto *searchRow = new QHBoxLayout;
    auto *searchLabel = new QLabel(T("查找："), left);
    m_search = new QLineEdit(left);
    m_search->setObjectName(QStringLiteral("edtSearch"));
    m_search->setPlaceholderText(T("输入项目编码或名称的一部分"));
    m_search->setClearButtonEnabled(true);
    searchLabel->setBuddy(m_search);
    m_show = new QComboBox(left);
    m_show->setObjectName(QStringLiteral("cmbShow"));
    m_show->addItems(centregui::ProjectFilter::showTexts());
    searchRow->addWidget(searchLabel);
    searchRow->addWidget(m_search, 1);
    searchRow->addWidget(m_show);
    leftLayout->addLayout(searchRow);

    m_model = new centregui::ProjectStatusModel(this);
    m_filter = new centregui::ProjectFilter(this);
    m_filter->setSourceModel(m_model);
    m_projectView = new QTableView(left);
    m_projectView->setObjectName(QStringLiteral("grdProjects"));
    m_projectView->setModel(m_filter);
    m_projectView->setSortingEnabled(true);
    m_projectView->sortByColumn(centregui::ProjectStatusModel::Code, Qt::AscendingOrder);
    m_projectView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_projectView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_projectView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_projectView->setAlternatingRowColors(true);
    m_projectView->setWordWrap(false);
    m_projectView->verticalHeader()->setVisible(false);
    m_projectView->verticalHeader()->setDefaultSectionSize(m_projectView->fontMetrics().height() + 6);
    // The current file's name is in the project panel; the table keeps to
    // what fits beside it.
    m_projectView->setColumnHidden(centregui::ProjectStatusModel::FileName, true);
    m_projectView->setColumnWidth(centregui::ProjectStatusModel::Code, 90);
    m_projectView->setColumnWidth(centregui::ProjectStatusModel::Name, 225);
    for (int c : {centregui::ProjectStatusModel::Sent, centregui::ProjectStatusModel::Findings,
                  centregui::ProjectStatusModel::Mismatch, centregui::ProjectStatusModel::Implausible})
        m_projectView->setColumnWidth(c, 62);
    leftLayout->addWidget(m_projectView, 1);
    m_summary = new QLabel(left);
    m_summary->setObjectName(QStringLiteral("lblSummary"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    leftLayout->addWidget(m_summary);

    connect(m_search, &QLineEdit::textChanged, m_filter, &centregui::ProjectFilter::setSearchText);
    connect(m_show, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int i) { m_filter->setShow(centregui::ProjectFilter::Show(i)); });
    connect(m_projectView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CentreWindow::projectRowChanged);
    // A double-click or Enter on a project opens its form.
    connect(m_projectView, &QTableView::activated, this, &CentreWindow::previewDeclaration);

    // Right: the chosen project above, the chart below.
    auto *right = new QSplitter(Qt::Vertical, split);
    auto *project = new QGroupBox(T("所选项目"), right);
    project->setObjectName(QStringLiteral("grpProject"));
    auto *projectLayout = new QVBoxLayout(project);
    auto *titleRow = new QHBoxLayout;
    m_projectTitle = new QLabel(project);
    m_projectTitle->setObjectName(QStringLiteral("lblProject"));
    m_projectTitle->setWordWrap(true);
    m_projectTitle->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_previewButton = new QPushButton(T("查看申报表"), project);
    m_previewButton->setObjectName(QStringLiteral("btnPreview"));
    connect(m_previewButton, &QPushButton::clicked, this, &CentreWindow::previewDeclaration);
    titleRow->addWidget(m_projectTitle, 1);
    titleRow->addWidget(m_previewButton, 0, Qt::AlignTop);
    projectLayout->addLayout(titleRow);
    m_projectTabs = new QTabWidget(project);
    m_projectTabs->setObjectName(QStringLiteral("tabProject"));
    m_findings = makeList(QStringLiteral("grdFindings"), {T("时期"), T("审核发现")}, m_projectTabs);
    m_implausible = makeList(QStringLiteral("grdImplausible"), {T("指标"), T("时期"), T("数值"), T("说明")}, m_projectTabs);
    m_files = makeList(QStringLiteral("grdFiles"),
                       {T("文件"), T("收集时间"), T("医院标记"), T("审核发现"), T("当前"), T("申报日期"), T("来源路径"),
                        T("收集人"), T("主机")},
                       m_projectTabs);
    m_findings->setColumnWidth(0, 90);
    m_implausible->setColumnWidth(0, 220);
    m_files->setColumnWidth(0, 180);
    m_files->setColumnWidth(1, 130);
    connect(m_implausible, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (const QTableWidgetItem *item = m_implausible->item(row, 0))
            setChartFigure(item->data(Qt::UserRole).toInt(), item->data(Qt::UserRole + 1).toInt());
    });
    m_projectTabs->addTab(m_findings, T("审核发现"));
    m_projectTabs->addTab(m_implausible, T("异常数值"));
    m_projectTabs->addTab(m_files, T("上报文件"));
    projectLayout->addWidget(m_projectTabs, 1);

    auto *chartBox = new QGroupBox(T("指标比较"), right);
    chartBox->setObjectName(QStringLiteral("grpChart"));
    auto *chartLayout = new QVBoxLayout(chartBox);
    auto *chartRow = new QHBoxLayout;
    m_indicatorBox = new QComboBox(chartBox);
    m_indicatorBox->setObjectName(QStringLiteral("cmbIndicator"));
    for (int i = 0; i < centre::kIndicators; ++i)
        m_indicatorBox->addItem(centre::indicatorTitle(i));
    m_indicatorBox->setMaxVisibleItems(20);
    m_periodBox = new QComboBox(chartBox);
    m_periodBox->setObjectName(QStringLiteral("cmbPeriod"));
    for (const auto &period : store::catalogue::periods())
        m_periodBox->addItem(period.label);
    chartRow->addWidget(new QLabel(T("指标："), chartBox));
    chartRow->addWidget(m_indicatorBox, 1);
    chartRow->addWidget(new QLabel(T("时期："), chartBox));
    chartRow->addWidget(m_periodBox);
    chartLayout->addLayout(chartRow);
    m_chart = new centregui::IndicatorChart(chartBox);
    chartLayout->addWidget(m_chart, 1);
    auto chartChanged = [this] { setChartFigure(m_indicatorBox->currentIndex(), m_periodBox->currentIndex() + 1); };
    connect(m_indicatorBox, qOverload<int>(&QComboBox::currentIndexChanged), this, chartChanged);
    connect(m_periodBox, qOverload<int>(&QComboBox::currentIndexChanged), this, chartChanged);

    right->addWidget(project);
    right->addWidget(chartBox);
    right->setSizes({300, 460});
    split->addWidget(left);
    split->addWidget(right);
    split->setSizes({590, 690});
    setCentralWidget(split);

    // Status bar: the database on the left, a running job on the right.
    m_databaseLabel = new QLabel(this);
    m_databaseLabel->setObjectName(QStringLiteral("lblDatabase"));
    statusBar()->addWidget(m_databaseLabel, 1);
    m_jobLabel = new QLabel(this);
    m_jobLabel->setObjectName(QStringLiteral("lblJob"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("barProgress"));
    m_progress->setFixedWidth(260);
    m_cancelButton = new QPushButton(T("取消"), this);
    m_cancelButton->setObjectName(QStringLiteral("btnCancel"));
    connect(m_cancelButton, &QPushButton::clicked, this, &CentreWindow::cancelJob);
    statusBar()->addPermanentWidget(m_jobLabel);
    statusBar()->addPermanentWidget(m_progress);
    statusBar()->addPermanentWidget(m_cancelButton);
    m_jobLabel->hide();
    m_progress->hide();
    m_cancelButton->hide();
}

bool CentreWindow::loadReference()
{
    try {
        m_reference = std::make_shared<const centre::Reference>(centre::Reference::load(store::paths::programDir()));
        return true;
    } catch (const std::exception &e) {
        ui::MessageBox::show(this,
                             ui::errorText(e) + T("\n\n项目列表、申报表模板和审核规则读自程序目录下的 DataMeta 文件夹，"
                                                  "请确认该文件夹完整后重新启动本程序。"),
                             T("错误"), ui::Icon::Warning);
        return false;
    }
}

bool CentreWindow::openDatabase(const QString &name)
{
    if (m_job)
        return false;
    if (!m_reference && !loadReference())
        return false;
    std::optional<QString> problem;
    try {
        const ui::BusyCursor busy;
        auto db = openForWindow(name.trimmed());
        m_db = std::move(db);
        reload();
        if (!m_refreshTimer) {
            m_refreshTimer = new QTimer(this);
            m_refreshTimer->setInterval(30000);
            connect(m_refreshTimer, &QTimer::timeout, this, [this] { refresh(); });
        }
        m_db->isPostgres() ? m_refreshTimer->start() : m_refreshTimer->stop();
    } catch (const std::exception &e) {
        problem = ui::errorText(e);
    }
    if (problem) {
        ui::MessageBox::show(this, T("无法打开数据库“%1”：\n%2").arg(shownName(name), *problem), T("错误"), ui::Icon::Warning);
        return false;
    }
    setWindowTitle(windowCaption() + T(" — ")
                   + (m_db->isPostgres() ? shownName(m_db->name()) : QFileInfo(m_db->name()).fileName()));
    m_databaseLabel->setText(T("数据库：%1").arg(shownName(m_db->name())));
    updateActions();
    return true;
}

QString CentreWindow::shownName(const QString &name)
{
    return centre::Database::shownName(name);
}

void CentreWindow::reload()
{
    // The projects of the list, as status and the exports see them; codes
    // stored but no longer listed are named as unknown.
    QStringList unknown = centre::unknownProjectCodes(*m_db);
    m_declarations = centre::listedDeclarations(centre::currentDeclarations(*m_db), *m_reference, &unknown);
    m_declarationOf.clear();
    for (size_t i = 0; i < m_declarations.size(); ++i)
        m_declarationOf.insert(m_declarations[i].file.project, int(i));
    m_status = centre::computeStatus(m_declarations, centre::storedFileCount(*m_db), unknown, *m_reference, m_options,
                                     centre::storedRefusals(*m_db), centre::lastCollected(*m_db));
    const QString keep = m_selected;
    m_model->setProjects(m_status.projects);
    m_selected.clear();
    selectProject(keep);
    updateSummary();
    updateChart();
}

void CentreWindow::updateSummary()
{
    if (!m_db) {
        m_summary->setText(m_reference ? T("请先打开或新建数据库：菜单“数据库”→“打开或新建数据库文件…”。")
                                       : T("程序目录下的 DataMeta 文件夹不完整，无法审核上报文件。"));
        return;
    }
    int findings = 0, mismatch = 0, implausible = 0;
    for (const auto &p : m_status.projects) {
        findings += p.findings > 0;
        mismatch += p.mismatch;
        implausible += p.implausible > 0;
    }
    const int total = int(m_status.projects.size());
    QString text = T("项目 %1 个：已报送 %2，未报送 %3；有审核发现 %4，标记不符 %5，有异常数值 %6。已收文件 %7 个。")
                       .arg(total)
                       .arg(m_status.sentCount())
                       .arg(total - m_status.sentCount())
                       .arg(findings)
                       .arg(mismatch)
                       .arg(implausible)
                       .arg(m_status.files);
    if (!m_status.unknown.isEmpty())
        text += T("\n不在项目列表中的项目编码：%1").arg(m_status.unknown.join(T("、")));
    m_summary->setText(text);
}

void CentreWindow::projectRowChanged()
{
    const QModelIndex current = m_projectView->currentIndex();
    const QModelIndex source = m_filter->mapToSource(current);
    QString code;
    if (source.isValid())
        code = m_model->projects()[size_t(source.row())].code;
    if (code == m_selected)
        return;
    m_selected = code;
    updateProjectPanel();
    m_chart->setHighlight(m_selected);
}

void CentreWindow::selectProject(const QString &code)
{
    int row = -1;
    for (size_t i = 0; i < m_model->projects().size(); ++i)
        if (m_model->projects()[i].code == code)
            row = int(i);
    const QModelIndex index = row >= 0 ? m_filter->mapFromSource(m_model->index(row, 0)) : QModelIndex();
    if (index.isValid()) {
        m_projectView->setCurrentIndex(index);
        m_projectView->scrollTo(index);
    } else {
        m_projectView->setCurrentIndex(QModelIndex());
        m_projectView->clearSelection();
    }
    // A project hidden by the search or the filter stays chosen.
    const QString chosen = row >= 0 ? code : QString();
    if (chosen != m_selected) {
        m_selected = chosen;
        updateProjectPanel();
        m_chart->setHighlight(m_selected);
    }
}

void CentreWindow::updateProjectPanel()
{
    m_findings->setRowCount(0);
    m_implausible->setRowCount(0);
    m_files->setRowCount(0);
    m_projectTabs->setTabText(0, T("审核发现"));
    m_projectTabs->setTabText(1, T("异常数值"));
    m_projectTabs->setTabText(2, T("上报文件"));
    const centre::ProjectStatus *status = nullptr;
    for (const auto &p : m_status.projects)
        if (p.code == m_selected)
            status = &p;
    const auto at = m_declarationOf.constFind(m_selected);
    const centre::Declaration *declaration = at == m_declarationOf.constEnd() ? nullptr : &m_declarations[size_t(*at)];
    m_previewButton->setEnabled(declaration != nullptr && !m_job);
    if (!status) {
        m_projectTitle->setText(m_db ? T("在左侧表中选择一个项目。") : QString());
        return;
    }
    if (!declaration) {
        m_projectTitle->setText(status->refusedLast
                                    ? T("%1 %2\n拒收：%3\n被拒收的文件：%4").arg(status->code, status->name, status->refusalReason,
                                                                           QDir::toNativeSeparators(status->refusalPath))
                                    : T("%1 %2\n未报送：数据库中没有该项目的上报文件。").arg(status->code, status->name));
        return;
    }
    const centre::StoredFile &file = declaration->file;
    const QString flag = file.hospitalFlag == QLatin1String("Y")   ? T("Y（医院检验通过）")
                         : file.hospitalFlag == QLatin1String("N") ? T("N（医院检验未通过仍上报）")
                                                                   : T("无");
    QString text = T("%1 %2\n上报文件 %3，收集于 %4；医院标记 %5；审核发现 %6 条，异常数值 %7 个")
                       .arg(status->code, status->name, file.name, localTime(file.collectedAt), flag)
                       .arg(status->findings)
                       .arg(status->implausible);
    if (status->mismatch)
        text += T("\n标记不符：医院标记为检验通过，但中心审核发现问题。");
    text += status->empty ? T("\n空表：全部数值为空白或 0。") : T("\n空白数值 %1 个（共 295 个）").arg(status->blanks);
    if (status->refusedLast)
        text += T("\n拒收：最近上报的文件未收下（%1），被拒收的文件：%2")
                    .arg(status->refusalReason, QDir::toNativeSeparators(status->refusalPath));
    m_projectTitle->setText(text);

    m_findings->setRowCount(int(declaration->findings.size()));
    for (size_t i = 0; i < declaration->findings.size(); ++i)
        fillRow(m_findings, int(i), {declaration->findings[i].label, declaration->findings[i].text});
    int row = 0;
    for (const auto &flagged : m_status.implausible) {
        if (flagged.code != m_selected)
            continue;
        m_implausible->insertRow(row);
        fillRow(m_implausible, row,
                {flagged.caption, flagged.periodLabel, centre::cellText(flagged.value), flagged.explanation});
        // A double click shows this indicator and period in the chart.
        m_implausible->item(row, 0)->setData(Qt::UserRole, flagged.indicator);
        m_implausible->item(row, 0)->setData(Qt::UserRole + 1, flagged.period);
        ++row;
    }
    try {
        const auto files = centre::fileHistory(*m_db, m_selected);
        m_files->setRowCount(int(files.size()));
        for (size_t i = 0; i < files.size(); ++i) {
            const auto &f = files[i];
            const QString declared = f.declaredOn.isEmpty() ? QString()
                                     : f.declaredOn + (f.dateSource == QLatin1String("table") ? T("（表内日期）") : T("（文件时间）"));
            fillRow(m_files, int(i),
                    {f.name, localTime(f.collectedAt), f.hospitalFlag, QString::number(f.findings),
                     f.current ? T("当前") : T("历史"), declared, QDir::toNativeSeparators(f.sourcePath), f.collectedBy, f.host});
        }
    } catch (const std::exception &e) {
        statusBar()->showMessage(ui::errorText(e), 10000);
    }
    m_projectTabs->setTabText(0, T("审核发现（%1）").arg(declaration->findings.size()));
    m_projectTabs->setTabText(1, T("异常数值（%1）").arg(row));
    m_projectTabs->setTabText(2, T("上报文件（%1）").arg(m_files->rowCount()));
}

void CentreWindow::setChartFigure(int indicator, int period)
{
    if (indicator < 0 || indicator >= centre::kIndicators || period < 1 || period > centre::kPeriods)
        return;
    m_chartIndicator = indicator;
    m_chartPeriod = period;
    const QSignalBlocker blockIndicator(m_indicatorBox), blockPeriod(m_periodBox);
    m_indicatorBox->setCurrentIndex(indicator);
    m_periodBox->setCurrentIndex(period - 1);
    updateChart();
}

void CentreWindow::updateChart()
{
    if (!m_db) {
        m_chart->setData(QString(), {}, QString());
        return;
    }
    QHash<QString, QString> names;
    for (const auto &p : m_status.projects)
        names.insert(p.code, p.name);
    std::vector<centregui::ChartPoint> points;
    points.reserve(m_declarations.size());
    for (const auto &d : m_declarations) {
        const auto &figure = d.figures[size_t(m_chartPeriod - 1)][size_t(m_chartIndicator)];
        if (figure)
            points.push_back({d.file.project, names.value(d.file.project, d.file.yydm), *figure});
    }
    const QString title = centre::indicatorTitle(m_chartIndicator) + T("（")
                          + store::catalogue::periods()[size_t(m_chartPeriod - 1)].label + T("）");
    m_chart->setData(title, std::move(points), m_selected);
}

void CentreWindow::previewDeclaration()
{
    const auto at = m_declarationOf.constFind(m_selected);
    if (at == m_declarationOf.constEnd())
        return;
    try {
        report::PreviewWindow::showModal(this, centre::prepareDeclarationForm(m_declarations[size_t(*at)]));
    } catch (const std::exception &e) {
        ui::MessageBox::show(this, ui::errorText(e), T("错误"), ui::Icon::Warning);
    }
}

void CentreWindow::updateActions()
{
    const bool ready = m_db && !m_job;
    for (const char *name : {"actCollectFolder", "actCollectFiles", "actExportDeclarations", "actExportFindings",
                             "actExportImplausible", "actExportPdf"})
        findChild<QAction *>(QLatin1String(name))->setEnabled(ready);
    for (const char *name : {"actOpenFile", "actOpenPostgres"})
        findChild<QAction *>(QLatin1String(name))->setEnabled(!m_job && m_reference);
    m_previewButton->setEnabled(ready && m_declarationOf.contains(m_selected));
}

bool CentreWindow::refresh()
{
    if (!m_db || m_job)
        return false;
    try {
        reload();
        return true;
    } catch (const std::exception &) {
        // The connection may be gone (a server restarted): once more on a
        // new one, then the reason is told.
    }
    try {
        auto db = centre::Database::openExisting(m_db->name());
        m_db = std::move(db);
        reload();
        statusBar()->showMessage(T("已重新连接数据库。"), 5000);
        return true;
    } catch (const std::exception &e) {
        statusBar()->showMessage(T("无法刷新：%1").arg(ui::errorText(e)));
        return false;
    }
}

// ---- jobs in a worker thread ----

bool CentreWindow::startJob(const QString &what, bool cancellable, Work work,
                          std::function<void(const std::optional<store::Error> &error)> done)
{
    if (!m_db || m_job)
        return false;
    m_job = std::make_unique<Job>();
    Job *job = m_job.get();
    job->window = this;
    job->done = std::move(done);
    const QString name = m_db->name();
    job->thread = QThread::create([job, name, work = std::move(work)] {
        try {
            auto db = openForWindow(name);
            work(*db, *job);
        } catch (...) {
            job->error = store::currentError();
        }
    });
    connect(job->thread, &QThread::finished, this, &CentreWindow::finishJob, Qt::QueuedConnection);
    m_jobLabel->setText(what);
    m_progress->setRange(0, 0); // busy until a total is known
    m_jobLabel->show();
    m_progress->show();
    m_cancelButton->setVisible(cancellable);
    m_cancelButton->setEnabled(true);
    updateActions();
    job->thread->start();
    return true;
}

void CentreWindow::jobProgress(int done, int total, const QString &text)
{
    if (!m_job)
        return;
    m_progress->setRange(0, total);
    m_progress->setValue(done);
    m_progress->setFormat(T("%v / %m"));
    if (!m_job->cancel) // keeps saying that it is stopping
        m_jobLabel->setText(text);
}

void CentreWindow::cancelJob()
{
    if (!m_job)
        return;
    m_job->cancel = true;
    m_cancelButton->setEnabled(false);
    m_jobLabel->setText(T("正在取消：当前文件收完后停止……"));
}

void CentreWindow::finishJob()
{
    if (!m_job)
        return;
    std::unique_ptr<Job> job = std::move(m_job);
    job->thread->wait();
    delete job->thread;
    m_jobLabel->hide();
    m_progress->hide();
    m_cancelButton->hide();
    updateActions();
    job->done(job->error);
    emit jobFinished();
}

// ---- collect ----

bool CentreWindow::startCollect(const QStringList &paths)
{
    auto summary = std::make_shared<centre::CollectSummary>();
    auto found = std::make_shared<int>(-1);
    const auto reference = m_reference;
    const bool started = startJob(
        T("正在查找上报文件……"), true,
        [paths, summary, found, reference](centre::Database &db, Job &job) {
            const QStringList files = centre::findUploadFiles(paths);
            *found = int(files.size());
            if (files.isEmpty())
                return;
            centre::Collector collector(db, *reference);
            *summary = collector.collect(files, [&job](int done, int total, const centre::FileOutcome &last) {
                job.progress(done, total, T("正在收集：%1").arg(QFileInfo(last.path).fileName()));
                return !job.cancel;
            });
        },
        [this, summary, found](const std::optional<store::Error> &jobError) {
            // The database's failure half-way comes with the summary of what it kept.
            const QString error = jobError ? jobError->message() : summary->error ? summary->error->message() : QString();
            // Whatever happened, the files taken so far are in the database:
            // shown as they are (on a new connection if this one was lost).
            refresh();
            if (!error.isEmpty() && summary->total() == 0 && *found != 0) {
                ui::MessageBox::show(this, T("收集未能进行：\n%1").arg(error), T("错误"), ui::Icon::Warning);
                return;
            }
            if (*found == 0) {
                ui::MessageBox::show(this, T("所选位置没有上报文件（文件名以 SJSB.dbf 结尾）。请选择上报文件或存放它们的文件夹。"),
                                     T("提示"), ui::Icon::Information);
                return;
            }
            QString text = T("收集结束：") + centre::summaryLine(*summary) + T("。");
            if (summary->cancelled)
                text += T("\n已取消：已处理的文件保存在数据库中，其余文件未收集，可再次收集。");
            if (!error.isEmpty())
                text += !summary->error
                            ? T("\n收集中断：%1\n已处理的文件保存在数据库中。").arg(error)
                            : T("\n收集中断：%1\n以上是已存入数据库的文件；其余 %2 个文件没有存入，可再次收集。")
                                  .arg(error)
                                  .arg(summary->notDone);
            if (!summary->refusedFiles.empty()) {
                text += T("\n\n以下文件未收下（其内容没有存入数据库），请告知相应医院改正后重新上报：");
                int listed = 0;
                for (const auto &refused : summary->refusedFiles) {
                    if (listed++ == kListedRefusals) {
                        text += T("\n……另有 %1 个文件未收下。").arg(summary->refusedFiles.size() - kListedRefusals);
                        break;
                    }
                    text += T("\n%1：%2").arg(QDir::toNativeSeparators(refused.path), refused.reason);
                }
            }
            const bool trouble = !summary->refusedFiles.empty() || !error.isEmpty();
            if (summary->refusedFiles.empty()) {
                ui::MessageBox::show(this, text, trouble ? T("收集结果") : T("提示"),
                                     trouble ? ui::Icon::Warning : ui::Icon::Information);
                return;
            }
            // The whole list, for the letters to the hospitals.
            text += T("\n\n要把全部 %1 个未收下的文件（路径与原因）保存为 CSV 文件吗？").arg(summary->refusedFiles.size());
            if (ui::MessageBox::show(this, text, T("收集结果"), ui::Icon::Warning, ui::Buttons::YesNo) == ui::Answer::Yes) {
                const QString path = QFileDialog::getSaveFileName(this, T("保存未收下的文件清单"), T("未收下的文件.csv"),
                                                                  T("CSV 文件 (*.csv)"));
                if (!path.isEmpty())
                    saveRefusals(*summary, path);
            }
        });
    return started;
}

bool CentreWindow::saveRefusals(const centre::CollectSummary &summary, const QString &path)
{
    centre::ExportTable table;
    table.title = T("未收下的文件");
    table.headers << T("文件") << T("文件夹") << T("原因");
    for (const auto &refused : summary.refusedFiles)
        table.rows.push_back({QFileInfo(refused.path).fileName(), QDir::toNativeSeparators(QFileInfo(refused.path).absolutePath()),
                              refused.reason});
    try {
        centre::refuseOutputOverDatabase(path, m_db ? m_db->name() : QString());
        centre::writeCsv(table, path);
    } catch (const std::exception &e) {
        ui::MessageBox::show(this, T("清单未能保存：%1").arg(ui::errorText(e)), T("错误"), ui::Icon::Warning);
        return false;
    }
    return true;
}

// ---- exports ----

bool CentreWindow::exportTable(centre::ExportPart part, const QString &path)
{
    if (!m_db || !m_reference)
        return false;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("csv") && suffix != QLatin1String("xlsx")) {
        ui::MessageBox::show(this, T("请给导出文件以 .csv 或 .xlsx 结尾的名称。"), T("提示"), ui::Icon::Information);
        return false;
    }
    QString title;
    qsizetype rows = 0;
    try {
        centre::refuseOutputOverDatabase(path, m_db->name());
        const ui::BusyCursor busy;
        const centre::ExportTable table = centre::buildExportTable(part, m_declarations, *m_reference, m_options);
        if (suffix == QLatin1String("csv"))
            centre::writeCsv(table, path);
        else
            centre::writeXlsx(table, path);
        title = table.title;
        rows = table.rows.size();
    } catch (const std::exception &e) {
        ui::MessageBox::show(this, T("导出失败：%1").arg(ui::errorText(e)), T("错误"), ui::Icon::Warning);
        return false;
    }
    ui::MessageBox::show(this, T("已导出%1（%2 行）到：\n%3").arg(title).arg(rows).arg(path), T("提示"),
                         ui::Icon::Information);
    return true;
}

bool CentreWindow::startCommitteePdf(const QString &path)
{
    if (!m_db)
        return false;
    try {
        centre::refuseOutputOverDatabase(path, m_db->name());
    } catch (const std::exception &e) {
        ui::MessageBox::show(this, T("评审委员会报告未能生成：%1").arg(ui::errorText(e)), T("错误"), ui::Icon::Warning);
        return false;
    }
    const auto reference = m_reference;
    const auto options = m_options;
    return startJob(
        T("正在生成评审委员会报告……"), false,
        [path, reference, options](centre::Database &db, Job &) {
            centre::writeCommitteePdf(db, *reference, path, options);
        },
        [this, path](const std::optional<store::Error> &error) {
            if (!error)
                ui::MessageBox::show(this, T("评审委员会报告已保存到：\n%1").arg(path), T("提示"), ui::Icon::Information);
            else
                ui::MessageBox::show(this, T("评审委员会报告未能生成：%1").arg(error->message()), T("错误"), ui::Icon::Warning);
        });
}

// ---- the menu's dialogs ----

void CentreWindow::askOpenFile()
{
    const QString name = QFileDialog::getSaveFileName(this, T("打开或新建数据库文件"), QString(),
                                                      T("数据库文件 (*.db *.sqlite);;所有文件 (*)"), nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (!name.isEmpty())
        openDatabase(name);
}

void CentreWindow::askOpenPostgres()
{
    bool ok = false;
    const QString uri = QInputDialog::getText(this, T("连接 PostgreSQL 数据库"),
                                              T("连接地址（不含密码），例如 postgresql://用户@主机:5432/数据库："),
                                              QLineEdit::Normal, QStringLiteral("postgresql://"), &ok);
    if (!ok || uri.trimmed().isEmpty())
        return;
    if (!centre::Database::isPostgresName(uri.trimmed())) {
        ui::MessageBox::show(this, T("连接地址应以 postgresql:// 开头，例如 postgresql://reviewer@localhost:5432/centre。"),
                             T("提示"), ui::Icon::Information);
        return;
    }
    // The password is asked for on its own, masked, and never shown again.
    QUrl url(uri.trimmed());
    if (url.password().isEmpty()) {
        const QString password = QInputDialog::getText(this, T("连接 PostgreSQL 数据库"),
                                                       T("用户 %1 的密码（没有密码时留空）：").arg(url.userName()),
                                                       QLineEdit::Password, QString(), &ok);
        if (!ok)
            return;
        if (!password.isEmpty())
            url.setPassword(password);
    }
    openDatabase(url.toString());
}

void CentreWindow::askCollectFiles()
{
    const QStringList files = QFileDialog::getOpenFileNames(this, T("收集上报文件"), QString(),
                                                            T("上报文件 (*SJSB.dbf *sjsb.dbf *SJSB.DBF);;DBF 文件 (*.dbf *.DBF)"));
    if (!files.isEmpty())
        startCollect(files);
}

void CentreWindow::askCollectFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, T("收集文件夹（包括其子文件夹）中的上报文件"));
    if (!folder.isEmpty())
        startCollect({folder});
}

void CentreWindow::askExport(centre::ExportPart part)
{
    static const char *const names[] = {"申报数据", "审核发现", "异常数值"};
    QString selected;
    QString path = QFileDialog::getSaveFileName(this, T("导出%1").arg(T(names[int(part)])),
                                                T(names[int(part)]) + QStringLiteral(".xlsx"),
                                                T("Excel 工作簿 (*.xlsx);;CSV 文件 (*.csv)"), &selected);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += selected.contains(QLatin1String("csv")) ? QStringLiteral(".csv") : QStringLiteral(".xlsx");
    exportTable(part, path);
}

void CentreWindow::askCommitteePdf()
{
    QString path = QFileDialog::getSaveFileName(this, T("导出评审委员会报告"), T("评审委员会报告.pdf"),
                                                T("PDF 文件 (*.pdf)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    startCommitteePdf(path);
}
