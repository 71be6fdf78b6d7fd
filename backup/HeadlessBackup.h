#pragma once
// The backup and upload command without windows (pdeclare-cli): own query
// objects, messages to stderr, the question answered by the caller, the
// upload's check run headless and its findings printed like "check".
#include "backup/BackupRun.h"

#include <QStringList>

namespace backup {

// Runs the command in backup or upload mode into dir. answerYes answers the
// upload's question. Findings (upload) go to stdout as label TAB text,
// messages to stderr. Returns the exit code: 0 written, 1 declined, 2 failure
// or nothing to copy.
int runHeadless(bool upload, const QString &dir, bool answerYes);

} // namespace backup
