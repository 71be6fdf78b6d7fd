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
    try {
        helpdocs::writeAll(QString::fromLocal8Bit(argv[1]));
    } catch (const store::Error &e) {
        std::fprintf(stderr, "pdeclare-helpdocs: %s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
