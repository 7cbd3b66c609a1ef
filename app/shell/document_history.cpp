#include "app/shell/document_history.h"

#include <cassert>
#include <utility>

DocumentHistory::Snapshot DocumentHistory::freeze(OrganizationArchive &&archive, const FrozenOrganization *neighbour)
{
    Snapshot snapshot;
    snapshot.organization = FrozenOrganization(archive.organization, neighbour);
    archive.organization = Organization();
    snapshot.rest = std::move(archive);
    return snapshot;
}

OrganizationArchive DocumentHistory::swapContent(Snapshot &content, OrganizationArchive &&current, bool *organizationDiffers)
{
    // The working positions become the step's in their place: only those that differ are
    // copied, where thawing would copy them all.
    Organization working = std::move(current.organization);
    FrozenOrganization kept;
    try {
        kept = FrozenOrganization(working, &content.organization);
    } catch (...) {
        current.organization = std::move(working);
        throw;
    }
    try {
        content.organization.restoreInto(working);
    } catch (...) {
        current.organization = kept.toOrganization();
        throw;
    }
    // The two share every position neither changed: comparing them frozen is mostly
    // comparing pointers.
    if (organizationDiffers)
        *organizationDiffers = !(kept == content.organization);
    current.organization = Organization();
    OrganizationArchive stored = std::move(content.rest);
    stored.organization = std::move(working);
    content.rest = std::move(current);
    m_currentFrozen = std::exchange(content.organization, std::move(kept));
    return stored;
}

DocumentHistory::Snapshot DocumentHistory::freezeCurrent(OrganizationArchive &current) const
{
    const FrozenOrganization *neighbour = m_undo.empty() ? nullptr : &m_undo.back().content.organization;
    // Without a step to undo, the one to redo or the last saved version most likely holds
    // the same positions.
    if (!neighbour && !m_redo.empty())
        neighbour = &m_redo.back().content.organization;
    if (!neighbour && !current.revisions.empty())
        neighbour = &current.revisions.back()->organization;
    Snapshot snapshot;
    // Typing in one field: the organization is the step's, nothing to compare. Undone or
    // redone to, the content is most likely the step's frozen one: comparing is cheaper
    // than freezing, and a content changed past the history is frozen anew.
    if (m_mergeOpen && m_mergeKeepsOrganization)
        snapshot.organization = m_undo.back().content.organization;
    else if (!m_currentFrozen.isEmpty() && m_currentFrozen.holds(current.organization))
        snapshot.organization = m_currentFrozen;
    else
        snapshot.organization = FrozenOrganization(current.organization, neighbour);
    // The rest is copied without the positions, which stay where they are.
    Organization organization = std::move(current.organization);
    try {
        snapshot.rest = current;
    } catch (...) {
        current.organization = std::move(organization);
        throw;
    }
    current.organization = std::move(organization);
    return snapshot;
}

bool DocumentHistory::sameBesideOrganization(const Snapshot &snapshot, OrganizationArchive &archive)
{
    // The snapshot's rest holds no positions: without its own, the archive compares the rest.
    Organization organization = std::move(archive.organization);
    const bool same = snapshot.rest == archive;
    archive.organization = std::move(organization);
    return same;
}

void DocumentHistory::push(const QString &name, OrganizationArchive previous, const QString &mergeKey,
                           bool organizationChanged)
{
    const FrozenOrganization *neighbour = m_undo.empty() ? nullptr : &m_undo.back().content.organization;
    // A merged keystroke keeps the step that is there: nothing to freeze.
    if (mergesInto(mergeKey))
        push(name, Snapshot(), mergeKey, organizationChanged);
    else
        push(name, freeze(std::move(previous), neighbour), mergeKey, organizationChanged);
}

bool DocumentHistory::mergesInto(const QString &mergeKey) const
{
    return m_mergeOpen && !mergeKey.isEmpty() && !m_undo.empty() && m_undo.back().mergeKey == mergeKey;
}

void DocumentHistory::push(const QString &name, Snapshot previous, const QString &mergeKey, bool organizationChanged)
{
    m_currentFrozen = FrozenOrganization();
    m_redo.clear();
    // Keystrokes in one field: the step keeps the content from before the first one.
    if (mergesInto(mergeKey)) {
        m_mergeKeepsOrganization = m_mergeKeepsOrganization && !organizationChanged;
        return;
    }
    m_undo.push_back({name, mergeKey, std::move(previous)});
    if (m_undo.size() > maximumSteps)
        m_undo.pop_front();
    m_mergeOpen = !mergeKey.isEmpty();
    m_mergeKeepsOrganization = m_mergeOpen && !organizationChanged;
}

void DocumentHistory::dropEmptyMerge(OrganizationArchive &current)
{
    if (!m_mergeOpen || m_undo.empty())
        return;
    const Snapshot &before = m_undo.back().content;
    if (!m_mergeKeepsOrganization && !before.organization.holds(current.organization))
        return;
    if (!sameBesideOrganization(before, current))
        return;
    m_undo.pop_back();
    m_mergeOpen = false;
    m_mergeKeepsOrganization = false;
}

QString DocumentHistory::undoName() const
{
    return m_undo.empty() ? QString() : m_undo.back().name;
}

QString DocumentHistory::redoName() const
{
    return m_redo.empty() ? QString() : m_redo.back().name;
}

OrganizationArchive DocumentHistory::undo(OrganizationArchive &&current, bool *organizationDiffers)
{
    assert(canUndo() && "undo without a step");
    m_mergeOpen = false;
    m_redo.reserve(m_redo.size() + 1);
    Step &step = m_undo.back();
    OrganizationArchive previous = swapContent(step.content, std::move(current), organizationDiffers);
    m_redo.push_back({std::move(step.name), QString(), std::move(step.content)});
    m_undo.pop_back();
    return previous;
}

OrganizationArchive DocumentHistory::redo(OrganizationArchive &&current, bool *organizationDiffers)
{
    assert(canRedo() && "redo without a step");
    m_mergeOpen = false;
    Step &step = m_redo.back();
    OrganizationArchive next = swapContent(step.content, std::move(current), organizationDiffers);
    m_undo.push_back({std::move(step.name), QString(), std::move(step.content)});
    m_redo.pop_back();
    return next;
}

void DocumentHistory::clear()
{
    m_currentFrozen = FrozenOrganization();
    m_undo.clear();
    m_redo.clear();
    m_mergeOpen = false;
}
