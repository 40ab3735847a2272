#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace DiskFile {
class NewVersion;
}

// The one text encoding of every data file.
//
// Write form: each field as a double quote, the value unchanged, a double
// quote; fields of a record separated by commas; every line ends in CR LF.
// Print form: the bare value followed by CR LF; a number has a space (or its
// minus sign) before it and a space after it.
//
// Files are written as UTF-8. A file that is not valid UTF-8 is read as
// Windows-1252, so files written by the Windows program read correctly. A line
// break inside a value is "\n" in memory and CR LF on disk.
//
// Every operation opens its file, finishes and closes it. A path that is empty
// (see Store::dataFile) behaves as a file that does not exist. Only regular
// files are read or replaced; a data file that is a symbolic link stays one,
// and its rewrites go to the file it points to. Rewrites go through one
// writer (Saver) that keeps their order; reads see what a queued rewrite
// will store.
namespace RecordFile {

// The one character a value cannot hold: it ends a quoted field.
inline constexpr QChar unquotable = u'"';

// When a rewrite returns. Stored: once its file is on the disk, content and
// name, so a power cut cannot undo it; false when it is not. Queued: at
// once, for a change the user goes on making (a keystroke): the file is
// written in the background, and a failure is told once and retried (see
// Saver); false only for an empty path. Fresh: stored, for a file the
// caller found absent, which is then not looked for again. FreshInPlace:
// as Fresh, but made under its own name, where it may be seen partly
// written until stored: only for a file that a change written down before
// it accounts for, so that a crash's remains are found and deleted.
enum Mode { Stored, Queued, Fresh, FreshInPlace };

// One write-form record of one field per entry.
bool rewriteList(const QString &path, const QStringList &entries, Mode mode = Stored);
// One write-form record of the given fields.
bool rewriteRecord(const QString &path, const QStringList &fields, Mode mode = Stored);
// A file's content exactly as given, for a file brought in whole.
bool rewriteBytes(const QString &path, const QByteArray &bytes, Mode mode = Stored);
// One print-form value.
bool rewriteValue(const QString &path, const QString &value, Mode mode = Stored);
bool rewriteValue(const QString &path, qint64 number, Mode mode = Stored);

// Appends every field of the file to entries, in file order. On a failure the
// entries read before it are kept.
bool readList(const QString &path, QStringList &entries);
// Reads count fields from the start of the file. On failure fields is left
// untouched, so a short or missing file changes nothing.
bool readRecord(const QString &path, int count, QStringList &fields);
// Reads the first field of the file.
bool readValue(const QString &path, QString &value);
// Reads the first value of the file as far as its line ends, commas
// included: a path in the print form may hold commas.
bool readLine(const QString &path, QString &value);
// The file's bytes as they are.
bool readBytes(const QString &path, QByteArray &bytes);
// A picture's bytes, wherever the user keeps it and whoever owns it; like a
// data file, only a regular file is read, and never waited on.
bool readPicture(const QString &path, QByteArray &bytes);

// While a group is open, the rewrites above, whatever their mode, leave each
// file as it is; commit(), or the group's end, stores them all together (each
// written out, all synced, for about the cost of one sync, then each put in
// place) and tells whether every file was. A file rewritten twice in a group
// is stored once, with the later content. A rewrite in a group returns false
// only for an empty path. Reads see the old content until then. A group
// opened inside another is part of it. Removes in a group delete their file
// at once (and drop any version of it the group holds) but leave syncing the
// directory to the commit, so deleting many files syncs it once.
class WriteGroup
{
public:
    WriteGroup();
    ~WriteGroup();
    WriteGroup(const WriteGroup &) = delete;
    WriteGroup &operator=(const WriteGroup &) = delete;

    bool commit();
    // Why the last commit failed (an errno value); 0 when it did not.
    int error() const { return m_error; }

private:
    bool m_outermost = false;
    int m_error = 0;
};

// Deletes the temporary files that rewrites cut short by a crash left in
// the data directory dir, in the program's folders beside it and the one
// holding them, and beside the files that data files linked from dir point
// to. Nothing else is touched: no file of the program's can have a
// temporary's name. Returns how many were deleted.
int removeTemporaries(const QString &dir);

// Tries every queued rewrite now, as the program does before it ends;
// whether all of them are stored.
bool flush();
// Forgets the queued rewrites that could not be stored, once the program
// has given up on them.
void discardUnsaved();

// A file of the user's own (an export) written as the data files are, piece
// by piece as it is made, never held whole: its old content stays until
// commit() has put the new in its place on the disk. Each step gives the
// error (an errno value) when it could not be done, 0 when it was; after an
// error the file is left as it was.
class NewFile
{
public:
    explicit NewFile(const QString &path);
    ~NewFile();
    int append(const QByteArray &bytes);
    int commit();

private:
    std::unique_ptr<DiskFile::NewVersion> m_version;
    int m_error = 0;
};

bool exists(const QString &path);
// Whether the file exists but cannot be read, as on a disk error, without
// permission to read it, or when it is not a regular file.
bool unreadable(const QString &path);
// Deletes the file, and any queued rewrite of it; a link is deleted, not the
// file it points to. A file that does not exist is not a failure. Outside a
// group it returns once the deletion is on the disk.
bool remove(const QString &path);

// Gives a file another name in one step, so that a crash or a power cut
// finds it under one of the two, never both nor neither; a file already under
// the new name is replaced. A rewrite of it still queued must have been
// stored first (flush): false, and nothing moved, while one waits. A file
// that does not exist is not a failure. Outside a group it returns once the
// move is on the disk; in one, the commit syncs the directory.
bool move(const QString &from, const QString &to);

// The bytes the rewrite operations write, for callers and tests that need them.
QByteArray encodeList(const QStringList &entries);
QByteArray encodeRecord(const QStringList &fields);
QByteArray encodeValue(const QString &value);
QByteArray encodeNumber(qint64 number);

// Parses file content. readField returns false only when nothing is left.
class Reader
{
public:
    explicit Reader(const QByteArray &bytes);

    bool atEnd() const { return m_pos >= m_bytes.size(); }
    bool readField(QString &value);
    // The same, but a value that is not quoted ends only at the line's end.
    bool readLine(QString &value);

private:
    bool read(QString &value, bool commaEnds);
    QString decode(QByteArrayView raw, bool quoted) const;
    void skipDelimiter();

    QByteArray m_bytes;
    qsizetype m_pos = 0;
    bool m_utf8 = true;
};

} // namespace RecordFile
