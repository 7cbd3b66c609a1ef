#pragma once

#include "app/print/print_sheet_model.h"

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "core/document/organization_archive.h"
#include "core/model/print_settings.h"
#endif

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Dialogs;
class DottedRouteStore;
class OrganizationDocument;
class PositionEditorModel;

// The "Planning & Proposals" window without widgets: the chosen proposal and chart, the
// selection, the window's own print settings and page headings, and every planning action
// on the document, each one undo step. What the window shows (the proposal's archive, the
// comparison with the baseline and the chart drawn from it) is derived once per document,
// proposal or chart change; the selection's position once per selection change; the report
// and the printed archive on first use after a change. Refusals go to the "Planning Error"
// alert and leave the window's state as it was.
class PlanningWorkspaceController : public QObject, public PrintSheetHost {
    Q_OBJECT
public:
    enum class PlanningState { none, locked, unlocked };
    struct ProposalEntry {
        std::string id;
        std::string name;
    };

    static inline const QString errorTitle = QStringLiteral("Planning Error");
    static inline const QString defaultSubtitle =
        QStringLiteral("Green: added \u00b7 Red: deleted \u00b7 Yellow: moved / edited");

    PlanningWorkspaceController(OrganizationDocument &document, std::string sheetID, Dialogs &dialogs,
                                QObject *parent = nullptr);
    ~PlanningWorkspaceController() override;

    OrganizationDocument &document() const { return m_document; }
    PlanningState planningState() const;

    // Lock, unlock and relock. The requests ask first; a refusal reaches the alert.
    void requestLock();
    void requestUnlock();
    void lockCurrent();
    void unlockCurrent();

    // Proposals. Creating selects the new proposal and empties the name field.
    const QString &proposalName() const { return m_proposalName; }
    void setProposalName(const QString &name);
    bool canCreateProposal() const;
    void createProposal();
    std::vector<ProposalEntry> proposals() const;
    const std::optional<std::string> &proposalID() const { return m_proposalID; }
    // Clears the selection; the settings stay.
    void setProposalID(const std::optional<std::string> &id);
    // The selected proposal; null for the baseline or an id that names no proposal.
    const OrganizationProposal *proposal() const;

    // The chart shown; empty for the entire organization. Clears the selection and takes
    // the chart's print settings.
    const std::string &sheetID() const { return m_sheetID; }
    void setSheetID(const std::string &sheetID);
    std::vector<OrganizationSheet> sheets() const { return m_active.sortedSheets(); }
    // The chart's settings in the proposal (or baseline), else the proposal's, else the
    // landscape, page-balanced default. Runs on showing and on every chart change.
    void refreshSettings();
    const ChartPrintSettings &settings() const { return m_settings; }

    // The proposal's archive, else the baseline's, else the document itself; the revision
    // counts its changes.
    const OrganizationArchive &active() const { return m_active; }
    uint64_t activeRevision() const { return m_activeRevision; }
    // The proposal with change markers and red deletion markers; `active` when it cannot be built.
    const OrganizationArchive &comparison() const { return m_comparison; }
    // What the canvas draws and the print sheet prints: the comparison's chart `sheetID`.
    // A new object after every change of it, so that views compare by identity.
    const std::shared_ptr<const Organization> &shownOrganization() const { return m_shown; }
    // The same organization alone in an archive, as the chart's layout takes it.
    const std::shared_ptr<const OrganizationArchive> &shownChart() const { return m_shownChart; }

    const std::optional<std::string> &selectedID() const { return m_selectedID; }
    void select(const std::optional<std::string> &id);
    // The selected position of `active`; a red deletion marker is no selection here.
    const std::optional<Position> &selected() const { return m_selected; }
    bool deletedSelection() const { return m_selectedID && !m_selected; }

    // The toolbar: the whole row needs a proposal id, even one that names no proposal.
    bool toolbarEnabled() const { return m_proposalID.has_value(); }
    bool canEditSelected() const { return toolbarEnabled() && m_selected.has_value(); }
    bool canMakeVacant() const { return canEditSelected() && m_selected->employee.has_value(); }
    QString selectionText() const;
    QString countText() const;

