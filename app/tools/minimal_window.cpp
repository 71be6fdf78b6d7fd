// The smallest Qt main window, built the same way as the programs: the
// yardstick of PDeclare's start-up (bench/bench_startup.cpp on Linux,
// packaging/windows/measure under Wine).
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QMainWindow window;
    window.setCentralWidget(new QLabel(QStringLiteral("最小窗口")));
    window.setWindowTitle(QStringLiteral("minimal-window"));
    window.resize(320, 120);
    window.show();
    return application.exec();
}
