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

#include <QDialog>

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

private:
    struct Impl;
    Impl *d;
};

} // namespace report
