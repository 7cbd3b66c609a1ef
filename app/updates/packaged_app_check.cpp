#include "app/updates/packaged_app_check.h"

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QStringList>

const QString notPackagedMessage =
    QStringLiteral("Only Vantrel installed from its Debian package can install updates. Install the vantrel package "
                   "with your software manager or apt, then start Vantrel from the applications menu.");

PackageOwnership packageOwnership(const QString &executable, const QString &packageName, const QString &dpkgQuery)
{
    QProcess query;
    query.setProcessChannelMode(QProcess::SeparateChannels);
    query.start(dpkgQuery, {QStringLiteral("-S"), executable});
    if (!query.waitForFinished(5'000)) {
        query.kill();
        query.waitForFinished();
        return PackageOwnership::unknown;
    }
    if (query.exitStatus() != QProcess::NormalExit)
        return PackageOwnership::unknown;
    // dpkg-query exits 1 when no package holds the path.
    if (query.exitCode() == 1)
        return PackageOwnership::notOwned;
    if (query.exitCode() != 0)
        return PackageOwnership::unknown;
    // "pkg1, pkg2:arch: /path" for each line; a diversion line starts "diversion by".
    for (const QString &line : QString::fromLocal8Bit(query.readAllStandardOutput()).split('\n')) {
        const qsizetype separator = line.indexOf(QStringLiteral(": "));
        if (separator <= 0 || line.mid(separator + 2).trimmed() != executable)
            continue;
        for (const QString &package : line.left(separator).split(',')) {
            if (package.trimmed().section(':', 0, 0) == packageName)
                return PackageOwnership::owned;
        }
    }
    return PackageOwnership::notOwned;
}

// "key=value" lines of the [Update] section; comments and other sections are ignored.
static QMap<QString, QString> iniValues(const QString &text)
{
    QMap<QString, QString> values;
    bool inUpdate = false;
    for (const QString &raw : text.split('\n')) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';'))
            continue;
        if (line.startsWith('[')) {
            inUpdate = line == QLatin1String("[Update]");
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (inUpdate && equals > 0)
            values.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return values;
}

std::optional<QString> packagedAppFailure(const PackagedAppFacts &facts, const UpdateConfiguration &configuration)
{
    if (facts.executablePath.isEmpty() || facts.executablePath != facts.installedExecutable
        || facts.ownership != PackageOwnership::owned || !facts.iniText)
        return notPackagedMessage;
    const QMap<QString, QString> values = iniValues(*facts.iniText);
    if (values.value(QStringLiteral("applicationId")) != facts.applicationId
        || !values.contains(QStringLiteral("applicationId")))
        return notPackagedMessage;
    if (!values.contains(QStringLiteral("feedURL")) || values.value(QStringLiteral("feedURL")) != facts.feedAddress)
        return notPackagedMessage;
    std::vector<uint8_t> key;
    try {
        key = configuration.publicKey(UpdateConfiguration::publicKeyName);
    } catch (const UpdateFailure &failure) {
        return QString::fromStdString(failure.message());
    }
    const QString encoded =
        QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(key.data()), qsizetype(key.size())).toBase64());
    if (!values.contains(QStringLiteral("publicKey")) || values.value(QStringLiteral("publicKey")) != encoded)
        return notPackagedMessage;
    return std::nullopt;
}
