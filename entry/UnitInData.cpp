#include "entry/UnitInData.h"

TfrmInData::TfrmInData(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmInData"));
    setAttribute(Qt::WA_DeleteOnClose);
}
