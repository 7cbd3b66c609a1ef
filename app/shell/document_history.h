#pragma once

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "core/document/frozen_organization.h"
#include "core/document/organization_archive.h"
#endif

#include <QString>

#include <cstddef>
#include <deque>
#include <vector>

// Undo and redo of one document as whole archives: each step keeps the archive as it was
// on one side of an edit. Saved versions are shared between copies of an archive, and a
// step's organizations (the document's, and the planning state's baseline and proposals)
// are frozen sharing their unchanged positions with the step next to it, so a hundred
// one-position steps of a large district cost little more than the positions that changed.
class DocumentHistory {
public:
    static constexpr std::size_t maximumSteps = 100;

    // An archive with its organizations frozen and their working copies emptied.
    struct Snapshot {
        OrganizationArchive rest;
        FrozenOrganization organization;
        // The planning state's: the baseline's, then each proposal's in order.
        std::vector<FrozenOrganization> planning;
    };

    // Records `previous`, the content before the step `name`, and drops what could be
    // redone. Steps of one merge key in a row (typing in one field) stay one step, until
    // endMerge() or any other step, undo or redo. `organizationChanged`: whether the step
    // changed the organization, not only the rest.
    void push(const QString &name, OrganizationArchive previous, const QString &mergeKey = {},
              bool organizationChanged = true);
    // The same with the content already frozen by freezeCurrent().
    void push(const QString &name, Snapshot previous, const QString &mergeKey = {}, bool organizationChanged = true);
    // Whether a step of `mergeKey` now would be merged into the last one.
    bool mergesInto(const QString &mergeKey) const;
    // `current` frozen beside the last step, for an edit made in its place: linear
    // comparisons, and a copy only of the positions that step does not hold. While typing
    // in one field has left the organization as the step holds it, that is shared as it is.
    Snapshot freezeCurrent(OrganizationArchive &current) const;
    // Whether `archive` equals the snapshot but for the organization, which is not compared.
    // The proposals' organizations are compared before the baseline's, which an edit of a
    // proposal leaves as it was.
    static bool sameBesideOrganization(const Snapshot &snapshot, OrganizationArchive &archive);
    // Makes `working` the snapshot's content again, keeping its positions that are equal.
    static void restoreInto(Snapshot &&snapshot, OrganizationArchive &working);
    void endMerge() { m_mergeOpen = false; }
    // After a merged step: when typing has come back to the content before the step (the
    // field's own undo), the step is dropped, so that no undo does nothing. Only while a
    // merge is open; the positions are compared only when the typing changed them.
    void dropEmptyMerge(OrganizationArchive &current);

    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    // The name of the step that undo (redo) would take back (bring back); empty when none.
    QString undoName() const;
    QString redoName() const;
    std::size_t undoCount() const { return m_undo.size(); }

    // The content before the last step; `current` is taken and kept for redo (left as it was
    // if this throws). Linear in the positions. `organizationDiffers`, when given, says
    // whether the organizations of the two differ. Precondition: canUndo().
    OrganizationArchive undo(OrganizationArchive &&current, bool *organizationDiffers = nullptr);
    // The content after the last undone step; `current` is taken and kept for undo, as by
    // undo(). Precondition: canRedo().
    OrganizationArchive redo(OrganizationArchive &&current, bool *organizationDiffers = nullptr);

    void clear();

private:
    struct Step {
        QString name;
        QString mergeKey;
        Snapshot content;
    };

    // Takes `archive` only once nothing can throw any more.
    static Snapshot freeze(OrganizationArchive &&archive, const Snapshot *neighbour);
    // Puts `current` in `content`'s place, frozen beside it, and gives what `content` held.
    OrganizationArchive swapContent(Snapshot &content, OrganizationArchive &&current, bool *organizationDiffers);

    std::deque<Step> m_undo; // oldest first
    std::vector<Step> m_redo; // the next step to redo last
    bool m_mergeOpen = false;
    // While a merge is open: no step of it changed the organization, so the current one is
    // the last step's.
    bool m_mergeKeepsOrganization = false;
    // The current content's organization frozen, when undo or redo put it there; null once
    // any other step changes it. The same for the planning state's organizations.
    FrozenOrganization m_currentFrozen;
    std::vector<FrozenOrganization> m_currentFrozenPlanning;
};
