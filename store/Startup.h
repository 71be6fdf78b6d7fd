#pragma once
// What every program does first on its program folder (PDeclare,
// pdeclare-cli, PDeclareCentre), in this order:
//   1. the temporary files of writes that a kill interrupted are removed
//      (DataMeta/ and Result/);
//   2. the user's own folder is made on the first start (see store/Paths.h);
//   3. Result/result.dbf, when missing, becomes a copy of the template;
//   4. the findings table is packed (the records the last check deleted).
// Steps 3 and 4 are the hospital program's; the command line and the centre
// take 1 and 2.
#include <QStringList>

namespace store::startup {

struct Steps {
    bool workingTable = true;  // step 3
    bool purgeFindings = true; // step 4
};
// Steps 1 and 2: the command line's and the centre's start.
inline constexpr Steps kFolderOnly{false, false};

// Runs the steps; the problems the user must be told (in Chinese), in the
// order met. A folder that cannot be prepared (step 2) ends the run there;
// otherwise every step runs.
QStringList run(const Steps &steps = {});

// Step 3 alone. Never replaces an existing file and never leaves a partial
// one. A missing Result/ or template is silent (false); a template that is
// not a sound table, or a Result/ where nothing can be saved (read-only,
// full disk) raises store::Error, so that the user learns it at start-up.
bool createWorkingTable();
// Step 4 alone.
void purgeFindings();

// A window program's last step, once its application object and windows are
// gone (every table, database and settings file closed): the exit code to
// return from main. On Windows the process ends here, without the runtime
// libraries' unload. MinGW's thread library can be left with a lock that a
// finished thread never released, and the C++ runtime's unload then waits on
// it for ever: the window is gone but the process keeps running, holding the
// program's files. Nothing is left to write by then.
int finish(int exitCode);

} // namespace store::startup
