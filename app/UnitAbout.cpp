#include "app/UnitAbout.h"

TfrmAbout::TfrmAbout(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
}
