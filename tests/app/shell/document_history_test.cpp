#include "app/chart/chart_window.h"
#include "app/shell/document_controller.h"
#include "app/shell/organization_document.h"
#include "app/shell/organization_file_commands.h"
#include "core/document/position_entry.h"

#include "accessible_events.h"
#include "app_test_support.h"
#include "error_of.h"
#include "random_edits.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <random>
#include <set>

using namespace AppTest;

namespace {

void rename(OrganizationDocument &document, const std::string &name)
{
    document.edit("Rename", [&](OrganizationArchive &archive) { archive.name = name; });
}

} // namespace

TEST(DocumentHistory, UndoAndRedoBringBackTheWholeArchiveExactly)
{
    OrganizationDocument document;
    document.setArchive(district(3));
    const OrganizationArchive before = document.archive();
    // A composite edit: a recovery version and a changed organization in one step.
    document.edit("Make Vacant", [](OrganizationArchive &archive) { archive.makePositionVacant("P2"); });
    const OrganizationArchive after = document.archive();
    ASSERT_EQ(after.revisions.size(), 1u);
    EXPECT_EQ(document.undoName(), "Make Vacant");

    document.undo();
    EXPECT_EQ(document.archive(), before);
    EXPECT_TRUE(document.archive().revisions.empty());
    EXPECT_EQ(document.redoName(), "Make Vacant");
    document.redo();
    EXPECT_EQ(document.archive(), after);
    // The version comes back as the very one saved, not a copy.
    EXPECT_TRUE(document.archive().revisions[0].isSameInstance(after.revisions[0]));

    // A new edit after an undo drops what could have been redone.
    document.undo();
    rename(document, "Other");
    EXPECT_FALSE(document.canRedo());
    document.undo();
    document.undo();
    EXPECT_EQ(document.archive(), OrganizationDocument::untitledArchive());
    EXPECT_FALSE(document.canUndo());
}

TEST(DocumentHistory, RefusedEditsAndUnchangedContentAddNoStep)
{
    OrganizationDocument document;
    OrganizationArchive locked = district(2);
    locked.lockForPlanning();
    document.setArchive(locked);
    const size_t steps = document.history().undoCount();
    EXPECT_THROW(document.edit("Delete", [](OrganizationArchive &archive) { archive.deletePosition("P3"); }),
                 OrganizationError);
    document.edit("Nothing", [](OrganizationArchive &) {});
    EXPECT_EQ(document.history().undoCount(), steps);
    // Undo only returns to a state the user made, so the lock does not stop it.
    document.undo();
    EXPECT_EQ(document.archive(), OrganizationDocument::untitledArchive());
}

TEST(DocumentHistory, TypingInOneFieldIsOneStepUntilTheFieldIsLeft)
{
    OrganizationDocument document;
    for (const char *typed : {"S", "Sp", "Spr"})
        document.edit("Rename", [&](OrganizationArchive &archive) { archive.name = typed; }, "name");
    document.endMerge();
    document.edit("Rename", [&](OrganizationArchive &archive) { archive.name = "Spring"; }, "name");
    EXPECT_EQ(document.history().undoCount(), 2u);
    document.undo();
    EXPECT_EQ(document.archive().name, "Spr");
    document.undo();
    EXPECT_EQ(document.archive().name, "Untitled Organization");
}

