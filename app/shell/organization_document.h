#pragma once

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "app/shell/document_history.h"
#include "app/shell/file_saving.h"
#include "core/document/organization_archive.h"
#endif

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>

// One open organization file, or an untitled one: the archive a window edits, the file it
// stands for, the content last read from or written to that file, and the modified flag.
class OrganizationDocument : public QObject {
    Q_OBJECT
public:
    // Organization files are read whole. Every saved version is a full copy, so a large
    // district with a long history reaches hundreds of megabytes; past this it is not ours.
    static constexpr int64_t maximumFileBytes = int64_t(4) * 1024 * 1024 * 1024;
    // The open and save panels' filter: organization files are JSON.
    static QString fileFilter();

    // A new document: an empty organization named "Untitled Organization", no file.
    explicit OrganizationDocument(QObject *parent = nullptr);
    ~OrganizationDocument() override;

    static OrganizationArchive untitledArchive();
    // Reads and decodes an organization file. Throws OrganizationError when the path is not
    // a readable regular file under maximumFileBytes or its content is not an organization.
    static OrganizationArchive readFile(const QString &path);
    // The same, giving the file's stamp as it was opened in `stamp`. A file that does not read
    // whole names the whole copy a save left, and whose it is; one that reads whole but whose
    // save did not finish has `notice` say where its newer contents are (else it is emptied).
    static OrganizationArchive readFile(const QString &path, std::optional<FileStamp> &stamp,
                                        QString *notice = nullptr);
    // Validates and encodes the archive, then replaces the file atomically: on any failure
    // the previous file is left as it was. Returns the written file's stamp. Throws
    // OrganizationError.
    static FileStamp writeFile(const OrganizationArchive &archive, const QString &path);
    // The absolute path with symbolic links resolved, also for a file not written yet.
    static QString canonicalPath(const QString &path);

    const OrganizationArchive &archive() const { return m_archive; }
    // Changes whenever archive() does (never 0): views compare it instead of the content.
    uint64_t revision() const { return m_revision; }
    // Replaces the content as one undo step named `stepName`; an equal archive changes
    // nothing and adds no step. Steps of one non-empty `mergeKey` in a row (typing in one
    // field) undo together. The modified flag then says whether the content differs from
    // the saved file (untitled: whether it holds anything worth saving).
    void setArchive(OrganizationArchive archive, const QString &stepName = QStringLiteral("Change"),
                    const QString &mergeKey = {});
    // Applies `change` and keeps what it made only when it returns, as one undo step: a
    // throwing edit leaves the document, its modified flag and its history as they were.
    // The change is made in the content's place, which the content from before is frozen
    // beside (a copy of a large district costs more than an edit of it): `change` must not
    // read archive() for the content before.
    template <typename Change>
    void edit(const QString &stepName, Change &&change, const QString &mergeKey = {})
    {
        DocumentHistory::Snapshot before = m_history.freezeCurrent(m_archive);
        m_archive.sharingHint = before.organization;
        try {
            std::forward<Change>(change)(m_archive);
        } catch (...) {
            abandonEdit(std::move(before));
            throw;
        }
        finishEdit(std::move(before), stepName, mergeKey);
    }
    template <typename Change>
    void edit(Change &&change)
    {
        edit(QStringLiteral("Change"), std::forward<Change>(change));
    }

    // Undo and redo return to states the user made, so they pass the planning lock.
    bool canUndo() const { return m_history.canUndo(); }
    bool canRedo() const { return m_history.canRedo(); }
    QString undoName() const { return m_history.undoName(); }
    QString redoName() const { return m_history.redoName(); }
    void undo();
    void redo();
    // The next edit starts a step of its own, even with the merge key of the last one.
    void endMerge() { m_history.endMerge(); }
    const DocumentHistory &history() const { return m_history; }

    // Empty for a document that was never saved.
    QString filePath() const { return m_filePath; }
    bool hasFile() const { return !m_filePath.isEmpty(); }
    // The file name, or the untitled name given by the controller.
    QString displayName() const;
    void setUntitledName(const QString &name);

    bool isModified() const { return m_modified; }
    // Whether closing must ask to save: the content differs from the file, or the file is
    // incomplete since a save of this document did not finish.
    bool needsSave() const;
    // Where the whole contents are, while a save of this document's file left it incomplete.
    std::optional<QString> wholeCopyOfIncompleteFile() const;
    void setModified(bool modified);
    // What the file held when it was last read or written; nothing without a file.
    const std::optional<OrganizationArchive> &savedArchive() const { return m_savedArchive; }
    // True for a document as it was made: no file and nothing in it but the untitled archive.
    bool isUntouched() const;

    // Reads `path` into this document, which then stands for that file, unmodified, with
    // a history of its own. Throws OrganizationError and leaves the document unchanged on failure.
    void load(const QString &path);
    // The same with the file already read by readFile (on another thread), whose stamp
    // then was `stamp`.
    void adoptLoaded(const QString &path, OrganizationArchive archive, std::optional<FileStamp> stamp);
    // Writes the content to `path`, which the document then stands for, unmodified. Throws
    // OrganizationError and leaves the document unchanged on failure; the file too, unless the
    // save had begun writing over it: then the message names the whole copy it kept.
    void saveTo(const QString &path);
    // The same over a file that another program may have changed since this document read or
    // last wrote it (its own file): no other save writes the file meanwhile, and where it was
    // changed nothing is written and its stamp as found is returned, for the user to weigh.
    // Saving again with that stamp `accepted` replaces it, unless it changed again since.
    std::optional<FileStamp> saveOver(const QString &path, const std::optional<FileStamp> &accepted = std::nullopt);
    // Whether another program wrote or replaced the document's file since this document
    // read or last wrote it: saving would lose what it wrote. A file gone is not changed.
    bool isChangedOnDisk() const;

signals:
    void archiveChanged();
    // Emitted after archiveChanged when the organization itself differs.
    void organizationChanged();
    void modifiedChanged(bool modified);
    // The file the document stands for, or its name, changed.
    void filePathChanged();
    // load() replaced the content with a file's: views drop their selection and focus.
    void fileLoaded();
    // What undo and redo would do changed.
    void historyChanged();

private:
    // Puts back the content from before an edit that threw.
    void abandonEdit(DocumentHistory::Snapshot before) noexcept;
    // Keeps an edit's content as setArchive keeps a new one.
    void finishEdit(DocumentHistory::Snapshot before, const QString &stepName, const QString &mergeKey);
    void adoptFile(const QString &path, const OrganizationArchive &saved);
    std::optional<FileStamp> write(const QString &path, bool weighChanges, const std::optional<FileStamp> &accepted);
    // Puts a content of the history in place.
    void restore(OrganizationArchive archive, bool organizationDiffers);
    void announce(bool organizationDiffers);

    OrganizationArchive m_archive;
    uint64_t m_revision = 1;
    std::optional<OrganizationArchive> m_savedArchive;
    QString m_filePath;
    std::optional<FileStamp> m_fileStamp; // the file's when last read or written, whole or not
    // The whole copy a failed save of the file at `target` left under a name its user can find,
    // removed by the next save of that file that succeeds.
    struct LeftCopy {
        QString target;
        KeptCopy copy;
    };
    std::optional<LeftCopy> m_leftCopy;
    QString m_untitledName = QStringLiteral("Untitled");
    bool m_modified = false;
    DocumentHistory m_history;
};
