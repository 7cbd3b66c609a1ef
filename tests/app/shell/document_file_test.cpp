#include "app/shell/document_close_coordinator.h"
#include "app/shell/organization_document.h"

#include "core/model/organization_json.h"

#include "app_test_support.h"
#include "error_of.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>

using namespace AppTest;

namespace {

// A file holding only {"positions": [...]}.
QByteArray bareOrganization(const Organization &organization)
{
    return QByteArray::fromStdString(OrganizationJson::encode(organization).dump(2));
}

std::string readError(const QString &path)
{
    return errorOf([&] { OrganizationDocument::readFile(path); });
}

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
    QTemporaryDir dir;
    const QString folder = dir.filePath("folder.json");
    QDir().mkpath(folder);
    const QString pipe = dir.filePath("pipe.json");
    ASSERT_EQ(mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);
    // Sparse: one byte over the limit without writing gigabytes.
    const QString huge = dir.filePath("huge.json");
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(OrganizationDocument::maximumFileBytes + 1));
    }
    EXPECT_EQ(readError(dir.filePath("missing.json")), "The file “missing.json” does not exist.");
    EXPECT_EQ(readError(huge), "The file “huge.json” is too large to be an organization (more than 4096 MB).");
    EXPECT_EQ(readError(folder), "This file does not contain an organization.");
    EXPECT_EQ(readError(pipe), "This file does not contain an organization.");
}

// A save ended part-way leaves the file torn and its whole text beside it: opening the file says
// where that text is and whose it is. Only a copy of this file is named, never another file of
// that name; a hidden file of an earlier version is named when it holds a whole organization.
TEST(DocumentFile, ATornFileNamesTheWholeCopyOfItsOwn)
{
    const QByteArray whole = QByteArray::fromStdString(district(2).encodeDocument());
    const std::string holder = KeptCopies::holderName(::geteuid());
    const struct {
        const char *name;
        const char *copyName;
        QByteArray copy;
        bool tied;
        const char *said; // after the error of the torn file, with <copy> for the copy's path
    } cases[] = {
        {"its copy", "district (new contents).json", whole, true,
         " A save by <holder> that did not finish left its new contents whole in “<copy>”."},
        {"another file of that name", "district (new contents).json", whole, false, ""},
        {"a hidden file, whole", ".vantrel-00000000-0000-4000-8000-000000000000.part", whole, false,
         " A save by <holder> that did not finish left contents whole in the hidden file “<copy>”."},
        {"a hidden file, torn too", ".vantrel-00000000-0000-4000-8000-000000000000.part", whole.left(10), false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).canonicalPath() + "/district.json";
        writeBytes(path, whole.left(whole.size() / 2));
        const std::string torn = readError(path);
        ASSERT_NE(torn, "");
        const QString copy = QFileInfo(path).dir().filePath(c.copyName);
        writeBytes(copy, c.copy);
        const std::string target = path.toStdString();
        if (c.tied && ::setxattr(copy.toLocal8Bit().constData(), KeptCopies::copyOfAttribute, target.data(),
                                 target.size(), 0) != 0)
            GTEST_SKIP() << "no user attributes here";
        std::string said = c.said;
        for (const auto &[mark, value] : {std::pair{std::string("<copy>"), copy.toStdString()}, std::pair{std::string("<holder>"), holder}})
            if (const size_t at = said.find(mark); at != std::string::npos)
                said.replace(at, mark.size(), value);
        EXPECT_EQ(readError(path), torn + said);
    }
}

// A save that stopped once its copy was named, before the file changed, or at any moment while it
// wrote over it, left the file marked: one that reads whole says where the newer text is, unless
// the copy holds what the file does.
TEST(DocumentFile, AWholeFileMarkedByASaveThatDidNotFinishSaysWhereTheNewerTextIs)
{
    const QByteArray older = QByteArray::fromStdString(district(2).encodeDocument());
    const QByteArray newer = QByteArray::fromStdString(district(3).encodeDocument());
    for (const QByteArray &inCopy : {newer, older}) {
        QTemporaryDir dir;
        const QString path = dir.filePath("district.json");
        const QString copy = dir.filePath("district (new contents).json");
        writeBytes(path, older);
        writeBytes(copy, inCopy);
        QFile opened(copy);
        ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
        const std::string mark = KeptCopies::markFor(opened.handle(), copy.toStdString(), std::nullopt);
        if (::setxattr(path.toLocal8Bit().constData(), KeptCopies::markAttribute, mark.data(), mark.size(), 0) != 0)
            GTEST_SKIP() << "no user attributes here";
        std::optional<FileStamp> stamp;
        QString notice;
        EXPECT_EQ(OrganizationDocument::readFile(path, stamp, &notice), district(2));
        EXPECT_EQ(notice.toStdString(),
                  inCopy == older ? ""
                                  : "The file “district.json” may not hold its latest contents: a save by "
                                        + KeptCopies::holderName(::geteuid())
                                        + " that did not finish left newer contents whole in “" + copy.toStdString()
                                        + "”.");
    }
}

