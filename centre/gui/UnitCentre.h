#pragma once
// The monitoring centre's window: choose or create the centre database,
// collect upload files and folders (in a worker thread, with a progress bar
// and a cancel button), the table of every project of the list with its
// status, the chosen project's findings, implausible figures and files, its
// declaration in the form preview, a chart of one indicator and period
// across all projects, and the exports.
//
// Each command has a method that does its work without a dialog
// (openDatabase, startCollect, exportTable, startCommitteePdf); the menu
// asks for the name or path and calls it. Messages go through
// ui::MessageBox, the form through report::PreviewWindow, so that a test
// drives the window without a modal box.
#include "centre/Collect.h"
#include "centre/Database.h"
#include "centre/Export.h"
#include "centre/Reference.h"
#include "centre/Status.h"

#include <QHash>
#include <QMainWindow>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTableWidget;
class QTabWidget;
class QThread;
class QTimer;

namespace centregui {
class IndicatorChart;
class ProjectFilter;
class ProjectStatusModel;
} // namespace centregui

class CentreWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit CentreWindow(QWidget *parent = nullptr);
    ~CentreWindow() override;

    // Opens the database (an SQLite file, created when missing, or a
    // postgresql:// URI) and shows its projects. A failure is shown in a
    // message box and leaves the database open before, if any, in place.
    bool openDatabase(const QString &name);
    bool hasDatabase() const { return m_db != nullptr; }
    QString databaseName() const { return m_db ? m_db->name() : QString(); }
    // The name as the window shows it: a URI without its password.
    static QString shownName(const QString &name);

    // Collects the upload files among paths (files and folders) in a worker
    // thread and returns at once; false when nothing was started (no
    // database, another job running). jobFinished() follows, after the
    // table and the summary message.
    bool startCollect(const QStringList &paths);
    // Writes the refused files of a collect (file, folder, reason) as CSV.
    bool saveRefusals(const centre::CollectSummary &summary, const QString &path);
    void cancelJob();
    bool isBusy() const { return m_job != nullptr; }

    // Writes one part as CSV or XLSX, chosen by the file's suffix. Shows the
    // result (or the error) in a message box; false on failure.
    bool exportTable(centre::ExportPart part, const QString &path);
    // Writes the committee's PDF in a worker thread; jobFinished() follows.
    bool startCommitteePdf(const QString &path);

    // Reads the database again (another reviewer may have collected),
    // reconnecting once when the connection was lost; false when it could
    // not, with the reason in the status bar.
    bool refresh();

    // The project whose findings, files and bar are shown; empty for none.
    void selectProject(const QString &code);
    QString selectedProject() const { return m_selected; }
    // Shows the chosen project's declaration in the form preview.
    void previewDeclaration();
    // The factor between consecutive periods above which a figure counts
    // as implausible (the reviewer's setting, 5 at start).
    void setChangeFactor(double factor);

    // The chart's indicator (0-based catalogue position) and period (1..5).
    void setChartFigure(int indicator, int period);

    const centre::StatusReport &status() const { return m_status; }
    centregui::IndicatorChart *chart() const { return m_chart; }
    QTableView *projectView() const { return m_projectView; }

signals:
    void jobFinished();

private:
    void buildMenu();
    void buildWindow();
    bool loadReference();
    void reload();
    void updateSummary();
    void updateProjectPanel();
    void updateChart();
    void updateActions();
    void projectRowChanged();

    // Runs work in a worker thread on its own connection to the open
    // database; done runs in the window's thread afterwards with the error
    // text (empty when none). The progress bar shows busy until progress()
    // is called with a total.
    struct Job;
    using Work = std::function<void(centre::Database &db, Job &job)>;
    // done gets the failure that ended the work, if any.
    bool startJob(const QString &what, bool cancellable, Work work,
                  std::function<void(const std::optional<store::Error> &error)> done);
    void jobProgress(int done, int total, const QString &text);
    void finishJob();

    void askOpenFile();
    void askOpenPostgres();
    void askCollectFiles();
    void askCollectFolder();
    void askExport(centre::ExportPart part);
    void askCommitteePdf();

    std::unique_ptr<centre::Database> m_db;
    std::shared_ptr<const centre::Reference> m_reference;
    centre::ImplausibleOptions m_options;
    std::vector<centre::Declaration> m_declarations;
    QHash<QString, int> m_declarationOf; // code -> index in m_declarations
    centre::StatusReport m_status;
    QString m_selected;
    int m_chartIndicator = 0;
    int m_chartPeriod = 1;

    std::unique_ptr<Job> m_job;

    centregui::ProjectStatusModel *m_model = nullptr;
    centregui::ProjectFilter *m_filter = nullptr;
    QTableView *m_projectView = nullptr;
    QLineEdit *m_search = nullptr;
    QComboBox *m_show = nullptr;
    QLabel *m_summary = nullptr;
    QLabel *m_projectTitle = nullptr;
    QPushButton *m_previewButton = nullptr;
    QTabWidget *m_projectTabs = nullptr;
    QTableWidget *m_findings = nullptr;
    QTableWidget *m_implausible = nullptr;
    QTableWidget *m_files = nullptr;
    QComboBox *m_indicatorBox = nullptr;
    QComboBox *m_periodBox = nullptr;
    centregui::IndicatorChart *m_chart = nullptr;
    QDoubleSpinBox *m_factorBox = nullptr;
    QLabel *m_databaseLabel = nullptr;
    QLabel *m_jobLabel = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QTimer *m_refreshTimer = nullptr;
};
