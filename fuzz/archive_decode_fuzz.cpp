// Organization documents come from anywhere: reading one must either give a valid archive
// or fail with an OrganizationError, and a document that was read writes back the same.
#include "core/document/organization_archive.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    OrganizationArchive archive;
    try {
        archive = OrganizationArchive::decode(bytes);
    } catch (const OrganizationError &) {
        return 0;
    }
    // A document that opened must save (its text may still hold invalid UTF-8, refused
    // with a message) and read back equal.
    std::string written;
    try {
        written = archive.encodeDocument();
    } catch (const OrganizationError &) {
        return 0;
    }
    if (!(OrganizationArchive::decode(written) == archive))
        std::abort();
    return 0;
}
