#pragma once
// The program directory and every path built from it. The program takes no
// argument and keeps no settings. One rule decides where the program keeps
// its tables:
//  - the folder of the running binary when it holds DataMeta/ and is
//    writable (a portable copy, or the build's bin/ folder);
//  - otherwise a folder of the user's own, <data location>/pdeclare/
//    (~/.local/share/pdeclare/), whose DataMeta/ is copied once from the
//    delivered tables (see sharedDir() and prepareProgramDir()).
// Tests and pdeclare-cli with a PROGRAM_DIR point it elsewhere with
// setProgramDir().
#include <QString>

namespace store::paths {

// Directory of the program, always with a trailing '/'.
QString programDir();
void setProgramDir(const QString &dir);

// The rule above for a binary in `binaryDir` and a user folder `userDir`.
QString chooseProgramDir(const QString &binaryDir, const QString &userDir);
// The user's own program directory (with '/').
QString userProgramDir();
// Where the delivered files come from when the program directory is the
// user's own: the binary's folder when it holds DataMeta/ (a read-only
// portable copy), else share/pdeclare/ beside the binary's bin/ folder, as
// installed (with '/').
QString sharedDir();

// Makes the chosen program directory ready to use when it is the user's own:
// creates it and Result/, and copies DataMeta/ from `from` (default
// sharedDir()) when the user has none yet: into a temporary folder first,
// then renamed, so the user either has the whole DataMeta/ or none. An
// existing DataMeta/ is never touched. Throws store::Error (Io) with a
// message for the user when the folder cannot be made.
void prepareProgramDir();
void seedUserDir(const QString &userDir, const QString &from);

// The folder of tables subdir ("DataMeta" or "Result") below the program
// directory, with '/': what a query reads its tables from.
QString tableDir(const QString &subdir);
QString dataMetaDir();   // tableDir("DataMeta")
QString resultDir();     // tableDir("Result")
QString templateTable(); // DataMeta/sjsbb.dbf
QString resultTable();   // Result/result.dbf
// Read-only delivered files: taken from the program directory when they are
// there, else from sharedDir().
QString skinFile();      // 风格/Main.skn
QString formDescriptionDoc(); // 评审数据表说明.doc
QString operationManualDoc(); // TessalyV1.0操作手册.doc

} // namespace store::paths