// Typing that ends where it started (the field's own undo) leaves no step, whether it
// changed the positions, the rest or both; anything left changed keeps the step.
TEST(DocumentHistory, TypingBackToWhereItStartedLeavesNoStep)
{
    OrganizationDocument document;
    document.setArchive(district(3));
    const OrganizationArchive start = document.archive();
    const size_t steps = document.history().undoCount();
    const std::string title = start.organization.positions[1].title;
    // One keystroke: the name and P2's title as typed so far.
    const auto type = [&](const std::string &name, const std::string &typedTitle, const QString &key) {
        document.edit("Typing", [&](OrganizationArchive &archive) {
            archive.name = name;
            archive.organization.positions[1].title = typedTitle;
        }, key);
    };
    const auto expectNoStep = [&](const char *what) {
        EXPECT_EQ(document.archive(), start) << what;
        EXPECT_EQ(document.history().undoCount(), steps) << what;
    };
    const auto expectStepBackToStart = [&](const char *what) {
        EXPECT_EQ(document.history().undoCount(), steps + 1) << what;
        document.undo();
        EXPECT_EQ(document.archive(), start) << what;
    };

    type(start.name + " N", title, "name");
    type(start.name + " No", title, "name");
    type(start.name, title, "name");
    expectNoStep("the name typed and erased");
    type(start.name, title + " A", "title");
    type(start.name, title, "title");
    expectNoStep("a position's field typed and erased");
    type(start.name + " N", title + " A", "both");
    type(start.name, title + " A", "both");
    type(start.name, title, "both");
    expectNoStep("both typed and erased");

    type(start.name + " N", title, "positions stay");
    type(start.name + " N", title + " A", "positions stay");
    type(start.name, title + " A", "positions stay");
    expectStepBackToStart("the name back, a title not");
    type(start.name + " N", title, "name stays");
    type(start.name + " N", title + " A", "name stays");
    type(start.name + " N", title, "name stays");
    expectStepBackToStart("the title back, the name not");

    // A keystroke that throws after the typing changed a position puts back the content
    // from just before it.
    type(start.name, title + " A", "throws");
    const OrganizationArchive typed = document.archive();
    EXPECT_THROW(document.edit("Typing", [](OrganizationArchive &archive) {
        archive.name = "Half";
        archive.organization.positions[2].title = "Half";
        throw OrganizationError::invalid("refused");
    }, "throws"), OrganizationError);
    EXPECT_EQ(document.archive(), typed);
    type(start.name, title, "throws");
    expectNoStep("typed and erased around a refused keystroke");

    // A whole archive set with a merge key is judged the same way.
    OrganizationArchive renamed = start;
    renamed.organization.positions[1].title = title + " A";
    document.setArchive(renamed, "Typing", "archive");
    renamed.name += " N";
    document.setArchive(renamed, "Typing", "archive");
    renamed.name = start.name;
    document.setArchive(renamed, "Typing", "archive");
    expectStepBackToStart("a whole archive with the name back, a title not");
    document.setArchive(renamed, "Typing", "archive");
    document.setArchive(start, "Typing", "archive");
    expectNoStep("a whole archive typed and erased");
}

TEST(DocumentHistory, KeepsTheLastHundredSteps)
{
    OrganizationDocument document;
    for (int i = 0; i < 105; ++i)
        rename(document, "Name " + std::to_string(i));
    EXPECT_EQ(document.history().undoCount(), DocumentHistory::maximumSteps);
    while (document.canUndo())
        document.undo();
    EXPECT_EQ(document.archive().name, "Name 4");
}

TEST(DocumentHistory, BackToTheSavedContentNeedsNoSaveAndLoadingStartsAfresh)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("district.json");
    writeBytes(path, QByteArray::fromStdString(district().encodeDocument()));
    OrganizationDocument document;
    rename(document, "Typed before opening");
    document.load(path);
    EXPECT_FALSE(document.canUndo());

    rename(document, "Renamed");
    EXPECT_TRUE(document.isModified());
    document.undo();
    EXPECT_FALSE(document.isModified());
    document.redo();
    EXPECT_TRUE(document.isModified());
    // Saving keeps the history; undoing past the save leaves the saved content again.
    document.saveTo(path);
    EXPECT_TRUE(document.canUndo());
    document.undo();
    EXPECT_TRUE(document.isModified());

    // An untitled document undone to nothing has nothing to save.
    OrganizationDocument untitled;
    untitled.setArchive(district());
    EXPECT_TRUE(untitled.isModified());
    untitled.undo();
    EXPECT_FALSE(untitled.isModified());
}

TEST(DocumentHistory, EditMenuNamesTheStepAndQuitAfterUndoingAllAsksNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("district.json");
    writeBytes(path, QByteArray::fromStdString(district().encodeDocument()));
    ScriptedDialogs dialogs;
    DocumentController controller(dialogs);
    ChartWindow *window = controller.openFile(path);
    ASSERT_TRUE(window);
    waitForOpening(controller);
    ASSERT_EQ(window->document()->archive(), district());
    QAction *undo = window->commands().undo();
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_EQ(undo->shortcut(), QKeySequence("Ctrl+Z"));
    EXPECT_EQ(window->commands().redo()->shortcut(), QKeySequence("Ctrl+Shift+Z"));

    // A screen reader has read the menu once: it keeps those words until told they changed.
    QAction *redo = window->commands().redo();
    QAccessibleInterface *menu = QAccessible::queryAccessibleInterface(undo->associatedObjects().value(0));
    ASSERT_NE(menu, nullptr);
    for (int i = 0; i < menu->childCount(); ++i)
        menu->child(i)->text(QAccessible::Name);
    HeardEvents heard;
    const auto lastHeardName = [&](QAction *item) {
        const std::vector<HeardEvent> renamed = heard.of(QAccessible::NameChanged, item);
        return renamed.empty() ? QString() : renamed.back().name;
    };

    rename(*window->document(), "Renamed");
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(undo->text(), "Undo Rename");
    EXPECT_EQ(lastHeardName(undo), "Undo Rename");
    undo->trigger();
    EXPECT_EQ(redo->text(), "Redo Rename");
    EXPECT_EQ(lastHeardName(undo), "Undo");
    EXPECT_EQ(lastHeardName(redo), "Redo Rename");
    // A new step after an undo: the item is heard by the new step's name, not the one undone.
    window->document()->edit("New Sheet", [](OrganizationArchive &archive) { archive.name = "Sheets"; });
    EXPECT_EQ(lastHeardName(undo), "Undo New Sheet");
    EXPECT_EQ(lastHeardName(redo), "Redo");
    undo->trigger();
    // No save question: ScriptedDialogs fails the test on an unexpected one.
    EXPECT_TRUE(controller.reviewBeforeQuit());
    EXPECT_TRUE(dialogs.savePromptDocuments.isEmpty());
    deleteClosedWindows();
}

