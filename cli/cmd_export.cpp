// The monitoring centre's export (declared in CentreCommands.cpp). It is the one centre command that paints (the committee PDF), and lives in
// pdeclare-centre-export, so that the other commands start without Qt Gui.
#include "cli/CentreArgs.h"

#include "centre/Committee.h"
#include "centre/Export.h"
#include "controls/Fonts.h"

namespace cli {

int cmdExport(const Args &args)
{
    CentreArgs a;
    if (!readCentreArgs(args, a))
        return 2;
    const int targets = int(!a.csv.isEmpty()) + int(!a.xlsx.isEmpty()) + int(!a.pdf.isEmpty());
    centre::ExportPart part = centre::ExportPart::Declarations;
    if (a.positional.size() != 1 || targets != 1 || (!a.part.isEmpty() && !centre::parseExportPart(a.part, &part)))
        return usage(args);
    if (!useProgramDir(a.programDir))
        return 2;
    try {
        // Nothing is written over the database itself, its companions or any
        // other SQLite file, however the path is spelled.
        centre::refuseOutputOverDatabase(!a.pdf.isEmpty() ? a.pdf : !a.csv.isEmpty() ? a.csv : a.xlsx, a.positional.front());
        const Centre c = openCentre(a);
        if (!a.pdf.isEmpty()) {
            // The form names 宋体: without the substitutions the PDF would
            // come out in whatever face the system picks for that name.
            ui::installFontSubstitutions();
            centre::writeCommitteePdf(*c.db, c.ref, a.pdf, c.options);
        } else {
            const centre::ExportTable table = centre::buildExportTable(part, *c.db, c.ref, c.options);
            if (!a.csv.isEmpty())
                centre::writeCsv(table, a.csv);
            else
                centre::writeXlsx(table, a.xlsx);
        }
        return 0;
    } catch (const centre::Error &e) {
        say(stderr, e.message() + QLatin1Char('\n'));
        return 2;
    }
}

} // namespace cli
