// Writes the two help documents into the directory given (the program
// directory of the build): pdeclare-helpdocs <dir>.
#include "app/helpdocs/HelpDocuments.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: pdeclare-helpdocs <program directory>\n");
        return 2;
    }
    QString error;
    if (!helpdocs::writeAll(QString::fromLocal8Bit(argv[1]), &error)) {
        std::fprintf(stderr, "pdeclare-helpdocs: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
