#pragma once

#include "app/shell/organization_document.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace AppTest {

// An edit a user makes, and the name Edit ▸ Undo and Redo give it.
struct NamedStep {
    const char *name;
    std::function<void()> edit;
};

// Runs the edits in turn: each must change the document as one undo step of its name. Then
// undoes them all: each undo offers its step to Redo by name and brings back the document
// as it was before the step.
inline void expectOneNamedStepEach(OrganizationDocument &document, const std::vector<NamedStep> &steps)
{
    std::vector<OrganizationArchive> states{document.archive()};
    for (const NamedStep &step : steps) {
        SCOPED_TRACE(step.name);
        const size_t depth = document.history().undoCount();
        step.edit();
        EXPECT_EQ(document.undoName(), QString(step.name));
        EXPECT_EQ(document.history().undoCount(), depth + 1) << "not one step";
        EXPECT_NE(document.archive(), states.back()) << "nothing changed";
        states.push_back(document.archive());
    }
    for (size_t i = steps.size(); i-- > 0;) {
        SCOPED_TRACE(steps[i].name);
        document.undo();
        EXPECT_EQ(document.redoName(), QString(steps[i].name));
        EXPECT_EQ(document.archive(), states[i]);
    }
}

} // namespace AppTest
