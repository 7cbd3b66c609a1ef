#include "core/import/column_mapping.h"
#include "core/import/import_review.h"
#include "core/support/delimited_text.h"
#include "core/support/import_sheet.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

ImportReview review(const Organization &open, std::string_view csv, ImportMode mode,
                    ManagerReferences references = ManagerReferences::positionIDs)
{
    const ImportSheet sheet = TabularImport::csv(csv, U',');
    const ImportMapping mapping = TabularImport::suggestedMapping(TabularImport::headerCells(sheet, 0));
    return TabularImport::review(sheet, 0, mapping, references, mode, open);
}

// Ids of four digits and employee numbers of five, as a district keeps them; one vacancy.
Organization paddedDistrict()
{
    Organization open;
    open.positions = {
        Position{.id = "0001", .title = "Superintendent", .employee = Employee{"00001", "Ada"}, .location = "North"},
        Position{.id = "0002", .title = "Teacher", .employee = Employee{"00002", "Bea"}, .managerID = "0001",
                 .location = "North"},
        Position{.id = "0003", .title = "Teacher", .managerID = "0001", .location = "North"},
    };
    return open;
}

const char *const header = "Position ID,Employee Number,Employee Name,Pay Level,Primary Manager ID,Location\n";

} // namespace

// Replacing the district with its own file read back by a spreadsheet program, which drops
// the zeros, renumbers every position and person: each row says so, as adding and updating
// do, and is counted. Zeros added to the employee numbers are said too. The district's own
// file says nothing, and no warning blocks.
TEST(ImportLeadingZeros, ReplacingWarnsLikeTheOtherModes)
{
    const Organization open = paddedDistrict();
    const ImportReview same = review(open,
                                     std::string(header) + "0001,00001,Ada,Superintendent,,North\n"
                                                           "0002,00002,Bea,Teacher,0001,North\n0003,,,Teacher,0001,North\n",
                                     ImportMode::replace);
    ASSERT_TRUE(same.organization) << testing::PrintToString(same.errors);
    EXPECT_THAT(same.warnings, IsEmpty());

    const std::string strippedFile = std::string(header) + "1,1,Ada,Superintendent,,North\n2,2,Bea,Teacher,1,North\n"
                                                           "3,,,Teacher,1,North\n";
    const ImportReview stripped = review(open, strippedFile, ImportMode::replace);
    ASSERT_TRUE(stripped.organization) << testing::PrintToString(stripped.errors);
    EXPECT_THAT(stripped.warnings,
                ElementsAre("Row 2: position ID 1 lost the leading zeros of 0001 (a spreadsheet program may have read "
                            "it as a number); applying replaces 0001 with 1.",
                            "Row 2: employee number 1 lost the leading zeros of 00001 (a spreadsheet program may have "
                            "read it as a number); applying replaces 00001 with 1.",
                            "Row 3: position ID 2 lost the leading zeros of 0002 (a spreadsheet program may have read "
                            "it as a number); applying replaces 0002 with 2.",
                            "Row 3: employee number 2 lost the leading zeros of 00002 (a spreadsheet program may have "
                            "read it as a number); applying replaces 00002 with 2.",
                            "Row 4: position ID 3 lost the leading zeros of 0003 (a spreadsheet program may have read "
                            "it as a number); applying replaces 0003 with 3."));
    EXPECT_EQ(stripped.leadingZeroIDRows, 3);
    EXPECT_EQ(stripped.leadingZeroRows, 2);
    // The same sheet adding or updating: the same rows, counted alike.
    for (const ImportMode mode : {ImportMode::add, ImportMode::update}) {
        const ImportReview other = review(open, strippedFile, mode);
        EXPECT_EQ(other.leadingZeroIDRows, 3);
        EXPECT_EQ(other.leadingZeroRows, 2);
    }

    const ImportReview more = review(open,
                                     std::string(header) + "0001,000001,Ada,Superintendent,,North\n"
                                                           "0002,000002,Bea,Teacher,0001,North\n0003,,,Teacher,0001,North\n",
                                     ImportMode::replace);
    ASSERT_TRUE(more.organization) << testing::PrintToString(more.errors);
    EXPECT_THAT(more.warnings, ElementsAre("Row 2: employee number 000001 differs from the stored 00001 only by "
                                           "leading zeros; applying replaces 00001 with 000001.",
                                           "Row 3: employee number 000002 differs from the stored 00002 only by "
                                           "leading zeros; applying replaces 00002 with 000002."));
    EXPECT_EQ(more.leadingZeroRows, 2);

    // A row of the file that brings the stored id back keeps it; the other adds a second.
    const ImportReview both = review(open,
                                     std::string(header) + "0001,00001,Ada,Superintendent,,North\n"
                                                           "1,00009,Ida,Teacher,0001,North\n",
                                     ImportMode::replace);
    EXPECT_THAT(both.warnings, ElementsAre("Row 3: position ID 1 lost the leading zeros of 0001 (a spreadsheet program "
                                           "may have read it as a number); applying keeps 0001 and adds 1 as another "
                                           "position."));
}

