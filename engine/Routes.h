#pragma once

#include "engine/Failure.h"
#include "formats/Kinds.h"
#include "platform/FileSystem.h"

#include <QString>

class Desktop;

// What a route's removal may use besides the working copy. Removals run on worker threads,
// several at once: they never touch the window.
struct RouteContext {
    Desktop &desktop;              // collects error dialogs: none is shown, the first is a reason
    const QString &programFolder;  // where exiv2 and pdftk are
    const QString &workingFolder;  // this file's own private folder, for a route's own files
    // False once the batch is stopping: long copies and tools end then.
    const FileSystem::KeepGoing &keepGoing;
};

// How a listed file goes through the batch, by the kind of file it is: cleaned by its kind's
// pass (or the tools its kind needs) and checked, copied as it is when no pass knows it, or not
// written at all when it is nothing but metadata.
namespace Routes {

// The kind a working copy is: the one its name says (".DS_Store"), else its extension's, else the
// one its content shows; content that is nothing but metadata wins over any extension. Null for
// a file of no kind Parchwipe knows.
const Kinds::Kind *kindOf(const QString &name, const QString &extension, const QString &copy);

// What cleaning the file would cost in memory, told before work starts; small for a file that
// cannot be read, which fails at once.
qint64 memoryCost(const QString &name, const QString &extension, const QString &file);

// Runs the kind's removal on the copy: nothing when it was stripped, else why not. A file of no
// known kind, or of a kind no pass cleans yet, is written anew as it is.
StepResult remove(const Kinds::Kind *kind, RouteContext &context, const QString &copy);

// Runs the kind's check on the stripped copy: nothing when it is clean, else what remains (an
// Internal fault of the pass) or why it cannot be read.
StepResult check(const Kinds::Kind *kind, const QString &copy);

// What the file holds before cleaning, as its kind's check names it; nothing when the kind has
// no check or the check finds only damage.
Formats::Findings findings(const Kinds::Kind *kind, const QString &file);

}  // namespace Routes
