#include "app/updates/packaged_app_check.h"

#include <QByteArray>
#include <QMap>
#include <QStringList>

static const QString notPackagedMessage =
    QStringLiteral("Install the packaged Vantrel app in Applications before using in-app updates.");

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
    if (facts.executablePath.isEmpty() || facts.executablePath != facts.installedExecutable || !facts.iniText)
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
