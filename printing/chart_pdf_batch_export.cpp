#include "printing/chart_pdf_batch_export.h"

#include "core/chart/chart_layout.h"
#include "core/chart/chart_print_presentation.h"
#include "core/document/organization_archive.h"
#include "core/support/organization_error.h"
#include "core/support/pending_file.h"
#include "core/support/text.h"
#include "printing/chart_pdf_renderer.h"
#include "printing/file_names.h"

#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace {

bool isReplacedInFilename(char32_t c)
{
    switch (c) {
    case U'<': case U'>': case U':': case U'"': case U'/': case U'\\': case U'|': case U'?': case U'*':
        return true;
    default: break;
    }
    const QChar::Category category = QChar::category(c);
    return category == QChar::Other_Control || category == QChar::Other_Format;
}

bool isTrimmedFromFilename(char32_t c)
{
    return c == U'.' || QChar::isSpace(c);
}

[[noreturn]] void fail(const QString &message)
{
    throw OrganizationError::invalid(message.toStdString());
}

[[noreturn]] void failOnFolder(const QString &folder, int error)
{
    fail(QStringLiteral("The folder \u201c%1\u201d could not be used: %2.")
             .arg(folder, QString::fromStdString(FileWriteError::reasonFor(error))));
}

QSet<QString> folderKeys(const QString &folder)
{
    DIR *directory = ::opendir(QFile::encodeName(folder).constData());
    if (!directory)
        failOnFolder(folder, errno);
    QSet<QString> keys;
    errno = 0;
    while (const dirent *entry = ::readdir(directory)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            keys.insert(ChartPDFBatchExport::clashKey(QFile::decodeName(name)));
        errno = 0;
    }
    const int error = errno;
    ::closedir(directory);
    if (error != 0)
        failOnFolder(folder, error);
    return keys;
}

void requireFolder(const QString &folder)
{
    struct stat status {};
    if (::stat(QFile::encodeName(folder).constData(), &status) != 0)
        failOnFolder(folder, errno);
    if (!S_ISDIR(status.st_mode))
        fail(QStringLiteral("Choose a folder for the PDF files."));
}

} // namespace

namespace ChartPDFBatchExport {

std::vector<SheetPDFExportJob> jobs(const OrganizationArchive &archive, const ChartPrintSettings &settings,
                                    ExportScale scale)
{
    const std::vector<OrganizationSheet> sheets = archive.sortedSheets();
    if (sheets.empty())
        throw OrganizationError::invalid("Create at least one sheet before exporting all sheets.");
    const std::vector<PositionGroup> groups = archive.groups.value_or(std::vector<PositionGroup>{});

    std::vector<SheetPDFExportJob> result;
    QSet<QString> usedKeys;
    for (const OrganizationSheet &sheet : sheets) {
        // Every group collapsed into its card, as on paper.
        Organization organization = PositionGroup::project(archive.organizationIn(sheet.id), groups, {});
        const ChartPrintPresentation presentation(organization, settings);
        const Size chart = settings.layout(presentation.organization).size;
        ChartPrintSettings sheetSettings = settings;
        if (scale == ExportScale::fitEachChartToPage)
            sheetSettings.scalePercent = settings.fittedPercentage(chart);
        // Only checked here, its error passed on as it is; each write tiles its chart again.
        (void)ChartPagination(chart, sheetSettings);

        const QString filename =
            availableFilename(safeBasename(QString::fromStdString(sheet.name)), usedKeys);
        usedKeys.insert(clashKey(filename));
        const bool ownTitle = sheet.pageTitle && !Text::isBlank(*sheet.pageTitle);
        result.push_back(SheetPDFExportJob{
            .sheetName = sheet.name,
            .filename = filename.toStdString(),
            .title = ownTitle ? Text::trimmed(*sheet.pageTitle) : sheet.name,
            .subtitle = sheet.pageSubtitle,
            .organization = std::move(organization),
            .settings = sheetSettings,
        });
    }
    return result;
}

QString write(const SheetPDFExportJob &job, const QString &folder)
{
    return *write(job, folder, ChartPDFRouting{});
}

std::optional<QString> write(const SheetPDFExportJob &job, const QString &folder, const ChartPDFRouting &routing)
{
    // The folder is checked before the render, which is the slow part.
    requireFolder(folder);
    const std::optional<QByteArray> pdf =
        ChartPDFRenderer::render(job.organization, job.title, job.sheetName, job.settings, job.subtitle, routing);
    if (!pdf)
        return std::nullopt;
    return storeWithoutOverwriting(folder, QString::fromStdString(job.filename), *pdf);
}

QString safeBasename(const QString &sheetName)
{
    std::u32string characters;
    for (char32_t c : sheetName.toUcs4())
        characters.push_back(isReplacedInFilename(c) ? U'-' : c);
    size_t begin = 0;
    size_t end = characters.size();
    while (begin < end && isTrimmedFromFilename(characters[begin]))
        ++begin;
    while (end > begin && isTrimmedFromFilename(characters[end - 1]))
        --end;
    const QString trimmed = QString::fromUcs4(characters.data() + begin, static_cast<qsizetype>(end - begin));
    // Cut after trimming and not trimmed again: a kept trailing space stays in the name.
    const QString cut = FileNames::cutToBytes(trimmed, 200);
    return cut.isEmpty() ? QStringLiteral("Sheet") : cut;
}

QString clashKey(const QString &filename)
{
    return filename.normalized(QString::NormalizationForm_C).toLower();
}

QString availableFilename(const QString &base, const QSet<QString> &usedKeys)
{
    QString candidate = base + QStringLiteral(".pdf");
    for (int number = 2; usedKeys.contains(clashKey(candidate)); ++number)
        candidate = QStringLiteral("%1 (%2).pdf").arg(base).arg(number);
    return candidate;
}

QString storeWithoutOverwriting(const QString &folder, const QString &filename, const QByteArray &bytes)
{
    requireFolder(folder);
    const QString base = filename.endsWith(QStringLiteral(".pdf")) ? filename.chopped(4) : filename;
    if (base.isEmpty() || base.contains(QLatin1Char('/')) || base.contains(QChar(0)))
        throw FileWriteError(filename.toStdString(), EINVAL);
    const QString name = availableFilename(base, folderKeys(folder));
    const QString path = folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
    // Moved to its name only if the name is still free when the file is complete.
    PendingFile::write(QFile::encodeName(path).toStdString(), std::string_view(bytes.constData(), size_t(bytes.size())),
                       PendingFile::Placement::keepExisting);
    return path;
}

} // namespace ChartPDFBatchExport
