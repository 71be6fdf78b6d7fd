#include "entry/UnitZk.h"

TfrmYymc::TfrmYymc(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmYymc"));
    setAttribute(Qt::WA_DeleteOnClose);
}
