// Grabs the whole screen of an X display (the Xvfb on which the Windows
// programs run under Wine) to a PNG, for a look at the installer and the
// windows: pdeclare-grab-screen OUT.png
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: pdeclare-grab-screen OUT.png\n", stderr);
        return 2;
    }
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    return !shot.isNull() && shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
