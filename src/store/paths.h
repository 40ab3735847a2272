#pragma once

#include <QString>
#include <QStringList>

// Where Kinfolio keeps its files, and how a data file's path is made.
namespace Store {

// The program's own directory (holds the help page), with a trailing '/'.
// Found next to the executable: <prefix>/bin/kinfolio -> <prefix>/share/kinfolio/.
QString appDir();

// The one flat directory that holds every data file, with a trailing '/':
// <XDG data home>/Kinfolio/Data/.
QString dataDir();

// The program's own copies of pictures (those that came with imported
// contacts), beside the data directory, with a trailing '/'.
QString picturesDir();
// The picture a Pic file names. One of the program's own named by where it
// was before the folder moved (restored into another home) is found in the
// folder where it is now.
QString picturePath(const QString &named);

// Longest data file name, in bytes. The file system takes 255; earlier
// versions name a rewrite's temporary file after its target with 7 bytes
// more, so names are kept short enough for them to rewrite every file too.
inline constexpr int maxFileNameBytes = 255 - 7;

// The path of a data file: dataDir() followed directly by the parts, with no
// separator, escaping or change of case. Returns an empty string when the
// result could not name a file directly inside dataDir() (a part holds '/',
// '\' or NUL, or the file name is too long); every file operation treats an
// empty path as a file that does not exist.
QString dataFile(const QString &part1, const QString &part2 = {}, const QString &part3 = {});

// Whether a category or contact name holds a character it may not: one that
// cannot be part of a file name on the systems the data directory may travel
// to, or the double quote, which the file encoding cannot carry in a value.
bool hasForbiddenCharacter(const QString &name);

// Whether the file name made of the parts fits the file system's limit.
bool fitsFileName(const QString &part1, const QString &part2 = {}, const QString &part3 = {});

// Creates appDir() / dataDir(). Both fail harmlessly when the directory
// exists. The data directory, and each missing directory above it, is made
// readable by its owner only. The data directory made or found here is the
// one the program writes in: once it is deleted, or another takes its place,
// nothing is written there (see dataDirGone()).
bool makeAppDir();
bool makeDataDir();

// Makes dir and each missing directory above it, readable by their owner
// only; one that exists is left as its owner set it. Whether any was made.
bool makePrivateDirs(const QString &dir);

// Lets go of the data directory makeDataDir() took, which is held open until
// then (so a file system can be unmounted once the window is gone).
void leaveDataDir();

// Whether dir is the data directory makeDataDir() took, and that one has been
// deleted or replaced since. A names list written into a data directory made
// again would name contacts whose files are gone, and the list of categories
// would leave out what the window shows.
bool dataDirGone(const QByteArray &dir);

// Why the program may not write in the data directory or the folders beside
// it, as a sentence; empty when it may. A folder that is not the user's own,
// or that others can write, is refused: whoever can put a file there can put
// a link that turns the program's rewrites against the user's other files.
QString untrustedDataDir();

} // namespace Store

// The data files' names, or the fixed parts of them.
namespace FileName {
inline const QString RelationsList = QStringLiteral("RelationsList");
inline const QString NamesList = QStringLiteral("NamesList");
inline const QString Birthday = QStringLiteral("Birthday");
inline const QString Relation = QStringLiteral("Relation");
inline const QString Address = QStringLiteral("Address");
inline const QString DrivingDirections = QStringLiteral("DrivingDirections");
inline const QString Numbers = QStringLiteral("Numbers");
inline const QString NumbNotes = QStringLiteral("NumbNotes");
inline const QString DependantsList = QStringLiteral("DependantsList");
inline const QString Pic = QStringLiteral("Pic");

// Every file a contact may have, each named category & name & suffix.
inline const QStringList contactSuffixes = {Birthday, Relation, Address, DrivingDirections,
                                            Numbers, NumbNotes, DependantsList, Pic};
} // namespace FileName
