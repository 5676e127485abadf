#pragma once

#include "formats/core/ByteFile.h"
#include "platform/FileSystem.h"

#include <QString>
#include <QStringList>

#include <string>

class Desktop;

// What a route's removal may use besides the working copy. Removals run on worker threads,
// several at once: they never touch the window.
struct RouteContext {
    Desktop &desktop;              // collects error dialogs; the window shows them afterwards
    const QString &programFolder;  // where exiv2 and pdftk are
    const QString &workingFolder;  // this file's own private folder, for a route's own files
    // False once the batch is stopping: long copies and tools end then.
    const FileSystem::KeepGoing &keepGoing;
};

// How one kind of file is cleaned: its removal, then a check that reads the result.
struct Route {
    // Strips the working copy in place. Returns an empty text, or the reason the closing message
    // gives; may throw Formats::Refused instead.
    QString (*remove)(RouteContext &context, const QString &copy);
    // What metadata the result still holds, empty when none. Lives in formats/, reads the file
    // and shares nothing with the removal it checks. Null for a route that has nothing to check.
    std::string (*check)(Formats::ByteFile &result);
};

namespace Routes {

// The route for a file extension, in any letter case; the generic one when it has none of its own.
const Route &forExtension(const QString &extension);

// True for kinds known to carry metadata that no route removes yet: they are written anew as they
// are, and the closing message says so.
bool leavesMetadata(const QString &extension);

// Runs the route's removal: empty when the copy was stripped, else why not.
QString remove(const Route &route, RouteContext &context, const QString &copy);

// Runs the route's check on the stripped copy: empty when it is clean, else what remains.
QString check(const Route &route, const QString &copy);

// What the file holds before cleaning, as the route's check names it ("GPS position", "camera
// model"); empty when the route has no check or the check finds only damage.
QStringList findings(const Route &route, const QString &file);

}  // namespace Routes
