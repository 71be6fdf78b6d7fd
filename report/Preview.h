#pragma once
// The modal preview window titled "Preview": zoom, open a saved prepared
// report, save it (our format or PDF), print (print dialog: copies, collate,
// page range; disabled without a printer), find text, help, close. No page
// set-up.
//
// Test seam: in test mode showModal() does not block. It records the report,
// calls the hook with the (shown, non-modal) window so a test can look at it
// or grab it, then closes it and returns.
#include "report/Prepared.h"

class QPrinter;

#include <QDialog>
#include <QRectF>
#include <QStringList>

#include <functional>
#include <vector>

namespace report {

class PreviewWindow : public QDialog {
    Q_OBJECT
public:
    explicit PreviewWindow(const PreparedReport &report, QWidget *owner = nullptr);
    ~PreviewWindow() override;

    // Prepared elsewhere, shown here; returns when the user closes it.
    static void showModal(QWidget *owner, const PreparedReport &report);

    static void setTestMode(bool on);
    static void setTestHook(std::function<void(PreviewWindow &)> hook);
    static const std::vector<PreparedReport> &shownReports();
    static void clearShownReports();

    const PreparedReport &report() const;

    // The buttons' work, callable by a test as by the buttons
    // ("btnZoom", "btnOpen", "btnSave", "btnPrint", "btnFind", "btnHelp",
    // "btnClose" in the tool bar).
    enum class ZoomMode { PageWidth, WholePage, Actual }; // Actual: 100 %
    void setZoom(ZoomMode mode);
    void cycleZoom();
    ZoomMode zoomMode() const;
    double pixelsPerMm() const;       // on screen, at the current zoom
    int pageCount() const;
    int currentPage() const;          // 0-based, the page on view
    void goToPage(int page);
    // Finds the next occurrence (ignoring case) after the last one found,
    // highlights it and scrolls to its page; wraps round at the end. Says
    // so and returns false when the text is nowhere.
    bool findNext(const QString &text);
    int highlightedPage() const;      // -1 without a match
    QRectF highlightedRectMm() const;
    bool openReport();                // false when cancelled or refused
    bool saveReport();                // .prp in our format, .pdf as PDF
    void printReport();               // print dialog, then printPages()
    void printPages(QPrinter &printer, int currentPage) const;
    void showHelp();

    static bool testMode();
    // Test mode: the open and save dialogs take the queued names instead
    // (none queued: cancelled), and messages are recorded, not shown.
    static void queueFileName(const QString &path);
    static QStringList takeMessages(); // every message since the last call

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void reportChanged();
    void applyZoom();
    void updatePageNumber();
    void showMatch();
    void findClicked();

    struct Impl;
    Impl *d;
};

} // namespace report