// Views skip comparing the content while the revision stays: every change moves it on,
// and nothing else does.
TEST(DocumentHistory, RevisionMovesWithEveryChangeOfTheContentOnly)
{
    OrganizationDocument document;
    std::set<uint64_t> seen{document.revision()};
    const auto changed = [&] { return seen.insert(document.revision()).second; };
    document.setArchive(district(3));
    EXPECT_TRUE(changed());
    document.edit("Nothing", [](OrganizationArchive &) {});
    EXPECT_THROW(document.edit("Refused", [](OrganizationArchive &archive) { archive.deletePosition("P1"); }),
                 OrganizationError);
    EXPECT_FALSE(changed());
    rename(document, "Other");
    EXPECT_TRUE(changed());
    document.undo();
    EXPECT_TRUE(changed());
    document.redo();
    EXPECT_TRUE(changed());
    QTemporaryDir dir;
    const QString path = dir.filePath("d.json");
    document.saveTo(path);
    EXPECT_FALSE(changed());
    document.load(path);
    EXPECT_TRUE(changed());
}

// Undo and redo hand the content to the history rather than copying it, and tell whether
// the organization changed from the frozen steps: after random edits, undone and redone in
// random runs, each brings back exactly the archive it left, and the organization's change
// is announced exactly when the positions differ.
TEST(DocumentHistory, UndoAndRedoOfRandomEditsBringBackEachArchiveAndAnnounceOrganizationChanges)
{
    for (unsigned seed = 1; seed <= 4; ++seed) {
        std::mt19937 random(seed);
        OrganizationDocument document;
        std::vector<OrganizationArchive> states{document.archive()};
        document.setArchive(RandomEdits::district(random, 40));
        states.push_back(document.archive());
        size_t at = 1;
        QSignalSpy organizationChanges(&document, &OrganizationDocument::organizationChanged);
        for (int round = 0; round < 80; ++round) {
            const OrganizationArchive before = document.archive();
            const int move = RandomEdits::below(random, 4);
            if (move == 0 && document.canUndo()) {
                document.undo();
                ASSERT_EQ(document.archive(), states[--at]) << "seed " << seed << ", round " << round;
            } else if (move == 1 && document.canRedo()) {
                document.redo();
                ASSERT_EQ(document.archive(), states[++at]) << "seed " << seed << ", round " << round;
            } else if (move == 2) {
                rename(document, "Name " + std::to_string(round)); // the organization stays
                states.resize(at + 1);
                states.push_back(document.archive());
                ++at;
            } else {
                OrganizationArchive edited = document.archive();
                RandomEdits::apply(edited, random);
                if (edited == document.archive())
                    continue;
                document.setArchive(std::move(edited), "Edit");
                states.resize(at + 1);
                states.push_back(document.archive());
                ++at;
            }
            const bool differs = before.organization != document.archive().organization;
            EXPECT_EQ(organizationChanges.count(), differs ? 1 : 0) << "seed " << seed << ", round " << round;
            organizationChanges.clear();
        }
    }
}

namespace {

// The archive with its versions' ids and dates blanked: two paths make the same versions
// at different moments.
OrganizationArchive withoutVersionStamps(OrganizationArchive archive)
{
    for (Shared<OrganizationRevision> &revision : archive.revisions) {
        OrganizationRevision copy = *revision;
        copy.id.clear();
        copy.date = Date();
        revision = Shared<OrganizationRevision>(std::move(copy));
    }
    return archive;
}

} // namespace

