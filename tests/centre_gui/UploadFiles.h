#pragma once
// Upload files as hospitals send them, made from the delivered template: the
// five period rows with the project line, the hospital's flag and figures
// that vary with a seed. Shared by the window test and the grab tool.
#include <QString>

namespace centretest {

struct Upload {
    QString code;
    QString name;
    int seed = 0;
    QString flag = QStringLiteral("Y");
    bool breakRule = false;     // a usage rate above 100 %
    double outlier = 1;         // factor on the two bed counts, every period
};

// Writes dir/CODE + "SJSB.dbf"; returns its path.
QString writeUpload(const QString &dir, const Upload &upload);

// The figure writeUpload puts in a period (1..5) for an indicator (0..58).
double figure(const Upload &upload, int indicator, int period);

// Appends count projects (codes "5001", "5002", ...) to the project list of
// a program directory.
void extendProjectList(const QString &programDir, int count);

} // namespace centretest
