#include "print/UnitPrint.h"

TfrmPrint::TfrmPrint(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmPrint"));
    setAttribute(Qt::WA_DeleteOnClose);
}