// The file is decoded while it is still being read: a failing read is still reported as
// such, and a file longer than it was measured is read one byte past its measured size.
TEST(DocumentFile, ReadsWhatTheFileHoldsWhenReadingIt)
{
    EXPECT_EQ(readError("/proc/self/mem"), "The file “mem” could not be read: Input/output error.");
    EXPECT_EQ(readError("/proc/self/status"),
              "This file could not be read as an organization. The data is not valid JSON (at byte 1).");

    QTemporaryDir dir;
    const QString path = dir.filePath("versions.json");
    OrganizationArchive archive = district(300);
    for (int v = 0; v < 30; ++v) {
        archive.organization.positions[size_t(v * 7)].department = "Edited " + std::to_string(v);
        archive.checkpoint("Before editing");
    }
    // Past one chunk of reading, so that decoding starts before the last bytes are read.
    writeBytes(path, QByteArray::fromStdString(archive.encodeDocument()));
    ASSERT_GT(QFileInfo(path).size(), 4 * 1024 * 1024);
    EXPECT_EQ(OrganizationDocument::readFile(path), archive);
}

TEST(DocumentFile, PassesOnTheReadersErrorForBadContent)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath("empty.json");
    writeBytes(empty, "");
    const QString invalid = dir.filePath("invalid.json");
    Organization duplicated = district().organization;
    duplicated.positions[2].id = "P2";
    writeBytes(invalid, bareOrganization(duplicated));

    // A zero-byte file is a file: the reader reports it, not the missing-contents message.
    EXPECT_NE(readError(empty), "This file does not contain an organization.");
    EXPECT_NE(readError(empty), "");
    EXPECT_EQ(readError(invalid), "Position IDs must be unique.");
}

TEST(DocumentFile, BareOrganizationLoadsAsUntitledAndSavesAsFullDocument)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("bare.json");
    writeBytes(path, bareOrganization(district(0).organization));
    OrganizationDocument document;
    document.load(path);
    EXPECT_EQ(document.archive().name, "Untitled Organization");
    EXPECT_EQ(document.archive().organization.positions.size(), 1u);
    EXPECT_EQ(document.savedArchive(), document.archive());

    document.saveTo(path);
    const QByteArray written = readBytes(path);
    EXPECT_TRUE(written.contains("\"revisions\"")) << written.toStdString();
    EXPECT_EQ(OrganizationDocument::readFile(path), document.archive());
}

TEST(DocumentFile, FailedSaveLeavesTheOldFileAndTheDocumentAsTheyWere)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("district.json");
    OrganizationDocument document;
    document.setArchive(district(1));
    document.saveTo(path);
    const QByteArray before = readBytes(path);

    // An organization that does not validate is never written.
    OrganizationArchive broken = district(3);
    broken.organization.positions[2].id = "P2";
    document.setArchive(broken);
    EXPECT_EQ(errorOf([&] { document.saveTo(path); }), "Position IDs must be unique.");
    EXPECT_EQ(readBytes(path), before);
    EXPECT_TRUE(document.isModified());

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

TEST(DocumentFile, OnlyARealChangeMarksTheDocumentModified)
{
    OrganizationDocument document;
    int changes = 0;
    QObject::connect(&document, &OrganizationDocument::archiveChanged, [&changes] { ++changes; });

    document.setArchive(OrganizationDocument::untitledArchive());
    EXPECT_FALSE(document.isModified());
    EXPECT_THROW(document.edit([](OrganizationArchive &archive) {
        archive.name = "Half done";
        throw OrganizationError::invalid("Enter a sheet name.");
    }),
                 OrganizationError);
    EXPECT_EQ(changes, 0);

    // An untitled document is worth saving once it holds positions, not for a name alone.
    document.edit([](OrganizationArchive &archive) { archive.organization = district().organization; });
    EXPECT_TRUE(document.isModified());
    EXPECT_EQ(changes, 1);
}

TEST(CloseCoordination, ClearsTheFlagWhenAnEditIsUndoneByHand)
{
    QTemporaryDir dir;
    DocumentCloseCoordinator coordinator;

    // New and emptied again: nothing to save, no disk involved.
    {
        OrganizationDocument fresh;
        coordinator.registerDocument(&fresh);
        fresh.setArchive(district());
        EXPECT_TRUE(fresh.isModified());
        fresh.edit([](OrganizationArchive &archive) { archive.organization.positions.clear(); });
        EXPECT_FALSE(fresh.isModified());
    }

    // Saved, edited, and edited back to what the file holds.
    OrganizationDocument saved;
    coordinator.registerDocument(&saved);
    saved.setArchive(district());
    saved.saveTo(dir.filePath("district.json"));
    saved.edit([](OrganizationArchive &archive) { archive.name = "Renamed"; });
    EXPECT_TRUE(saved.isModified());
    saved.edit([](OrganizationArchive &archive) { archive.name = "Springfield District"; });
    EXPECT_FALSE(saved.isModified());

    // A closed document is forgotten, not checked again before quitting.
    {
        OrganizationDocument closed;
        coordinator.registerDocument(&closed);
    }
    EXPECT_EQ(coordinator.registeredCount(), 1);
    coordinator.prepareToQuit();
}

