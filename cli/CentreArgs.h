#pragma once
// What the monitoring centre's commands share: their messages, their
// options, and the centre that status and export read.
#include "cli/Commands.h"

#include "centre/Database.h"
#include "centre/Reference.h"
#include "centre/Status.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>

namespace cli {

// UTF-8 text to stdout or stderr, flushed at once.
void say(FILE *to, const QString &text);

// The options of the commands (each takes those its declaration lists, in
// CentreCommands.cpp); the rest are positional.
struct CentreArgs {
    QStringList positional;
    QString programDir, csv, xlsx, pdf, part;
    bool json = false;
    double factor = 5.0;
};

// The options given in args; false, with the message on stderr, when
// --factor is not a number above 1.
bool readCentreArgs(const Args &args, CentreArgs &out);

// What status and export read: the project list and rules of the program
// directory, the existing database, and the reviewer's change factor.
struct Centre {
    centre::Reference ref;
    std::unique_ptr<centre::Database> db;
    centre::ImplausibleOptions options;
};

// The existing database a.positional.front(). Raises centre::Error.
Centre openCentre(const CentreArgs &a);

} // namespace cli
