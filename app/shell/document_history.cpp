#include "app/shell/document_history.h"

#include <cassert>
#include <utility>

DocumentHistory::Snapshot DocumentHistory::freeze(OrganizationArchive archive, const FrozenOrganization *neighbour)
{
    Snapshot snapshot;
    snapshot.organization = FrozenOrganization(archive.organization, neighbour);
    archive.organization = Organization();
    snapshot.rest = std::move(archive);
    return snapshot;
}

OrganizationArchive DocumentHistory::thaw(const Snapshot &snapshot)
{
    OrganizationArchive archive = snapshot.rest;
    archive.organization = snapshot.organization.toOrganization();
    return archive;
}

void DocumentHistory::push(const QString &name, OrganizationArchive previous, const QString &mergeKey)
{
    m_redo.clear();
    // Keystrokes in one field: the step keeps the content from before the first one.
    if (m_mergeOpen && !mergeKey.isEmpty() && !m_undo.empty() && m_undo.back().mergeKey == mergeKey)
        return;
    const FrozenOrganization *neighbour = m_undo.empty() ? nullptr : &m_undo.back().content.organization;
    m_undo.push_back({name, mergeKey, freeze(std::move(previous), neighbour)});
    if (m_undo.size() > maximumSteps)
        m_undo.pop_front();
    m_mergeOpen = !mergeKey.isEmpty();
}

void DocumentHistory::dropEmptyMerge(const OrganizationArchive &current)
{
    if (!m_mergeOpen || m_undo.empty() || !(thaw(m_undo.back().content) == current))
        return;
    m_undo.pop_back();
    m_mergeOpen = false;
}

QString DocumentHistory::undoName() const
{
    return m_undo.empty() ? QString() : m_undo.back().name;
}

QString DocumentHistory::redoName() const
{
    return m_redo.empty() ? QString() : m_redo.back().name;
}

OrganizationArchive DocumentHistory::undo(OrganizationArchive current)
{
    assert(canUndo() && "undo without a step");
    m_mergeOpen = false;
    Step step = std::move(m_undo.back());
    m_undo.pop_back();
    OrganizationArchive previous = thaw(step.content);
    Snapshot after = freeze(std::move(current), &step.content.organization);
    m_redo.push_back({std::move(step.name), QString(), std::move(after)});
    return previous;
}

OrganizationArchive DocumentHistory::redo(OrganizationArchive current)
{
    assert(canRedo() && "redo without a step");
    m_mergeOpen = false;
    Step step = std::move(m_redo.back());
    m_redo.pop_back();
    OrganizationArchive next = thaw(step.content);
    Snapshot before = freeze(std::move(current), &step.content.organization);
    m_undo.push_back({std::move(step.name), QString(), std::move(before)});
    return next;
}

void DocumentHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
    m_mergeOpen = false;
}
