#include "core/model/organization.h"

namespace {

Position samplePosition(std::string id, std::string payLevel, std::string department,
                        std::optional<Employee> employee, std::optional<std::string> managerID,
                        std::vector<std::string> dottedManagerIDs, std::string location,
                        std::vector<SchoolAssignment> schools = {})
{
    return Position{.id = std::move(id),
                    .title = std::move(payLevel),
                    .department = std::move(department),
                    .employee = std::move(employee),
                    .managerID = std::move(managerID),
                    .dottedManagerIDs = std::move(dottedManagerIDs),
                    .location = std::move(location),
                    .fte = 1.0,
                    .schoolAssignments = std::move(schools),
                    .isAssistant = false};
}

Organization makeExample()
{
    return Organization{{
        samplePosition("P001", "Superintendent", "Leadership", Employee{"001", "Robin Ashcroft"}, std::nullopt, {},
                       "District Office"),
        samplePosition("P002", "Director of Student Services", "Student Services", Employee{"002", "Noel Brandt"},
                       "P001", {}, "District Office"),
        samplePosition("P003", "Principal", "School Leadership", Employee{"003", "Quinn Okoro"}, "P001", {},
                       "Oak Elementary"),
        samplePosition("P004", "Principal", "School Leadership", std::nullopt, "P001", {}, "Maple Elementary"),
        samplePosition("P005", "School Psychologist", "Student Services", Employee{"005", "Lee Fairbanks"}, "P002",
                       {"P003", "P004"}, "Itinerant", {{"Oak Elementary", 0.6}, {"Maple Elementary", 0.4}}),
        samplePosition("P006", "Teacher", "Instruction", Employee{"006", "Emery Nakamura"}, "P003", {},
                       "Oak Elementary"),
    }};
}

} // namespace

const Organization &Organization::example()
{
    static const Organization sample = makeExample();
    return sample;
}
