#include "app/shell/document_history.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace {

// The planning state's organizations in the order a snapshot freezes them: the baseline's,
// then each proposal's. Allocates nothing.
template <typename Archive, typename Visit>
void forEachPlanningOrganization(Archive &archive, Visit &&visit)
{
    if (!archive.planning)
        return;
    visit(archive.planning->baseline.organization);
    for (auto &proposal : archive.planning->proposals)
        visit(proposal.state.organization);
}

size_t planningCount(const OrganizationArchive &archive)
{
    return archive.planning ? 1 + archive.planning->proposals.size() : 0;
}

const FrozenOrganization *at(const std::vector<FrozenOrganization> *list, size_t index)
{
    return list && index < list->size() ? &(*list)[index] : nullptr;
}

// The planning state's organizations frozen: as `known` holds them where it does (no copy),
// else sharing the positions of `neighbour`'s in the same place. A proposal `neighbour`
// lacks, new since, started as a copy of the baseline: it shares the baseline's.
std::vector<FrozenOrganization> freezePlanning(const OrganizationArchive &archive, const std::vector<FrozenOrganization> *known,
                                               const std::vector<FrozenOrganization> *neighbour)
{
    std::vector<FrozenOrganization> frozen;
    frozen.reserve(planningCount(archive));
    forEachPlanningOrganization(archive, [&](const Organization &organization) {
        const size_t index = frozen.size();
        const FrozenOrganization *same = at(known, index);
        const FrozenOrganization *beside = at(neighbour, index);
        if (same && same->holds(organization))
            frozen.push_back(*same);
        else
            frozen.emplace_back(organization, beside ? beside : index > 0 ? &frozen.front() : nullptr);
    });
    return frozen;
}

// Takes the planning state's working organizations out of `archive`, their places left
// empty; `taken` must have room for them.
void takePlanning(OrganizationArchive &archive, std::vector<Organization> &taken) noexcept
{
    forEachPlanningOrganization(archive, [&](Organization &organization) {
        taken.push_back(std::move(organization));
        organization = Organization();
    });
}

void putPlanning(OrganizationArchive &archive, std::vector<Organization> &&taken) noexcept
{
    size_t index = 0;
    forEachPlanningOrganization(archive, [&](Organization &organization) { organization = std::move(taken[index++]); });
}

// Makes `working` equal to `frozen`, in place, keeping its positions that are equal; the
// places `working` lacks are filled from `frozen`.
void restorePlanning(const std::vector<FrozenOrganization> &frozen, std::vector<Organization> &working)
{
    for (size_t index = 0; index < frozen.size(); ++index) {
        if (index < working.size())
            frozen[index].restoreInto(working[index]);
        else
            working.push_back(frozen[index].toOrganization());
    }
    working.resize(frozen.size());
}

} // namespace

DocumentHistory::Snapshot DocumentHistory::freeze(OrganizationArchive &&archive, const Snapshot *neighbour)
{
    Snapshot snapshot;
    snapshot.organization = FrozenOrganization(archive.organization, neighbour ? &neighbour->organization : nullptr);
    snapshot.planning = freezePlanning(archive, nullptr, neighbour ? &neighbour->planning : nullptr);
    archive.organization = Organization();
    forEachPlanningOrganization(archive, [](Organization &organization) { organization = Organization(); });
    snapshot.rest = std::move(archive);
    return snapshot;
}

