#include "spreadsheet/zip_parts.h"

#include "core/support/organization_error.h"

#include <zip.h>

#include <memory>

ZipParts::ZipParts(QByteArray data) : m_data(std::move(data))
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(m_data.constData(), zip_uint64_t(m_data.size()), 0, &error);
    if (source) {
        m_archive = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (!m_archive)
            zip_source_free(source); // on success the archive owns the source
    }
    zip_error_fini(&error);
}

ZipParts::~ZipParts()
{
    if (m_archive)
        zip_discard(m_archive);
}

std::optional<std::string> ZipParts::part(const std::string &name) const
{
    if (!m_archive)
        return std::nullopt;
    const zip_int64_t index = zip_name_locate(m_archive, name.c_str(), 0);
    if (index < 0)
        return std::nullopt;
    std::unique_ptr<zip_file_t, int (*)(zip_file_t *)> file(zip_fopen_index(m_archive, zip_uint64_t(index), 0),
                                                           zip_fclose);
    if (!file)
        return std::nullopt;

    constexpr size_t chunk = 65536;
    std::string bytes;
    while (true) {
        const size_t offset = bytes.size();
        bytes.resize(offset + chunk);
        const zip_int64_t count = zip_fread(file.get(), bytes.data() + offset, chunk);
        if (count < 0)
            return std::nullopt;
        bytes.resize(offset + size_t(count));
        if (bytes.size() > partLimit)
            throw OrganizationError::invalid("A workbook component exceeds the 32 MB import limit.");
        if (count == 0)
            return bytes;
    }
}

std::vector<std::string> ZipParts::names() const
{
    std::vector<std::string> result;
    if (!m_archive)
        return result;
    const zip_int64_t count = zip_get_num_entries(m_archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        if (const char *name = zip_get_name(m_archive, zip_uint64_t(i), 0))
            result.emplace_back(name);
    }
    return result;
}
