#include "core/model/employee_directory.h"
#include "core/support/text.h"
#include "position_ids.h"

#include <gtest/gtest.h>

#include <random>

namespace {

Position person(std::string id, std::string name)
{
    return Position{.id = std::move(id), .title = "Teacher", .employee = Employee{"1", std::move(name)}};
}

Position vacancy(std::string id, std::string jobTitle)
{
    return Position{.id = std::move(id), .title = std::move(jobTitle)};
}

// The ordering compared pair by pair, without precomputed keys.
bool before(const Position &a, const Position &b)
{
    if (a.isVacant() != b.isVacant())
        return !a.isVacant();
    const std::string &ka = a.employee ? a.employee->name : a.jobTitle();
    const std::string &kb = b.employee ? b.employee->name : b.jobTitle();
    if (int c = Text::localizedStandardCompare(EmployeeDirectory::lastName(ka), EmployeeDirectory::lastName(kb)))
        return c < 0;
    if (int c = Text::localizedStandardCompare(ka, kb))
        return c < 0;
    return a.id < b.id;
}

} // namespace

TEST(PersonOrder, LastName)
{
    const struct {
        const char *name;
        const char *last;
    } cases[] = {
        {"John Smith Jr.", "Smith"},
        {"Smith, John Jr.", "Smith"},
        {"  Lee ,Ann", "Lee"},
        {"Henry VIII", "VIII"},
        {"Ann Lee II", "Lee"},
        {"Kim Park jr iv", "Park"},
        {"Max Power (Sr.)", "Power"},
        {"Pat O'Neil", "O'Neil"},
        {"Jr", "Jr"},
        {"Jr Sr", "Jr"},
        {"Mary\u00A0Ann  Jones\n", "Jones"},
        {"", ""},
        {" \t ", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(EmployeeDirectory::lastName(c.name), c.last) << c.name;
}

TEST(PersonOrder, PeopleBeforeVacanciesThenNamesThenId)
{
    const std::vector<Position> input{
        vacancy("v1", "Accountant"),
        person("p1", "Zed Adams"),
        vacancy("v2", "Assistant Principal"), // files under Principal
        vacancy("v3", "Counselor"),
        person("p3", "Bo Smith"),
        person("p2", "anna smith"), // letter case does not count
        person("p5", "Cy Jones"),
        person("p4", "Cy Jones"),
        vacancy("v5", "Teacher 10"),
        vacancy("v4", "Teacher 9"), // last words "9" and "10": digit runs by value, before letters
    };
    EXPECT_EQ(idsOf(EmployeeDirectory::sorted(input)),
              (std::vector<std::string>{"p1", "p4", "p5", "p2", "p3", "v4", "v5", "v1", "v3", "v2"}));
}

TEST(PersonOrder, StableForEqualEntries)
{
    Position first = person("p", "Ann Lee");
    first.location = "first";
    Position second = first;
    second.location = "second";
    const std::vector<Position> sorted = EmployeeDirectory::sorted({first, person("a", "Zoe Lee"), second});
    ASSERT_EQ(sorted.size(), 3u);
    EXPECT_EQ(sorted[0].location, "first");
    EXPECT_EQ(sorted[1].location, "second");
    EXPECT_EQ(sorted[2].id, "a");
}

TEST(PersonOrder, PeopleBeforeVacanciesThenLastNamesThenIdStably)
{
    EXPECT_EQ(EmployeeDirectory::lastName("  Lee ,Ann"), "Lee");
    EXPECT_EQ(EmployeeDirectory::lastName("Kim Park jr iv"), "Park");
    EXPECT_EQ(EmployeeDirectory::lastName("Mary\u00A0Ann\u2028Jones\u3000"), "Jones");
    Position second = person("p1", "Ann Lee");
    second.location = "second";
    const std::vector<Position> sorted = EmployeeDirectory::sorted({
        vacancy("v1", "Accountant"), person("p3", "Zed Adams"), person("p1", "Ann Lee"),
        vacancy("v2", "Assistant Principal"), // files under Principal
        person("p2", "Cy Jones"), second, vacancy("v5", "Teacher 10"), vacancy("v4", "Teacher 9"), // digit runs by value
        vacancy("v6", "Teacher"),
    });
    EXPECT_EQ(idsOf(sorted), (std::vector<std::string>{"p3", "p2", "p1", "p1", "v4", "v5", "v1", "v2", "v6"}));
    EXPECT_EQ(sorted[3].location, "second"); // equal entries keep their order
}

TEST(PersonOrder, AgreesWithPairwiseComparison)
{
    // Collation keys must order exactly as the collator compares.
    const char *words[] = {"Lee", "lee", "Lée", "Zoë", "zoe", "Ö", "O", "10", "9", "a9", "A10", "Ç", "", "Jr.", "II"};
    std::mt19937 random(7);
    std::uniform_int_distribution<size_t> pick(0, std::size(words) - 1);
    std::vector<Position> input;
    for (int i = 0; i < 400; ++i) {
        const std::string name = std::string(words[pick(random)]) + " " + words[pick(random)];
        const std::string id = "id" + std::to_string(i % 37);
        input.push_back(i % 3 ? person(id, name) : vacancy(id, name.empty() ? "x" : name));
    }
    const std::vector<Position> sorted = EmployeeDirectory::sorted(input);
    ASSERT_EQ(sorted.size(), input.size());
    for (size_t i = 1; i < sorted.size(); ++i)
        EXPECT_FALSE(before(sorted[i], sorted[i - 1])) << sorted[i - 1].id << " / " << sorted[i].id;
}

// Keys kept from sort to sort, past their limit and with a person named as a vacancy's job
// title, order each list as keys made anew do.
TEST(PersonOrder, KeptKeysOrderAsNewOnes)
{
    const char *words[] = {"Lee", "lée", "Zoë", "O", "Ö", "10", "9", "Ann", "Jr."};
    std::mt19937 random(11);
    std::uniform_int_distribution<size_t> pick(0, std::size(words) - 1);
    EmployeeDirectory::SortKeys kept(12);
    for (int round = 0; round < 20; ++round) {
        std::vector<Position> input;
        for (int i = 0; i < 30; ++i) {
            const std::string name = std::string(words[pick(random)]) + " " + words[pick(random)];
            input.push_back(i % 4 ? person("p" + std::to_string(i), name) : vacancy("v" + std::to_string(i), name));
        }
        EXPECT_EQ(idsOf(EmployeeDirectory::sorted(input, &kept)), idsOf(EmployeeDirectory::sorted(input))) << round;
        EXPECT_LE(kept.size(), 2 * (12u + input.size()));
        for (size_t i = 1; i < input.size(); ++i)
            EXPECT_EQ(EmployeeDirectory::before(input[i - 1], input[i], &kept), before(input[i - 1], input[i])) << round;
    }
}

// A list larger than the limit, sorted again and again with a few texts changing each time,
// collates only the new texts: the store never forgets the ones still in use.
TEST(PersonOrder, KeptKeysPastTheLimitAreMadeOnlyForNewTexts)
{
    EmployeeDirectory::SortKeys kept(12);
    std::vector<Position> input;
    for (int i = 0; i < 40; ++i)
        input.push_back(person("p" + std::to_string(i), "Name " + std::to_string(i)));
    EmployeeDirectory::sorted(input, &kept);
    EXPECT_EQ(kept.made(), 40u);
    for (int edit = 0; edit < 30; ++edit) {
        input[size_t(edit)].employee->name = "Renamed " + std::to_string(edit);
        EXPECT_EQ(idsOf(EmployeeDirectory::sorted(input, &kept)), idsOf(EmployeeDirectory::sorted(input))) << edit;
        EXPECT_EQ(kept.made(), 41u + size_t(edit)) << edit;
        EXPECT_LE(kept.size(), 2 * (12u + input.size())) << edit;
    }
}
