#pragma once
// The commands of a program as a table. Each command declares its name, the
// words that follow it, its options and its help once; the program's
// --help, each command's --help and usage line, and the reading of its
// options all come from that declaration, so a command cannot be reached
// without its help nor take an option that its help does not list.
//
// Declarations are plain constant data (no constructor runs for them):
// pdeclare-cli looks the centre's commands up before any constructor has
// run (see main.cpp).
#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

namespace cli {

struct Option {
    const char *name;  // "--pdf"
    const char *value; // the word shown for its value ("FILE"); nullptr: a switch
    const char *help;
    // Options of one nonzero group are alternatives, shown together as
    // "--csv|--xlsx|--pdf FILE"; a required group is shown without brackets
    // (the command checks that one of them was given, with its own message).
    int group;
    bool required;
};

struct Command;

// A command line read against a command's options.
class Args {
public:
    const Command *command = nullptr;
    QStringList positional;

    bool has(const char *option) const { return count(option) > 0; }
    int count(const char *option) const;
    // The value given last for option; empty when it was not given.
    QString value(const char *option) const;
    // Of the switches named, the one given last; nullptr when none was.
    const char *lastOf(std::initializer_list<const char *> options) const;

private:
    friend bool parse(const Command &, const QStringList &, Args &);
    std::vector<std::pair<QString, QString>> m_given; // option, value, in order
};

struct Command {
    const char *name;
    const char *operands; // the words after the name in its usage line: "DIR [PROGRAM_DIR]"
    const char *summary;  // one line, in the program's list and atop its own help
    const Option *options;
    std::size_t optionCount;
    const char *details;  // further lines of its own help, or nullptr
    // Words after the first operand are operands even when they begin with
    // "--" (a statement typed without quotes).
    bool verbatimTail;
};

// Every command's messages name the program as the user calls it: the
// centre's commands, too, are reached through pdeclare-cli.
inline constexpr const char kUserProgram[] = "pdeclare-cli";

// "pdeclare-cli check [PROGRAM_DIR] [--pdf FILE]"
QString synopsis(const Command &command);
// "用法：" and the synopsis, one line.
QString usageLine(const Command &command);
// The usage line, the summary, the options with their help, the details.
QString commandHelp(const Command &command);
// Writes the usage line to stderr; returns 2, the exit code of a misuse.
int usage(const Args &args);

// Reads args against command's options into out. False, with the message
// and the usage line on stderr, on an unknown option or one whose value is
// missing. "--help" is every command's option (runCommand answers it).
bool parse(const Command &command, const QStringList &args, Args &out);

using Runner = int (*)(const Args &);

// Reads args against command and runs it: "--help" prints its help (exit
// 0), a misuse exits 2.
int runCommand(const Command &command, Runner run, const QStringList &args);

// One command of a program: run == nullptr hands it to another program.
struct Entry {
    const Command *command;
    Runner run;
    bool paints; // needs Qt Gui (fonts, PDF); the others start without it
};

struct Section {
    const char *heading; // a line above its commands, or nullptr
    const Entry *entries;
    std::size_t count;
};

struct Program {
    const char *name;
    const char *version;
    const Section *sections;
    std::size_t sectionCount;
    const char *footer; // lines below the list, or nullptr
};

// The entry of name in program, or nullptr.
const Entry *findEntry(const Program &program, const char *name);
// The program's list: every command with its synopsis and summary.
QString programHelp(const Program &program);

// The whole command line after the program's name: --help/-h, --version,
// or a command of the table. handOver runs the entries without a runner.
int dispatch(const Program &program, const QStringList &args,
             const std::function<int(const Command &, const QStringList &)> &handOver);

// The monitoring centre's commands, shared by pdeclare-cli (which hands
// them over) and pdeclare-centre-cli (which runs them).
extern const Command collectCommand;
extern const Command statusCommand;
extern const Command exportCommand;
extern const Command historyCommand;
extern const char centreHeading[];
// collect, status, export or history. Plain C: it also runs before the
// constructors (see main.cpp).
bool isCentreCommand(const char *name);

} // namespace cli
