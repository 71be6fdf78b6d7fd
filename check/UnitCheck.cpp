#include "check/UnitCheck.h"

TfrmCheck::TfrmCheck(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmCheck"));
    setAttribute(Qt::WA_DeleteOnClose);
}
