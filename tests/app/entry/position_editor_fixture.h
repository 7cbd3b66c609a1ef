#pragma once

#include "app/entry/position_editor_model.h"

#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace EditorTest {

// A position for editor tests; an empty name makes a vacancy.
inline Position pos(const std::string &id, const std::string &title, const std::string &name = "",
                    std::optional<std::string> manager = {}, const std::string &department = "",
                    const std::string &location = "")
{
    Position p;
    p.id = id;
    p.title = title;
    if (!name.empty())
        p.employee = Employee{.id = "E" + id.substr(id.find('-') + 1), .name = name};
    p.managerID = std::move(manager);
    p.department = department;
    p.location = location;
    return p;
}

// Opens editors over fake save and include actions that record what they were given.
class EditorFixture : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(dialogs.exhausted()); }

    PositionEditorModel &open(const Position &position, std::vector<Position> positions, bool isNew,
                              std::vector<OrganizationSheet> sheets = {}, std::string sheetID = "",
                              bool withInclude = true)
    {
        PositionEditorModel::IncludeAction include;
        if (withInclude) {
            include = [this](const std::string &id) {
                if (!includeError.empty())
                    throw OrganizationError::invalid(includeError);
                included.push_back(id);
            };
        }
        editor = std::make_unique<PositionEditorModel>(
            position, std::move(positions), isNew, std::move(sheets), std::move(sheetID),
            [this](const PositionEntryRequest &request) {
                requests.push_back(request);
                if (!saveError.empty())
                    throw OrganizationError::invalid(saveError);
                return saved ? saved(request) : std::vector<Position>{request.position};
            },
            std::move(include), dialogs);
        QObject::connect(editor.get(), &PositionEditorModel::finished, [this] { ++closes; });
        return *editor;
    }

    ScriptedDialogs dialogs;
    std::unique_ptr<PositionEditorModel> editor;
    std::vector<PositionEntryRequest> requests;
    std::vector<std::string> included;
    std::function<std::vector<Position>(const PositionEntryRequest &)> saved; // default: the position itself
    std::string saveError;
    std::string includeError;
    int closes = 0;
};

} // namespace EditorTest