// Deletions and editor saves are made in the document's place, validating only what they
// touch; the same edits made the whole way on a copy (every position validated, sheets
// reconciled against the whole organization) give the same content or the same refusal,
// and every step undoes and redoes exactly.
TEST(DocumentHistory, EditsInPlaceMatchTheWholePathAndUndoExactly)
{
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::mt19937 random(seed);
        OrganizationDocument document;
        document.setArchive(RandomEdits::district(random, 40));
        const std::string chartID = document.archive().sheets->front().id;
        for (int round = 0; round < 80; ++round) {
            const std::string where = "seed " + std::to_string(seed) + ", round " + std::to_string(round);
            const OrganizationArchive before = document.archive();
            const std::vector<Position> &positions = before.organization.positions;
            const Position original = positions[size_t(RandomEdits::below(random, positions.size()))];
            const std::string other = positions[size_t(RandomEdits::below(random, positions.size()))].id;
            const std::string taken = positions[size_t(RandomEdits::below(random, positions.size()))].employee
                                          .value_or(Employee{"1000", ""}).id;
            const int kind = RandomEdits::below(random, 10);
            QString step = QStringLiteral("Edit Position");
            std::function<void(OrganizationArchive &)> inPlace;
            std::function<void(OrganizationArchive &)> whole;
            if (kind == 0) {
                step = QStringLiteral("Delete Person & Position");
                inPlace = [&](OrganizationArchive &archive) { archive.deletePosition(original.id); };
                whole = [&](OrganizationArchive &archive) {
                    OrganizationArchive copy = archive;
                    copy.deletePosition(original.id);
                    archive = copy;
                };
            } else if (kind == 1) {
                step = QStringLiteral("Make Vacant");
                inPlace = [&](OrganizationArchive &archive) { archive.makePositionVacant(original.id); };
                whole = [&](OrganizationArchive &archive) {
                    archive.organization.validate();
                    archive.makePositionVacant(original.id);
                };
            } else {
                Position edited = original;
                switch (kind) {
                case 2: edited.employee = Employee{"7" + std::to_string(round), "Renamed"}; break;
                case 3: edited.managerID = other; break; // may close a cycle, or name itself
                case 4: edited.managerID.reset(); break;
                case 5: edited.employee = Employee{" " + taken, "Twin"}; break;
                case 6: edited.dottedManagerIDs = {other, "missing"}; break;
                case 7: edited.title = round % 2 ? "" : "Counselor"; break;
                case 8: edited.fte = 0.5; break;
                case 9: // under its own report: a cycle
                    for (const Position &p : positions) {
                        if (p.managerID == original.id)
                            edited.managerID = p.id;
                    }
                    break;
                }
                const PositionEntryRequest request{.position = edited, .original = original, .includeOnSheet = kind % 2 == 0};
                inPlace = [&, request](OrganizationArchive &archive) { archive.savePositionEntry(request, chartID); };
                whole = [&, edited, request](OrganizationArchive &archive) {
                    Position stored = edited;
                    canonicalizeIdentifiers(stored);
                    if (stored == original && (!request.includeOnSheet || std::count(archive.sheet(chartID)->positionIDs.begin(), archive.sheet(chartID)->positionIDs.end(), original.id)))
                        return;
                    archive.checkpoint("Before editing " + original.jobTitle());
                    Organization next = archive.organization;
                    std::replace(next.positions.begin(), next.positions.end(), original, stored);
                    archive.replaceOrganization(next);
                    if (request.includeOnSheet)
                        archive.includePositions({stored.id}, chartID);
                };
            }

            const size_t steps = document.history().undoCount();
            OrganizationArchive expected = before;
            const std::string expectedError = errorOf([&] { whole(expected); });
            ASSERT_EQ(errorOf([&] { document.edit(step, inPlace); }), expectedError) << where;
            if (!expectedError.empty() || expected == before) {
                ASSERT_EQ(document.archive(), before) << where;
                ASSERT_EQ(document.history().undoCount(), steps) << where;
                continue;
            }
            ASSERT_EQ(withoutVersionStamps(document.archive()), withoutVersionStamps(expected)) << where;
            ASSERT_EQ(document.undoName(), step) << where;
            const OrganizationArchive after = document.archive();
            document.undo();
            ASSERT_EQ(document.archive(), before) << where;
            document.redo();
            ASSERT_EQ(document.archive(), after) << where;
            if (round % 7 == 0) {
                document.undo(); // and the next edit drops the redo
                ASSERT_EQ(document.archive(), before) << where;
            }
        }
    }
}
