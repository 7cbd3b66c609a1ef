// A document is read in one of two ways: apart, its versions and positions cut into pieces
// for helper threads, or in one pass. Whatever the bytes, both must give the same archive or
// the same message; the first difference stops the run.
#include "core/document/organization_archive.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

namespace {

using Outcome = std::variant<OrganizationArchive, std::string>;

Outcome outcome(std::string_view bytes, OrganizationArchive::Reading reading)
{
    try {
        return OrganizationArchive::decode(bytes, reading);
    } catch (const OrganizationError &error) {
        return error.message();
    }
}

std::string described(const Outcome &result)
{
    if (const std::string *message = std::get_if<std::string>(&result))
        return "refused: " + *message;
    return "read, " + std::to_string(std::get<OrganizationArchive>(result).revisions.size()) + " versions";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const Outcome apart = outcome(bytes, OrganizationArchive::Reading::apart);
    const Outcome onePass = outcome(bytes, OrganizationArchive::Reading::onePass);
    if (apart == onePass)
        return 0;
    std::fprintf(stderr, "apart: %s\none pass: %s\n", described(apart).c_str(), described(onePass).c_str());
    std::abort();
}
