#pragma once

#include <QByteArray>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

struct zip;

// The members of a zip container held in memory, read one at a time. Each member is
// inflated in 64 KiB steps with a cap on the bytes it produces, whatever sizes the zip
// directory declares, so a zip bomb costs at most the cap.
class ZipParts {
public:
    // Never throws: data that is not a zip container simply has no members.
    explicit ZipParts(QByteArray data);
    ~ZipParts();
    ZipParts(const ZipParts &) = delete;
    ZipParts &operator=(const ZipParts &) = delete;

    static constexpr size_t partLimit = 32'000'000;

    // The inflated bytes of the member named exactly `name`, or nothing when it cannot be
    // extracted (missing, encrypted, unsupported method, corrupt data or checksum).
    // Throws OrganizationError when the member inflates to more than partLimit bytes.
    std::optional<std::string> part(const std::string &name) const;
    // The members' names in directory order; none when the data is not a zip container.
    std::vector<std::string> names() const;

private:
    QByteArray m_data; // the zip source reads from these bytes; keep them alive
    zip *m_archive = nullptr;
};
