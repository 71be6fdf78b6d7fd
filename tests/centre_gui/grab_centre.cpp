// Grabs the centre window to PNG for a look: a few hundred projects
// collected, one chosen, the chart of its bed count. Not part of the normal
// build: pdeclare-centre-grab OUTPUT_DIR [PROJECTS [cancel]]
#include "UploadFiles.h"

#include "centre/Reference.h"
#include "centre/gui/IndicatorChart.h"
#include "centre/gui/UnitCentre.h"
#include "controls/Skin.h"
#include "controls/Fonts.h"
#include "controls/MessageBox.h"
#include "report/Preview.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc < 2)
        return 2;
    const QString out = QString::fromLocal8Bit(argv[1]);
    const int projects = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 300;
    const bool cancel = argc > 3 && QByteArray(argv[3]) == "cancel"; // press 取消 a third of the way
    ui::installFontSubstitutions();
    ui::installDefaultFont();

    testsupport::TempProgramDir programDir;
    centretest::writeProjectList(programDir.path(), projects);
    QFile skin(testsupport::sourceDir() + QStringLiteral("/app/skin/Main.skn"));
    if (skin.open(QIODevice::ReadOnly))
        application.setStyleSheet(QString::fromUtf8(skin.readAll()));
    const auto list = centre::Reference::load(programDir.path()).projects();
    QTemporaryDir work;
    const QString uploads = work.filePath(QStringLiteral("uploads"));
    QDir().mkpath(uploads);
    // Most projects send a plausible declaration; some send nothing, some
    // break a rule, a few have bed counts six times the others'.
    for (int i = 0; i < int(list.size()); ++i) {
        if (i % 9 == 4)
            continue;
        centretest::Figures figures = centretest::plausibleFigures(i);
        for (auto &period : figures) {
            if (i % 13 == 0)
                period[size_t(centretest::indicator("sb_syl"))] = 130;
            if (i % 37 == 5)
                for (const char *beds : {"cws_yy", "cws_zk"})
                    period[size_t(centretest::indicator(beds))] *= 6;
        }
        centretest::writeUpload(uploads, list[size_t(i)].code, list[size_t(i)].name, figures);
    }
    {
        QFile bad(uploads + QStringLiteral("/7777SJSB.dbf"));
        bad.open(QIODevice::WriteOnly);
        bad.write("not a table");
    }

    ui::MessageBox::setTestMode(true);
    ui::MessageBox::setHook([](const ui::ShownBox &box) {
        QTextStream(stdout) << box.caption << ": " << box.text << "\n";
    });
    CentreWindow window;
    window.show();
    window.openDatabase(work.filePath(QStringLiteral("centre.db")));
    QEventLoop loop;
    QObject::connect(&window, &CentreWindow::jobFinished, &loop, &QEventLoop::quit);
    // One picture while the files are being collected: the progress bar.
    auto *bar = window.findChild<QProgressBar *>(QStringLiteral("barProgress"));
    bool grabbed = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!grabbed && bar->isVisible() && bar->maximum() > 0 && bar->value() >= bar->maximum() / 3) {
            window.grab().save(out + QStringLiteral("/centre_collecting.png"));
            grabbed = true;
            if (cancel)
                window.findChild<QPushButton *>(QStringLiteral("btnCancel"))->click();
        }
    });
    poll.start(5);
    QElapsedTimer clock;
    clock.start();
    window.startCollect({uploads});
    loop.exec();
    QTextStream(stdout) << "collect and table: " << clock.elapsed() << " ms\n";
    clock.restart();
    window.setChangeFactor(4); // the whole status again
    QTextStream(stdout) << "status again: " << clock.elapsed() << " ms\n";
    window.setChangeFactor(5);
    window.selectProject(list[5].code);
    window.setChartFigure(0, 3);
    QApplication::processEvents();
    window.grab().save(out + QStringLiteral("/centre_window.png"));
    window.selectProject(list[list.size() / 2].code); // one in the middle of the field
    QApplication::processEvents();
    window.chart()->grab().save(out + QStringLiteral("/centre_chart.png"));
    window.selectProject(list[5].code);
    report::PreviewWindow::setTestMode(true);
    report::PreviewWindow::setTestHook([&out](report::PreviewWindow &preview) {
        preview.resize(900, 1000);
        QApplication::processEvents();
        preview.grab().save(out + QStringLiteral("/centre_form.png"));
    });
    window.previewDeclaration();
    return 0;
}
