#pragma once
// The two help documents delivered beside the program, opened from the help
// menu: the description of the declaration form (generated from the
// indicator catalogue, so it always names every indicator as the program
// knows it) and the operation manual. Both are RTF content under the .doc
// names the menu opens; Word and LibreOffice read them.
#include "store/Error.h"

#include <QByteArray>
#include <QString>

namespace helpdocs {

QByteArray formDescription();
QByteArray operationManual();

// A caption of the catalogue as one line of prose: its "\r\n" breaks and
// the blanks around them removed, trimmed ("5.投入与\r\n  效益\r\n（万元）"
// gives "5.投入与效益（万元）").
QString flatCaption(const QString &caption);
// An indicator's definition: its own tooltip, else its item's tooltip.
QString definitionOf(int indicatorPosition);

// Writes both documents into dir (the program directory): each to a
// temporary file first, then renamed, so a reader never sees half a file.
// Raises store::Error on the first failure.
void writeAll(const QString &dir);

} // namespace helpdocs
