#pragma once

#include <QByteArray>

#include <optional>

#include <sys/stat.h>

// The file-system steps under the record files: reading a data file, and
// putting a new version of one in its place so that neither a crash nor a
// power cut leaves a cut file or undoes a change once it is stored. A step
// that fails gives the error (an errno value) and leaves no file behind.
// Used by the store only; paths are encoded file names.
namespace DiskFile {

// Reads a regular file whole. Opened without waiting, so a pipe or a device
// standing in a data file's place cannot hang the program. A data file, or
// the file its link leads to, is read only when it is the user's own
// (EPERM otherwise); anyOwner lifts that for a picture kept anywhere.
int read(const QByteArray &path, QByteArray &bytes, bool anyOwner = false);

// The directory that holds the path's name.
QByteArray directoryOf(const QByteArray &path);

// A rename, link or unlink is on the disk only once its directory has been
// synced: until then a power cut can undo it, even with the file synced.
int syncDirectory(const QByteArray &dir);
// Syncs everything written to the file system that holds dir.
int syncFileSystemOf(const QByteArray &dir);

// Deletes the temporaries that rewrites cut short left in dir, and beside
// the files that links in dir point to. Returns how many it deleted.
int removeTemporaries(const QByteArray &dir);

// A new version of one file, written out beside it but not yet in its place.
// Until replace() it is an unnamed file where the file system can make one,
// so a crash leaves nothing behind; a named one has a name no data file can
// have, which removeTemporaries() finds. A target that is a symbolic link
// stays one: the file it points to is replaced, if it is the user's own.
class NewVersion
{
public:
    NewVersion(NewVersion &&other) noexcept;
    NewVersion &operator=(NewVersion &&other) noexcept;
    NewVersion(const NewVersion &) = delete;
    NewVersion &operator=(const NewVersion &) = delete;
    ~NewVersion();

    // Writes the new content; the error when it could not be. A fresh file
    // is one the caller found absent: it is not looked for again first (an
    // import makes tens of thousands). One found in its place after all is
    // replaced only as any other would be, and a link there is not followed
    // (ELOOP). One made in place is made under its own name from the start,
    // which saves linking it in; until replace() it may be seen there partly
    // written, so it is only for a file a change written down beforehand
    // accounts for. Should that name be taken, it is made as a fresh one.
    static std::optional<NewVersion> write(const QByteArray &target, const QByteArray &bytes, int &error,
                                           bool fresh = false, bool inPlace = false);
    // Adds to the content, for a file written as it is made.
    int append(const QByteArray &bytes) const { return writeAll(bytes); }

    // Starts the disk on this file's content without waiting for it, so that
    // a group of files is written out together before each is synced.
    void startWriteBack() const;
    int sync() const;
    // Syncs everything written to this file's file system: one call that
    // stands for the syncs of many files written together.
    int syncFileSystem() const;
    // The file system it is written to.
    dev_t device() const;
    // Puts the synced content in place of the file, so the file holds either
    // its old content or all of the new (one made in place is kept, where
    // discarding it would delete it). Its directory still needs a sync.
    int replace();
    // The directory the file is put in, which holds its name.
    QByteArray directory() const { return directoryOf(m_target); }

private:
    explicit NewVersion(const QByteArray &target) : m_target(target) {}

    QByteArray temporaryName() const;
    int create(bool fresh, bool inPlace);
    int mayReplace(const struct stat &existing) const;
    int writeAll(const QByteArray &bytes) const;
    void discard();

    QByteArray m_target;
    QByteArray m_temporary; // empty while the new version has no name
    int m_fd = -1;
    bool m_targetExisted = false;
    bool m_fresh = false;
    bool m_inPlace = false; // made under the target's name, and not yet kept
};

} // namespace DiskFile
