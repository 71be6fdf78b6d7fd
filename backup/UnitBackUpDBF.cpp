#include "backup/UnitBackUpDBF.h"

TfrmBackUpDBF::TfrmBackUpDBF(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmBackUpDBF"));
    setAttribute(Qt::WA_DeleteOnClose);
}
