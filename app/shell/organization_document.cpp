#include "app/shell/organization_document.h"

#include "app/shell/file_saving.h"
#include "core/chart/chart_scene.h"
#include "core/document/arriving_bytes.h"
#include "core/document/document_close_policy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

[[noreturn]] static void fail(const QString &message)
{
    throw OrganizationError::invalid(message.toStdString());
}

static QString tooLargeMessage(const QString &fileName)
{
    return QString("The file “%1” is too large to be an organization (more than %2 MB).")
        .arg(fileName)
        .arg(OrganizationDocument::maximumFileBytes / (1024 * 1024));
}

OrganizationDocument::OrganizationDocument(QObject *parent) : QObject(parent), m_archive(untitledArchive()) {}

OrganizationDocument::~OrganizationDocument()
{
    // A large district, its saved copy and its undo steps are freed off the window's thread:
    // a closing window, and so a quit, would wait tens of milliseconds for them.
    struct Kept {
        OrganizationArchive archive;
        std::optional<OrganizationArchive> saved;
        DocumentHistory history;
    };
    releaseElsewhere(std::make_shared<const Kept>(Kept{std::move(m_archive), std::move(m_savedArchive), std::move(m_history)}));
}

QString OrganizationDocument::fileFilter()
{
    return QStringLiteral("Organization (*.json *.JSON)");
}

OrganizationArchive OrganizationDocument::untitledArchive()
{
    return OrganizationArchive::make("Untitled Organization", Organization{});
}

// Puts the file's bytes into `bytes` as they are read; why they could not all be read, if so.
static std::optional<QString> readInto(QFile &file, const QString &name, ArrivingBytes &bytes)
{
    constexpr qint64 chunkBytes = qint64(4) * 1024 * 1024; // small enough for decoding to start at once
    qint64 total = 0;
    while (bytes.room() > 0 && bytes.isWanted()) {
        const qint64 count = file.read(bytes.next(), std::min<qint64>(chunkBytes, qint64(bytes.room())));
        if (count < 0 || file.error() != QFileDevice::NoError) {
            bytes.abandon();
            return QString("The file “%1” could not be read: %2.").arg(name, file.errorString());
        }
        if (count == 0)
            break;
        bytes.arrived(size_t(count));
        total += count;
    }
    if (total > OrganizationDocument::maximumFileBytes) {
        bytes.abandon();
        return tooLargeMessage(name);
    }
    // A file cut short while it was read ends where it ends now, before some bytes read.
    const std::optional<FileStamp> now = FileSaving::stampOf(file.handle());
    bytes.finish(now && now->size < total ? size_t(now->size) : size_t(total));
    return std::nullopt;
}

OrganizationArchive OrganizationDocument::readFile(const QString &path)
{
    std::optional<FileStamp> stamp;
    return readFile(path, stamp);
}

static OrganizationArchive readWhole(const QString &path, std::optional<FileStamp> &stamp);

// Reads and decodes the file at `path`; readFile adds where a whole copy waits.
static OrganizationArchive readWhole(const QString &path, std::optional<FileStamp> &stamp)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (!info.exists())
        fail(QString("The file “%1” does not exist.").arg(name));
    // Directories, devices and pipes hold no organization; a pipe would also block the read.
    if (!info.isFile())
        fail("This file does not contain an organization.");
    if (info.size() > OrganizationDocument::maximumFileBytes)
        fail(tooLargeMessage(name));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        fail(QString("The file “%1” could not be read: %2.").arg(name, file.errorString()));
    // Taken before reading: a change made while the file is read shows at the next save.
    stamp = FileSaving::stampOf(file.handle());
    // The file may have grown since it was measured: read one byte past the limit to notice.
    const qint64 capacity = std::min<qint64>(file.size(), OrganizationDocument::maximumFileBytes) + 1;
    auto bytes = std::make_unique<ArrivingBytes>(size_t(capacity));
    // A large file is decoded while it is still being read; what cannot be read is reported
    // before what the bytes read so far hold.
    std::optional<QString> failure;
    std::thread reader([&] { failure = readInto(file, name, *bytes); });
    std::optional<OrganizationArchive> archive;
    try {
        archive = OrganizationArchive::decode(*bytes);
    } catch (const ArrivingBytes::Abandoned &) {
    } catch (...) {
        // Refused from the bytes read so far: the rest of a large file is not read for nothing.
        bytes->stopWanting();
        reader.join();
        throw;
    }
    reader.join();
    if (failure)
        fail(*failure);
    // Giving hundreds of megabytes back to the system takes a while: the document need not wait.
    if (capacity > qint64(64) * 1024 * 1024)
        std::thread([done = std::move(bytes)] {}).detach();
    return std::move(*archive);
}

