#pragma once

#include <QObject>

#include <optional>
#include <vector>

class OrganizationDocument;
struct OrganizationArchive;

// Clears the modified flag of documents whose unsaved state hides no real change, so that
// closing or quitting asks to save only when something would be lost. Watches every
// registered document and checks it whenever its content or its flag changes.
class DocumentCloseCoordinator : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts watching `document` (once; registering again only re-runs the check) until it
    // is destroyed.
    void registerDocument(OrganizationDocument *document);
    // Runs the check for every registered document; called before the quit review.
    void prepareToQuit();
    // Clears the flag of one document when no save prompt is needed. Compares the live
    // archive with the one last read or written, kept in memory: no disk access.
    void clearUnnecessaryChanges(OrganizationDocument *document);

    int registeredCount() const { return int(m_documents.size()); }

private:
    std::vector<OrganizationDocument *> m_documents;
};