OrganizationArchive DocumentHistory::swapContent(Snapshot &content, OrganizationArchive &&current, bool *organizationDiffers)
{
    // The working positions become the step's in their place: only those that differ are
    // copied, where thawing would copy them all.
    Organization working = std::move(current.organization);
    FrozenOrganization kept;
    std::vector<FrozenOrganization> keptPlanning;
    std::vector<Organization> planning;
    try {
        kept = FrozenOrganization(working, &content.organization);
        keptPlanning = freezePlanning(current, nullptr, &content.planning);
        planning.reserve(std::max(planningCount(current), content.planning.size()));
    } catch (...) {
        current.organization = std::move(working);
        throw;
    }
    takePlanning(current, planning);
    try {
        content.organization.restoreInto(working);
        restorePlanning(content.planning, planning);
    } catch (...) {
        current.organization = kept.toOrganization();
        size_t index = 0;
        forEachPlanningOrganization(current, [&](Organization &organization) {
            organization = keptPlanning[index++].toOrganization();
        });
        throw;
    }
    // The two share every position neither changed: comparing them frozen is mostly
    // comparing pointers.
    if (organizationDiffers)
        *organizationDiffers = !(kept == content.organization);
    current.organization = Organization();
    OrganizationArchive stored = std::move(content.rest);
    stored.organization = std::move(working);
    putPlanning(stored, std::move(planning));
    content.rest = std::move(current);
    m_currentFrozen = std::exchange(content.organization, std::move(kept));
    m_currentFrozenPlanning = std::exchange(content.planning, std::move(keptPlanning));
    return stored;
}

DocumentHistory::Snapshot DocumentHistory::freezeCurrent(OrganizationArchive &current) const
{
    // Without a step to undo, the one to redo or the last saved version most likely holds
    // the same positions.
    const Snapshot *step = !m_undo.empty() ? &m_undo.back().content : !m_redo.empty() ? &m_redo.back().content : nullptr;
    const FrozenOrganization *neighbour = step ? &step->organization : nullptr;
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
    snapshot.planning = freezePlanning(current, &m_currentFrozenPlanning, step ? &step->planning : nullptr);
    // The rest is copied without the positions, which stay where they are.
    std::vector<Organization> planning;
    planning.reserve(planningCount(current));
    Organization organization = std::move(current.organization);
    takePlanning(current, planning);
    try {
        snapshot.rest = current;
    } catch (...) {
        current.organization = std::move(organization);
        putPlanning(current, std::move(planning));
        throw;
    }
    current.organization = std::move(organization);
    putPlanning(current, std::move(planning));
    return snapshot;
}

bool DocumentHistory::sameBesideOrganization(const Snapshot &snapshot, OrganizationArchive &archive)
{
    if (planningCount(archive) != snapshot.planning.size())
        return false;
    // The snapshot's rest holds no positions: without its own, the archive compares the rest.
    std::vector<Organization> planning;
    planning.reserve(snapshot.planning.size());
    Organization organization = std::move(archive.organization);
    takePlanning(archive, planning);
    const bool same = snapshot.rest == archive;
    archive.organization = std::move(organization);
    putPlanning(archive, std::move(planning));
    if (!same)
        return false;
    // Proposals first, the last made first: the baseline never changes once locked.
    std::vector<const Organization *> organizations;
    organizations.reserve(snapshot.planning.size());
    forEachPlanningOrganization(archive, [&](const Organization &o) { organizations.push_back(&o); });
    for (size_t index = organizations.size(); index-- > 0;) {
        if (!snapshot.planning[index].holds(*organizations[index]))
            return false;
    }
    return true;
}

void DocumentHistory::restoreInto(Snapshot &&snapshot, OrganizationArchive &working)
{
    Organization organization = std::move(working.organization);
    snapshot.organization.restoreInto(organization);
    std::vector<Organization> planning;
    planning.reserve(std::max(planningCount(working), snapshot.planning.size()));
    takePlanning(working, planning);
    restorePlanning(snapshot.planning, planning);
    working = std::move(snapshot.rest);
    working.organization = std::move(organization);
    putPlanning(working, std::move(planning));
}

void DocumentHistory::push(const QString &name, OrganizationArchive previous, const QString &mergeKey,
                           bool organizationChanged)
{
    const Snapshot *neighbour = m_undo.empty() ? nullptr : &m_undo.back().content;
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
    m_currentFrozenPlanning.clear();
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
    m_currentFrozenPlanning.clear();
    m_undo.clear();
    m_redo.clear();
    m_mergeOpen = false;
}
