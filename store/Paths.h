#pragma once
// The program directory and every path built from it. The program takes no
// argument and keeps no settings: all paths derive from the folder of the
// running binary. Tests and pdeclare-cli point it elsewhere with
// setProgramDir().
#include <QString>

namespace store::paths {

// Directory of the program, always with a trailing '/'.
QString programDir();
void setProgramDir(const QString &dir);

QString dataMetaDir();   // programDir() + "DataMeta/"
QString resultDir();     // programDir() + "Result/"
QString templateTable(); // DataMeta/sjsbb.dbf
QString resultTable();   // Result/result.dbf
QString skinFile();      // 风格/Main.skn
QString formDescriptionDoc(); // 评审数据表说明.doc
QString operationManualDoc(); // TessalyV1.0操作手册.doc

// The data source's connection string for a directory below the program
// directory ("DataMeta" or "Result"), in the FoxPro driver's own shape:
// Driver={Microsoft Visual FoxPro Driver};UID=;SourceDB=<dir>/;SourceType=DBF;...
QString connectionString(const QString &subdir);
// The SourceDB directory named in a connection string (empty when none).
QString sourceDbOf(const QString &connectionString);

} // namespace store::paths
