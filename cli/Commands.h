#pragma once
// One function per pdeclare-cli command. Each returns the process exit code:
// 0 success, 1 stopped by findings or the user's No, 2 failure (message on stderr).
#include <QStringList>

#include <cstddef>

namespace cli {

// The whole program: reads the command and runs it (main calls only this).
int run(int argc, char *argv[]);

// Writes bytes to stdout; a failure's errno is kept for the exit check
// (a large write fails inside fwrite, where a later flush no longer
// knows why).
void writeOutput(const char *data, std::size_t size);
// Flushes stdout; the first failure's errno is kept for the exit check.
void flushOutput();
// 0 when everything printed reached stdout, else the errno of the failure.
int outputError();

int cmdSql(const QStringList &args);
int cmdDump(const QStringList &args);
int cmdCheck(const QStringList &args);
int cmdPrint(const QStringList &args);
int cmdBackup(const QStringList &args);
int cmdUpload(const QStringList &args);
// 0 no prompt, 1 prompts printed, 2 failure.
int cmdPrompts(const QStringList &args);
// The monitoring centre: 0 done, 1 some upload files refused, 2 nothing done.
int cmdCollect(const QStringList &args);
int cmdStatus(const QStringList &args);
int cmdExport(const QStringList &args);
int cmdHistory(const QStringList &args);

// Points the store at PROGRAM_DIR when given, else at the program directory
// the window program would use (made ready on first use). False, with the
// message on stderr, when that directory cannot be made.
bool useProgramDir(const QString &dirOrEmpty);

} // namespace cli