    // Position actions on the selected proposal.
    // A new root or child vacancy that seeds the editor; nothing is stored yet.
    Position addPosition();
    std::optional<Position> editSelected();
    bool isAdding() const { return m_adding; }
    // The editor for `position` over the proposal's positions, saving through this window.
    std::unique_ptr<PositionEditorModel> editorModel(const Position &position, bool isNew);
    std::vector<Position> saveProposalEntry(const PositionEntryRequest &request);
    void includeProposalPositionFromEntry(const std::string &positionID);
    void requestVacancy();
    void requestDeletion();
    void restoreSelected();
    const std::optional<std::string> &actionPositionID() const { return m_actionPositionID; }
    const std::optional<std::string> &actionProposalID() const { return m_actionProposalID; }

    // The change report of the selected proposal for the chart shown, or why there is none.
    const std::string &report() const;
    // "<proposal> — Change Report.txt", made safe to use as a file name.
    QString reportFileName() const;
    // Asks where, then writes exactly the report as UTF-8, replacing a file whole or not at all.
    void exportReport();

    // Printing: "Proposal: <name>" or "Baseline" as the title, the chart's name or "Entire
    // organization" as the scope, and this window's settings.
    PrintSheetModel::Input openPrint();
    QString scopeName() const;
    // The comparison with every chart headed by the proposal's name and `pageSubtitle`.
    const OrganizationArchive &printArchive() const;

    // PrintSheetHost: the sheet commits into this window, never into the document.
    const OrganizationArchive *archive() const override { return &printArchive(); }
    void commitSettings(const ChartPrintSettings &settings) override;
    QString pageTitle() const override { return m_printTitle; }
    void setPageTitle(const QString &text) override { m_printTitle = text; }
    QString pageSubtitle() const override { return m_printSubtitle; }
    void setPageSubtitle(const QString &text) override;
    // Where the dotted lines of the shown charts are kept, shared by the canvas and printing.
    std::shared_ptr<DottedRouteStore> routeStore() const override { return m_routeStore; }

signals:
    // Anything the window shows changed.
    void changed();

private:
    void documentChanged();
    // The proposal's archive and comparison, then the chart drawn from them.
    void deriveShown();
    void deriveChart();
    void deriveSelected();
    std::string proposalLabel() const;
    void showError(const std::string &message);
    // Runs `change` on the document as one undo step; a refusal reaches the alert.
    template <typename Change>
    bool edit(const QString &stepName, Change &&change);
    void confirmProposalChange(const QString &stepName,
                               void (OrganizationArchive::*operation)(const std::string &, const std::string &));

    OrganizationDocument &m_document;
    Dialogs &m_dialogs;
    std::string m_sheetID;
    std::optional<std::string> m_proposalID;
    QString m_proposalName;
    std::optional<std::string> m_selectedID;
    bool m_adding = false;
    std::optional<std::string> m_actionPositionID;
    std::optional<std::string> m_actionProposalID;
    ChartPrintSettings m_settings = ChartPrintSettings::departmentDesign();
    QString m_printTitle;
    QString m_printSubtitle = defaultSubtitle;
    std::shared_ptr<DottedRouteStore> m_routeStore;

    OrganizationArchive m_active;
    uint64_t m_activeRevision = 0;
    OrganizationArchive m_comparison;
    std::shared_ptr<const OrganizationArchive> m_shownChart;
    std::shared_ptr<const Organization> m_shown; // the organization of m_shownChart
    // m_shownChart as made here, and the one before it, to be made over once let go.
    std::shared_ptr<OrganizationArchive> m_chart;
    std::shared_ptr<OrganizationArchive> m_spareChart;
    std::optional<Position> m_selected;
    mutable std::optional<std::string> m_report;
    mutable std::optional<OrganizationArchive> m_printArchive;
};
