#pragma once
// The backup and upload window TfrmBackUpDBF. The opener chooses the mode;
// the caption ("备份数据" / "上报监测中心") and the button text ("备份" /
// "导出") follow from it.
#include "backup/BackupRun.h"

#include <QDialog>
#include <QStringList>

class QComboBox;
class QFileSystemModel;
class QLabel;
class QListWidget;
class QPushButton;
class QTreeView;

namespace check {
class PanelStatusBar;
class QueryObject;
} // namespace check

class TfrmBackUpDBF : public QDialog {
    Q_OBJECT
public:
    explicit TfrmBackUpDBF(QWidget *owner = nullptr, backup::Mode mode = backup::Mode::Backup);

    // The places the drive chooser offers: the file system roots, then home,
    // desktop and mounted media (/media, /run/media, /mnt), those that exist.
    static QStringList places();

    // The target directory (the file list's directory) and the seam that
    // sets it as a choice in the directory tree would.
    QString directory() const { return m_directory; }
    void setDirectory(const QString &dir);

    // Where the chooser starts for this window's command: the folder the
    // last backup (or upload) was written to, kept in the program's
    // settings, or the user's home the first time, or when that folder and
    // the folders above it are gone up to the root.
    QString startFolder() const;

    QString panelText(int panel) const;
    QStringList listedFiles() const; // the *.dbf names in the file list

    void reject() override; // Esc presses btn_Close

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void DCmb_RestoreDBChange(int index);
    void DLb_RestoreDBChange(const QString &dir);
    void btn_BackupClick();
    void btn_CloseClick();
    void btn_NewFolderClick();
    void showInTree(const QString &dir);
    QString settingsKey() const;
    void refreshFileList();
    void showDirectoryText();
    bool busy() const;

    QLabel *Lbl_Caption = nullptr;
    QComboBox *DCmb_RestoreDB = nullptr;
    QTreeView *DLb_RestoreDB = nullptr;
    QFileSystemModel *m_dirModel = nullptr;
    QListWidget *FLb_RestoreDB = nullptr;
    QPushButton *btn_Backup = nullptr;
    QPushButton *btn_Close = nullptr;
    QPushButton *btn_NewFolder = nullptr;
    check::PanelStatusBar *StatusBar1 = nullptr;
    check::QueryObject *AQry_Temp = nullptr;
    check::QueryObject *AQry_DBTemp = nullptr;
    backup::Mode m_mode;
    QString m_directory;
    bool m_directoryChosen = false; // by the user (or a caller) since creation
    bool m_commandRunning = false;
};