// Each message tells its own case: both values with zeros differ only by them; only digits
// are read as a number by a spreadsheet program; a value stored as written is no leading-zero
// case, whatever else is stored; a manager reference not found names the id or number it
// differs from only by leading zeros.
TEST(ImportLeadingZeros, MessagesSayWhatIsTrue)
{
    Organization open;
    open.positions = {
        Position{.id = "00001", .title = "Superintendent", .employee = Employee{"0609", "Ada"}, .location = "North"},
        Position{.id = "0B7", .title = "Teacher", .employee = Employee{"17", "Bea"}, .managerID = "00001",
                 .location = "North"},
        Position{.id = "0B8", .title = "Teacher", .employee = Employee{"017", "Cy"}, .managerID = "00001",
                 .location = "North"},
    };

    const ImportReview bothPadded = review(open, std::string(header) + "N1,00609,Ida,Teacher,00001,North\n", ImportMode::add);
    EXPECT_THAT(bothPadded.warnings, ElementsAre("Row 2: employee number 00609 differs from the stored 0609 only by "
                                                 "leading zeros; applying keeps 0609 and adds 00609 as another person."));

    const ImportReview letters = review(open, std::string(header) + "B7,,,Teacher,00001,North\n", ImportMode::add);
    EXPECT_THAT(letters.warnings, ElementsAre("Row 2: position ID B7 lost the leading zeros of 0B7; applying keeps 0B7 "
                                              "and adds B7 as another position."));

    // 17 is stored as written: a duplicate, not a lost zero of 017; nor on 017's own row.
    const ImportReview exact = review(open, std::string(header) + "N1,17,Ida,Teacher,00001,North\n", ImportMode::add);
    EXPECT_THAT(exact.errors, ElementsAre("Row 2: duplicate employee number 17."));
    EXPECT_THAT(exact.warnings, IsEmpty());
    EXPECT_EQ(exact.leadingZeroRows, 0);
    const ImportReview ownRow = review(open, std::string(header) + "0B8,17,Cy,Teacher,00001,North\n", ImportMode::update);
    EXPECT_THAT(ownRow.errors, ElementsAre("Row 2: duplicate employee number 17."));
    EXPECT_THAT(ownRow.warnings, IsEmpty());

    const ImportReview references =
        review(open,
               "Position ID,Pay Level,Primary Manager ID,Dotted Manager IDs,Location\n"
               "N1,Teacher,1,B7:0B7,North\nN2,Teacher,9,,North\n",
               ImportMode::add);
    EXPECT_THAT(references.errors,
                ElementsAre("Row 2: manager ID 1 was not found. Check the reference type and mapped columns. "
                            "00001 differs from it only by leading zeros.",
                            "Row 2: manager ID B7 was not found. Check the reference type and mapped columns. "
                            "0B7 differs from it only by leading zeros.",
                            "Row 3: manager ID 9 was not found. Check the reference type and mapped columns."));
    const ImportReview byNumber = review(open,
                                         std::string(header) + "N1,0001,Ida,Teacher,609,North\n"
                                                               "N2,0002,Ivo,Teacher,00001,North\n",
                                         ImportMode::add, ManagerReferences::employeeNumbers);
    EXPECT_THAT(byNumber.errors,
                ElementsAre("Row 2: manager ID 609 was not found. Check the reference type and mapped columns. "
                            "0609 differs from it only by leading zeros.",
                            "Row 3: manager ID 00001 was not found. Check the reference type and mapped columns. "
                            "0001 differs from it only by leading zeros."));
}
