// An .xlsx workbook from a user: any bytes give sheets within the import's limits or a clean
// refusal. The first byte chooses which part of a small valid workbook the other bytes
// replace, so the XML readers are reached past the zip container's checksums; from 5 on
// the bytes are the whole file.
#include "core/support/organization_error.h"
#include "sheet_bounds.h"
#include "spreadsheet/xlsx_reader.h"

#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using Members = std::vector<std::pair<std::string, std::string>>;

Members validWorkbook()
{
    return {
        {"xl/workbook.xml", R"(<workbook xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
                            R"(<sheets><sheet name="Staff" r:id="rId1"/></sheets></workbook>)"},
        {"xl/_rels/workbook.xml.rels",
         R"(<Relationships><Relationship Id="rId1" Target="worksheets/sheet1.xml"/></Relationships>)"},
        {"xl/sharedStrings.xml", "<sst><si><t>Position ID</t></si><si><r><t>Ada</t></r><rPh><t>A</t></rPh></si></sst>"},
        {"xl/styles.xml", R"(<styleSheet><numFmts><numFmt numFmtId="164" formatCode="00000"/></numFmts>)"
                          R"(<cellXfs><xf numFmtId="0"/><xf numFmtId="164"/></cellXfs></styleSheet>)"},
        {"xl/worksheets/sheet1.xml", R"(<worksheet><sheetData><row r="1"><c r="A1" t="s"><v>0</v></c></row>)"
                                     R"(<row r="2"><c r="A2" s="1"><v>42</v></c><c r="B2" t="s"><v>1</v></c>)"
                                     R"(<c r="C2" t="e"><v>#N/A</v></c><c><f>A2</f></c></row></sheetData></worksheet>)"},
    };
}

// Stored, not deflated: the harness is about the parts, not the inflater.
QByteArray zipped(const Members &members)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(buffer);
    zip_t *archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    for (const auto &[name, bytes] : members) {
        zip_source_t *source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        const zip_int64_t index = zip_file_add(archive, name.c_str(), source, 0);
        zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
    }
    zip_close(archive);
    QByteArray result;
    zip_stat_t stat;
    if (zip_source_open(buffer) == 0 && zip_source_stat(buffer, &stat) == 0) {
        result.resize(qsizetype(stat.size));
        zip_source_read(buffer, result.data(), stat.size);
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    zip_error_fini(&error);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string rest(reinterpret_cast<const char *>(data) + 1, size - 1);
    QByteArray file;
    if (data[0] < 5) {
        Members members = validWorkbook();
        members[data[0]].second = rest;
        file = zipped(members);
    } else {
        file = QByteArray(rest.data(), qsizetype(rest.size()));
    }
    try {
        checkSheetBounds(XlsxReader::read(file), SourceIssues::required);
    } catch (const OrganizationError &) {
    }
    return 0;
}
