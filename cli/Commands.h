#pragma once
// One function per pdeclare-cli command. Each returns the process exit code:
// 0 success, 1 stopped by findings or the user's No, 2 failure (message on stderr).
#include "cli/CommandTable.h"

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

// The hospital's commands: their declarations (in their own cmd_*.cpp)
// and what runs them.
extern const Command sqlCommand, dumpCommand, checkCommand, printCommand, backupCommand, uploadCommand, promptsCommand;
int cmdSql(const Args &args);
int cmdDump(const Args &args);
int cmdCheck(const Args &args);
int cmdPrint(const Args &args);
int cmdBackup(const Args &args);
int cmdUpload(const Args &args);
// 0 no prompt, 1 prompts printed, 2 failure.
int cmdPrompts(const Args &args);
// The monitoring centre (declared in CentreCommands.cpp): 0 done, 1 some
// upload files refused, 2 nothing done.
int cmdCollect(const Args &args);
int cmdStatus(const Args &args);
int cmdExport(const Args &args);
int cmdHistory(const Args &args);

// Hands the command over to PROGRAM in this program's own folder, with the
// same standard channels and exit code. execBeside (not on Windows) needs no
// Qt object: it replaces this process with argv (argv[0] becomes PROGRAM's
// path) before anything is loaded, so the hand-over costs next to nothing;
// it returns only on failure: 2 after saying so (missing, when PROGRAM is not
// there), or -1 when this program cannot find its own folder. runBeside
// needs the QCoreApplication: on Windows it runs PROGRAM with args and
// waits; elsewhere it replaces this process as execBeside does.
#ifndef Q_OS_WIN
int execBeside(const char *program, char *argv[], const QString &missing);
// The same without a word, and without anything that needs a constructor to
// have run: returns when PROGRAM cannot be run. The environment is passed
// as envp: before the constructors, the C library's environ is not yet set.
void execBesideQuietly(const char *program, char *argv[], char *envp[]);
#endif
int runBeside(const char *program, char *argv[], const QStringList &args, const QString &missing);

// Points the store at PROGRAM_DIR when given, else at the program directory
// the window program would use (made ready on first use). False, with the
// message on stderr, when that directory cannot be made.
bool useProgramDir(const QString &dirOrEmpty);

} // namespace cli