static QString shown(const std::filesystem::path &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

// Whether the two files hold the same bytes; false where either cannot be read.
static bool sameBytes(const QString &path, const std::filesystem::path &other)
{
    QFile one(path);
    QFile two(shown(other));
    if (!one.open(QIODevice::ReadOnly) || !two.open(QIODevice::ReadOnly) || one.size() != two.size())
        return false;
    constexpr qint64 chunkBytes = qint64(1) << 20;
    for (;;) {
        const QByteArray a = one.read(chunkBytes);
        const QByteArray b = two.read(chunkBytes);
        if (a != b)
            return false;
        if (a.isEmpty())
            return one.error() == QFileDevice::NoError && two.error() == QFileDevice::NoError;
    }
}

OrganizationArchive OrganizationDocument::readFile(const QString &path, std::optional<FileStamp> &stamp,
                                                   QString *notice)
{
    const std::filesystem::path local = FileSaving::localPath(path);
    std::optional<OrganizationArchive> archive;
    try {
        archive = readWhole(path, stamp);
    } catch (const OrganizationError &error) {
        const QString message = QString::fromStdString(error.message());
        // A save writing over the file was ended part-way: its whole text stands beside it, or
        // in its saver's own folder.
        if (const std::vector<FoundCopy> copies = KeptCopies::of(local); !copies.empty())
            fail(message
                 + QString(" A save by %1 that did not finish left its new contents whole in “%2”.")
                       .arg(QString::fromStdString(copies.front().holder), shown(copies.front().path)));
        // Earlier versions kept a torn file's whole text under a hidden name only.
        const std::vector<FoundCopy> hidden = KeptCopies::hiddenBeside(local);
        for (size_t i = 0; i < hidden.size() && i < 8; ++i) {
            try {
                std::optional<FileStamp> unused;
                readWhole(shown(hidden[i].path), unused);
            } catch (...) {
                continue;
            }
            fail(message
                 + QString(" A save by %1 that did not finish left contents whole in the hidden file “%2”.")
                       .arg(QString::fromStdString(hidden[i].holder), shown(hidden[i].path)));
        }
        throw;
    }
    // Whole, but a save may have stopped before it, or while, writing over it.
    if (notice) {
        notice->clear();
        const std::optional<FoundCopy> copy = KeptCopies::marked(local);
        if (copy && !sameBytes(path, copy->path))
            *notice = QString("The file “%1” may not hold its latest contents: a save by %2 that did not finish "
                              "left newer contents whole in “%3”.")
                          .arg(QFileInfo(path).fileName(), QString::fromStdString(copy->holder), shown(copy->path));
    }
    return std::move(*archive);
}

FileStamp OrganizationDocument::writeFile(const OrganizationArchive &archive, const QString &path)
{
    return FileSaving::write(path, archive.encodeDocument());
}

QString OrganizationDocument::canonicalPath(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists())
        return info.canonicalFilePath();
    const QString folder = info.absoluteDir().canonicalPath();
    if (folder.isEmpty())
        return info.absoluteFilePath();
    return QDir(folder).filePath(info.fileName());
}

void OrganizationDocument::setArchive(OrganizationArchive archive, const QString &stepName, const QString &mergeKey)
{
    // Different organizations make different archives: the whole archive is compared only
    // when the organizations agree.
    const bool organizationDiffers = archive.organization != m_archive.organization;
    if (!organizationDiffers && archive == m_archive)
        return;
    // Pushed before anyone hears of the change: a listener that edits in turn makes a
    // step of its own after this one.
    m_history.push(stepName, std::exchange(m_archive, std::move(archive)), mergeKey, organizationDiffers);
    ++m_revision;
    if (!mergeKey.isEmpty())
        m_history.dropEmptyMerge(m_archive);
    announce(organizationDiffers);
}

void OrganizationDocument::abandonEdit(DocumentHistory::Snapshot before) noexcept
{
    // Most refusals change nothing: the positions are compared, not copied back.
    m_archive.sharingHint = FrozenOrganization();
    DocumentHistory::restoreInto(std::move(before), m_archive);
}

void OrganizationDocument::finishEdit(DocumentHistory::Snapshot before, const QString &stepName,
                                      const QString &mergeKey)
{
    m_archive.sharingHint = FrozenOrganization();
    const bool organizationDiffers = !before.organization.holds(m_archive.organization);
    if (!organizationDiffers && DocumentHistory::sameBesideOrganization(before, m_archive))
        return;
    // Pushed before anyone hears of the change: a listener that edits in turn makes a
    // step of its own after this one.
    m_history.push(stepName, std::move(before), mergeKey, organizationDiffers);
    ++m_revision;
    if (!mergeKey.isEmpty())
        m_history.dropEmptyMerge(m_archive);
    announce(organizationDiffers);
}

void OrganizationDocument::restore(OrganizationArchive archive, bool organizationDiffers)
{
    m_archive = std::move(archive);
    ++m_revision;
    announce(organizationDiffers);
}

bool OrganizationDocument::needsSave() const
{
    return DocumentClosePolicy::needsSavePrompt(m_archive, m_savedArchive) || wholeCopyOfIncompleteFile().has_value();
}

