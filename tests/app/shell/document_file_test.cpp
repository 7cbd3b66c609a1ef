#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "error_of.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

using namespace AppTest;

namespace {

// Makes writes past `bytes` fail with EFBIG, as a full disk would, even for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

} // namespace

TEST(DocumentFile, RefusesWhatIsNotAnOrganizationFile)
{
    const auto readError = [](const QString &path) { return errorOf([&] { OrganizationDocument::readFile(path); }); };
    QTemporaryDir dir;
    // Sparse: one byte over the limit without writing gigabytes.
    const QString huge = dir.filePath("huge.json");
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(OrganizationDocument::maximumFileBytes + 1));
    }
    EXPECT_EQ(readError(dir.filePath("missing.json")), "The file “missing.json” does not exist.");
    EXPECT_EQ(readError(huge), "The file “huge.json” is too large to be an organization (more than 4096 MB).");
}

TEST(DocumentFile, FailedSaveLeavesTheOldFileAndTheDocumentAsTheyWere)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("district.json");
    OrganizationDocument document;
    document.setArchive(district(1));
    document.saveTo(path);
    const QByteArray before = readBytes(path);

    // A write that fails halfway, as on a full disk.
    document.setArchive(district(40));
    {
        FileSizeLimit limit(64);
        EXPECT_THROW(document.saveTo(path), OrganizationError);
    }
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"district.json"}) << "temporary file left behind";
    EXPECT_TRUE(document.isModified());
    EXPECT_EQ(document.savedArchive(), district(1));

    // Save As into a folder that does not exist keeps the file the document stands for.
    EXPECT_THROW(document.saveTo(dir.filePath("gone/district.json")), OrganizationError);
    EXPECT_EQ(document.filePath(), OrganizationDocument::canonicalPath(path));
}

TEST(DocumentFile, AnEditThatThrowsChangesNothing)
{
    OrganizationDocument document;
    EXPECT_THROW(document.edit([](OrganizationArchive &archive) {
        archive.name = "Half done";
        throw OrganizationError::invalid("Enter a sheet name.");
    }),
                 OrganizationError);
    EXPECT_FALSE(document.isModified());
    EXPECT_EQ(document.archive(), OrganizationDocument::untitledArchive());
}
