#include "app/shell/document_close_coordinator.h"

#include "app/shell/organization_document.h"

#include <algorithm>

void DocumentCloseCoordinator::registerDocument(OrganizationDocument *document)
{
    if (std::find(m_documents.begin(), m_documents.end(), document) != m_documents.end()) {
        clearUnnecessaryChanges(document);
        return;
    }
    m_documents.push_back(document);
    connect(document, &QObject::destroyed, this, [this, document] { std::erase(m_documents, document); });
    connect(document, &OrganizationDocument::archiveChanged, this,
            [this, document] { clearUnnecessaryChanges(document); });
    connect(document, &OrganizationDocument::modifiedChanged, this, [this, document](bool modified) {
        if (modified)
            clearUnnecessaryChanges(document);
    });
    clearUnnecessaryChanges(document);
}

void DocumentCloseCoordinator::prepareToQuit()
{
    // Copy: clearing a flag runs other people's slots, which may open or close documents.
    const std::vector<OrganizationDocument *> documents = m_documents;
    for (OrganizationDocument *document : documents) {
        if (std::find(m_documents.begin(), m_documents.end(), document) != m_documents.end())
            clearUnnecessaryChanges(document);
    }
}

void DocumentCloseCoordinator::clearUnnecessaryChanges(OrganizationDocument *document)
{
    if (!document->isModified())
        return;
    if (!document->needsSave())
        document->setModified(false);
}
