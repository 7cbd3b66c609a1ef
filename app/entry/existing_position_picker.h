#pragma once

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "core/document/organization_sheet.h"
#include "core/model/organization.h"
#endif

#include <QAbstractListModel>
#include <QDialog>
#include <QString>

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QLabel;
class QPushButton;

// The positions that may be added to the chart `selectedSheetID`, filtered by `query` and in
// person order: those the chart does not list, whose name (or "Vacant"), job title, pay
// level, department or id contain the query, ignoring case. An untrimmed query: one space
// filters too. Order and folded search texts are computed once; each query is one pass.
class ExistingPositionFilter {
public:
    ExistingPositionFilter(const std::vector<Position> &positions, const std::vector<OrganizationSheet> &sheets,
                           const std::string &selectedSheetID);
    // Indices into the given positions, in person order.
    std::vector<size_t> filtered(std::string_view query) const;

private:
    std::vector<size_t> m_order;
    std::vector<std::string> m_folded; // by index into m_order
};

std::vector<Position> availableExistingPositions(const std::vector<Position> &positions,
                                                 const std::vector<OrganizationSheet> &sheets,
                                                 const std::string &selectedSheetID, std::string_view query);

// The two lines of a picker row: "name — job title" and "id · department · charts".
QString existingPositionTitle(const Position &position);
QString existingPositionDetail(const Position &position, const QString &chartNames);

// The picker without widgets: the rows for the query, the checked ids (kept while the
// filter hides them) and the include through the presenter's action.
class ExistingPositionListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using IncludeAction = std::function<void(const std::set<std::string> &ids)>;
    enum Role { detailRole = Qt::UserRole + 1, idRole };

    ExistingPositionListModel(std::vector<Position> positions, std::vector<OrganizationSheet> sheets,
                              std::string selectedSheetID, IncludeAction onInclude, QObject *parent = nullptr);

    // "Include people from any sheet in <chart>. …"
    QString description() const;
    const QString &query() const { return m_query; }
    void setQuery(const QString &query);
    const std::set<std::string> &selected() const { return m_selected; }
    void setSelected(const std::string &id, bool selected);
    QString selectionCount() const;
    // Runs the include with the whole selection; false keeps the picker open with the error.
    bool include();
    const QString &errorMessage() const { return m_errorMessage; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    void selectionChanged();
    // The include was refused; errorMessage() says why, perhaps in the very words it already
    // showed. Each refusal is news to the user.
    void failed();

private:
    const std::vector<Position> m_positions;
    const std::vector<OrganizationSheet> m_sheets;
    const std::string m_selectedSheetID;
    const IncludeAction m_onInclude;
    const ExistingPositionFilter m_filter;
    std::unordered_map<std::string, QString> m_chartNames; // position id -> "Arts, Science"
    QString m_query;
    std::vector<size_t> m_rows;
    std::set<std::string> m_selected;
    QString m_errorMessage;
};

// The "Add Existing Positions" dialog over ExistingPositionListModel. It has no default
// button: Return in the search field never adds.
class ExistingPositionPicker : public QDialog {
    Q_OBJECT
public:
    ExistingPositionPicker(std::vector<Position> positions, std::vector<OrganizationSheet> sheets,
                           std::string selectedSheetID, ExistingPositionListModel::IncludeAction onInclude,
                           QWidget *parent = nullptr);
    ExistingPositionListModel &model() const { return *m_model; }

private:
    void refresh();

    ExistingPositionListModel *m_model;
    QLabel *m_error;
    QLabel *m_count;
    QPushButton *m_add;
};