std::optional<QString> OrganizationDocument::wholeCopyOfIncompleteFile() const
{
    if (!m_leftCopy || m_leftCopy->target != m_filePath || m_filePath.isEmpty())
        return std::nullopt;
    return shown(m_leftCopy->copy.path);
}

void OrganizationDocument::announce(bool organizationDiffers)
{
    // Undoing back to the saved content leaves nothing to save; leaving it again does.
    setModified(needsSave());
    emit archiveChanged();
    if (organizationDiffers)
        emit organizationChanged();
    emit historyChanged();
}

void OrganizationDocument::undo()
{
    if (!m_history.canUndo())
        return;
    bool organizationDiffers = true;
    // The history takes the content itself: a copy of a large district costs more than the undo.
    OrganizationArchive previous = m_history.undo(std::move(m_archive), &organizationDiffers);
    restore(std::move(previous), organizationDiffers);
}

void OrganizationDocument::redo()
{
    if (!m_history.canRedo())
        return;
    bool organizationDiffers = true;
    OrganizationArchive next = m_history.redo(std::move(m_archive), &organizationDiffers);
    restore(std::move(next), organizationDiffers);
}

QString OrganizationDocument::displayName() const
{
    return hasFile() ? QFileInfo(m_filePath).fileName() : m_untitledName;
}

void OrganizationDocument::setUntitledName(const QString &name)
{
    if (name == m_untitledName)
        return;
    m_untitledName = name;
    if (!hasFile())
        emit filePathChanged();
}

void OrganizationDocument::setModified(bool modified)
{
    if (modified == m_modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

bool OrganizationDocument::isUntouched() const
{
    return !hasFile() && m_archive == untitledArchive();
}

void OrganizationDocument::load(const QString &path)
{
    std::optional<FileStamp> stamp;
    OrganizationArchive archive = readFile(path, stamp);
    adoptLoaded(path, std::move(archive), stamp);
}

void OrganizationDocument::adoptLoaded(const QString &path, OrganizationArchive archive, std::optional<FileStamp> stamp)
{
    m_fileStamp = stamp;
    const bool changed = archive != m_archive;
    const bool organizationDiffers = archive.organization != m_archive.organization;
    m_archive = std::move(archive);
    ++m_revision;
    adoptFile(canonicalPath(path), m_archive);
    m_history.clear();
    emit historyChanged();
    if (changed)
        emit archiveChanged();
    if (organizationDiffers)
        emit organizationChanged();
    emit fileLoaded();
}

void OrganizationDocument::saveTo(const QString &path)
{
    write(path, false, std::nullopt);
}

std::optional<FileStamp> OrganizationDocument::saveOver(const QString &path, const std::optional<FileStamp> &accepted)
{
    return write(path, true, accepted);
}

std::optional<FileStamp> OrganizationDocument::write(const QString &path, bool weighChanges,
                                                     const std::optional<FileStamp> &accepted)
{
    const std::string bytes = m_archive.encodeDocument();
    const QString canonical = canonicalPath(path);
    try {
        // Held from the look at the file until it is written: another save waits, then finds
        // this one's writing.
        // A hidden file beside a torn document may hold its only whole text.
        PendingFile file(FileSaving::localPath(path), [&path] {
            try {
                std::optional<FileStamp> unused;
                readWhole(path, unused);
                return true;
            } catch (...) {
                return false;
            }
        });
        if (const std::optional<struct stat> &found = file.targetStatus(); weighChanges && found && m_fileStamp) {
            const FileStamp now = FileSaving::stampFrom(*found);
            if (now != *m_fileStamp && now != accepted)
                return now;
        }
        if (m_leftCopy && m_leftCopy->target == canonical)
            file.supersede(m_leftCopy->copy);
        file.reserve(bytes.size());
        file.append(bytes);
        file.commit();
        m_fileStamp = FileSaving::stampFrom(file.placedStatus());
    } catch (const FileWriteError &error) {
        // The window's own writing, which the next save must not take for another program's.
        if (canonical == m_filePath && error.leftStatus())
            m_fileStamp = FileSaving::stampFrom(*error.leftStatus());
        if (error.keptCopy()) {
            m_leftCopy = LeftCopy{canonical, *error.keptCopy()};
            setModified(needsSave());
        }
        throw;
    }
    if (m_leftCopy && m_leftCopy->target == canonical)
        m_leftCopy.reset();
    adoptFile(canonical, m_archive);
    return std::nullopt;
}

bool OrganizationDocument::isChangedOnDisk() const
{
    if (!hasFile() || !m_fileStamp)
        return false;
    const std::optional<FileStamp> now = FileSaving::stampOf(m_filePath);
    return now && *now != *m_fileStamp;
}

void OrganizationDocument::adoptFile(const QString &path, const OrganizationArchive &saved)
{
    m_savedArchive = saved;
    if (path != m_filePath) {
        m_filePath = path;
        emit filePathChanged();
    }
    setModified(false);
}
