// The smallest Qt Widgets window, built the same way as the programs: the
// yardstick for PDeclare.exe's start-up under Wine (packaging/windows/measure).
#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QLabel window(QStringLiteral("最小窗口"));
    window.setWindowTitle(QStringLiteral("minimal-window"));
    window.resize(320, 120);
    window.show();
    return application.exec();
}
