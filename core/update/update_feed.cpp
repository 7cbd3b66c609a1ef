#include "core/update/update_feed.h"

#include "core/support/json_read.h"
#include "core/support/text.h"

#include <sodium.h>

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace {

constexpr size_t maximumFeedSize = 131072;

const char *const tooLargeMessage = "The update feed is too large.";
const char *const signatureMessage = "The update feed signature is invalid. No download was opened.";
const char *const downloadMessage = "The update feed contains an invalid Vantrel download.";
const char *const keyMessage = "The update verification key is missing or invalid.";

constexpr std::string_view downloadFolder = "/vantrel/updates/";
constexpr std::string_view downloadExtension = ".deb";
constexpr std::string_view notesHeading = "# Vantrel ";

// Made once with libsodium; only the public half was kept.
constexpr std::string_view compiledPublicKey = "AjCCatfObrGmOHEcfzZgxOzA19mleDokv0h8DRbmb+I=";

void requireSodium()
{
    // sodium_init is safe to repeat, but only the first call does work; a static keeps it to one.
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw std::runtime_error("The cryptography library could not be started.");
}

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isLowerHexDigit(char c) { return isAsciiDigit(c) || (c >= 'a' && c <= 'f'); }
bool isHexDigit(char c) { return isLowerHexDigit(c) || (c >= 'A' && c <= 'F'); }

int hexValue(char c)
{
    if (isAsciiDigit(c))
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

// ---- Download addresses (RFC 3986) ----

struct UrlParts {
    std::optional<std::string_view> scheme;
    std::optional<std::string_view> userInfo;
    std::optional<std::string_view> host;
    std::optional<int> port; // absent when not written or written empty ("host:")
    std::string_view path;   // as written, still percent-encoded
};

// True when every character is unreserved, a sub-delimiter, one of `extra`, or a
// well-formed percent escape.
bool isValidComponent(std::string_view text, std::string_view extra)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size())
                return false;
            if (!isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2]))
                return false;
            i += 2;
            continue;
        }
        const bool unreserved = isAsciiLetter(c) || isAsciiDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
        const bool subDelimiter = std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
        if (!unreserved && !subDelimiter && extra.find(c) == std::string_view::npos)
            return false;
    }
    return true;
}

bool isValidScheme(std::string_view scheme)
{
    if (scheme.empty() || !isAsciiLetter(scheme.front()))
        return false;
    return std::all_of(scheme.begin(), scheme.end(), [](char c) {
        return isAsciiLetter(c) || isAsciiDigit(c) || c == '+' || c == '-' || c == '.';
    });
}

bool parseAuthority(std::string_view authority, UrlParts &parts)
{
    if (const size_t at = authority.find('@'); at != std::string_view::npos) {
        // A second "@" fails here: it would make the host ambiguous.
        if (!isValidComponent(authority.substr(0, at), ":"))
            return false;
        parts.userInfo = authority.substr(0, at);
        authority.remove_prefix(at + 1);
    }
    size_t hostEnd = 0;
    if (authority.starts_with('[')) {
        hostEnd = authority.find(']');
        if (hostEnd == std::string_view::npos || !isValidComponent(authority.substr(1, hostEnd - 1), ":"))
            return false;
        ++hostEnd;
    } else {
        hostEnd = std::min(authority.find(':'), authority.size());
        if (!isValidComponent(authority.substr(0, hostEnd), ""))
            return false;
    }
    parts.host = authority.substr(0, hostEnd);
    std::string_view port = authority.substr(hostEnd);
    if (port.empty())
        return true;
    if (port.front() != ':')
        return false;
    port.remove_prefix(1);
    int value = 0;
    for (char c : port) {
        if (!isAsciiDigit(c))
            return false;
        value = value * 10 + (c - '0');
        if (value > 65535)
            return false;
    }
    if (!port.empty())
        parts.port = value;
    return true;
}

std::optional<UrlParts> parseUrl(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    UrlParts parts;
    std::string_view rest = text;
    const size_t colon = rest.find(':');
    if (colon != std::string_view::npos && colon < rest.find_first_of("/?#")) {
        // A colon in the first segment can only end a scheme.
        if (!isValidScheme(rest.substr(0, colon)))
            return std::nullopt;
        parts.scheme = rest.substr(0, colon);
        rest.remove_prefix(colon + 1);
    }
    if (const size_t hash = rest.find('#'); hash != std::string_view::npos) {
        if (!isValidComponent(rest.substr(hash + 1), ":@/?"))
            return std::nullopt;
        rest = rest.substr(0, hash);
    }
    if (const size_t question = rest.find('?'); question != std::string_view::npos) {
        if (!isValidComponent(rest.substr(question + 1), ":@/?"))
            return std::nullopt;
        rest = rest.substr(0, question);
    }
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const size_t slash = std::min(rest.find('/'), rest.size());
        if (!parseAuthority(rest.substr(0, slash), parts))
            return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (!isValidComponent(rest, ":@/"))
        return std::nullopt;
    parts.path = rest;
    return parts;
}

// Only called on text that parseUrl accepted, so every "%" starts a full escape.
std::string percentDecoded(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            result += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            result += text[i];
        }
    }
    return result;
}

// "." and ".." segments (written or escaped) would let a path that starts in our
// folder resolve outside it.
bool hasDotSegment(std::string_view path)
{
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = std::min(path.find('/', start), path.size());
        const std::string_view segment = path.substr(start, slash - start);
        if (segment == "." || segment == "..")
            return true;
        start = slash + 1;
    }
    return false;
}

bool isAllowedDownload(std::string_view address)
{
    const std::optional<UrlParts> url = parseUrl(address);
    if (!url || url->scheme != "https")
        return false;
    if (url->host != UpdateConfiguration::host)
        return false;
    // Any user part is refused, even an empty one before "@".
    if (url->userInfo || (url->port && *url->port != 443))
        return false;
    const std::string path = percentDecoded(url->path);
    return path.starts_with(downloadFolder) && path.ends_with(downloadExtension) && !hasDotSegment(path);
}

bool isLowerHexDigest(std::string_view text)
{
    return text.size() == 64 && std::all_of(text.begin(), text.end(), isLowerHexDigit);
}

// Content rules in their fixed order; the first broken one refuses the feed.
bool hasValidContent(const UpdateManifest &manifest)
{
    return manifest.product == "vantrel"
        && UpdateManifest::components(manifest.version)
        && manifest.build >= 1
        && manifest.releaseBuild() >= 0
        && manifest.size >= 1
        && isLowerHexDigest(manifest.sha256)
        && isAllowedDownload(manifest.downloadURL);
}

// ---- Base64 ----

// Base64url with optional padding; the standard alphabet's "+" and "/" are accepted too.
// Everything else, including stray characters and non-zero trailing bits, is refused.
std::optional<std::vector<uint8_t>> decodeBase64Url(std::string_view text)
{
    std::string padded(text);
    for (char &c : padded) {
        if (c == '+')
            c = '-';
        else if (c == '/')
            c = '_';
    }
    padded.append((4 - padded.size() % 4) % 4, '=');
    // One spare byte: libsodium must never be handed a null buffer, even for empty text.
    std::vector<uint8_t> bytes(padded.size() / 4 * 3 + 1);
    size_t length = 0;
    if (sodium_base642bin(bytes.data(), bytes.size(), padded.data(), padded.size(), nullptr, &length, nullptr,
            sodium_base64_VARIANT_URLSAFE) != 0)
        return std::nullopt;
    bytes.resize(length);
    return bytes;
}

std::optional<std::vector<uint8_t>> decodeStandardBase64(std::string_view text)
{
    std::vector<uint8_t> bytes(text.size() / 4 * 3 + 3);
    size_t length = 0;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length, nullptr,
            sodium_base64_VARIANT_ORIGINAL) != 0)
        return std::nullopt;
    bytes.resize(length);
    return bytes;
}

// ---- Release notes ----

// Byte length of the line break that starts at `i`, 0 when none does. CR LF is one break.
size_t lineBreakLength(std::string_view text, size_t i)
{
    const auto byte = [&](size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    const unsigned char c = byte(i);
    if (c == '\r')
        return byte(i + 1) == '\n' ? 2 : 1;
    if (c == '\n' || c == '\v' || c == '\f')
        return 1;
    if (c == 0xC2 && byte(i + 1) == 0x85) // NEL
        return 2;
    if (c == 0xE2 && byte(i + 1) == 0x80 && (byte(i + 2) == 0xA8 || byte(i + 2) == 0xA9)) // LS, PS
        return 3;
    return 0;
}

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t length = lineBreakLength(text, i);
        if (length == 0) {
            ++i;
            continue;
        }
        lines.push_back(text.substr(start, i - start));
        i += length;
        start = i;
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::string_view trimmedSpacesAndTabs(std::string_view line)
{
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

} // namespace

// ---- UpdateManifest ----

std::string UpdateManifest::releaseNotes() const
{
    const std::vector<std::string_view> lines = splitLines(notes);
    const std::string heading = std::string(notesHeading) + version;
    const auto start = std::find_if(lines.begin(), lines.end(),
        [&](std::string_view line) { return trimmedSpacesAndTabs(line) == heading; });
    if (start == lines.end())
        return notes;
    // The next section starts only at a heading written from the start of its line.
    const auto end = std::find_if(start + 1, lines.end(),
        [](std::string_view line) { return line.starts_with(notesHeading); });
    std::string section;
    for (auto line = start + 1; line != end; ++line) {
        if (line != start + 1)
            section += '\n';
        section += *line;
    }
    return Text::trimmed(section);
}

std::optional<std::array<int64_t, 3>> UpdateManifest::components(std::string_view version)
{
    std::array<int64_t, 3> numbers{0, 0, 0};
    size_t count = 0;
    size_t start = 0;
    while (true) {
        const size_t dot = version.find('.', start);
        const std::string_view group = version.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (count == 3 || group.empty() || !std::all_of(group.begin(), group.end(), isAsciiDigit))
            return std::nullopt;
        const auto [end, error] = std::from_chars(group.data(), group.data() + group.size(), numbers[count]);
        if (error != std::errc() || end != group.data() + group.size())
            return std::nullopt;
        ++count;
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    if (count < 2)
        return std::nullopt;
    return numbers;
}

bool UpdateManifest::isNewer(std::string_view runningVersion, int64_t runningBuild) const
{
    const auto offered = components(version);
    const auto running = components(runningVersion);
    if (!offered || !running)
        return false;
    if (*offered == *running)
        return runningBuild < releaseBuild();
    return *running < *offered;
}

nlohmann::ordered_json UpdateManifest::encode() const
{
    nlohmann::ordered_json json;
    json["product"] = product;
    json["version"] = version;
    json["build"] = build;
    if (displayBuild)
        json["displayBuild"] = *displayBuild;
    json["notes"] = notes;
    json["pubDate"] = pubDate;
    json["downloadURL"] = downloadURL;
    json["sha256"] = sha256;
    json["size"] = size;
    return json;
}

UpdateManifest UpdateManifest::decode(const nlohmann::json &json)
{
    JsonRead::requireObject(json, "update manifest");
    UpdateManifest manifest{
        .product = JsonRead::string(json, "product"),
        .version = JsonRead::string(json, "version"),
        .build = JsonRead::integer(json, "build"),
        .displayBuild = JsonRead::optionalInteger(json, "displayBuild"),
        .notes = JsonRead::string(json, "notes"),
        .pubDate = JsonRead::string(json, "pubDate"),
        .downloadURL = JsonRead::string(json, "downloadURL"),
        .sha256 = JsonRead::string(json, "sha256"),
        .size = JsonRead::integer(json, "size"),
    };
    if (!parseUrl(manifest.downloadURL))
        throw JsonRead::Error("The value of \"downloadURL\" is not a URL.");
    return manifest;
}

UpdateManifest UpdateManifest::verified(std::string_view data, std::span<const uint8_t> publicKey)
{
    if (data.size() > maximumFeedSize)
        throw UpdateFailure(tooLargeMessage);
    requireSodium();

    const JsonRead::Json envelope = JsonRead::parse(data);
    JsonRead::requireObject(envelope, "update feed");
    const std::string payloadText = JsonRead::string(envelope, "payload");
    const std::string signatureText = JsonRead::string(envelope, "signature");

    const std::optional<std::vector<uint8_t>> payload = decodeBase64Url(payloadText);
    if (!payload)
        throw UpdateFailure(signatureMessage);
    const std::optional<std::vector<uint8_t>> signature = decodeBase64Url(signatureText);
    if (!signature)
        throw UpdateFailure(signatureMessage);
    if (publicKey.size() != crypto_sign_PUBLICKEYBYTES)
        throw UpdateFailure(keyMessage);
    // The signature covers the decoded payload bytes, not their base64 text.
    if (signature->size() != crypto_sign_BYTES
        || crypto_sign_verify_detached(signature->data(), payload->data(), payload->size(), publicKey.data()) != 0)
        throw UpdateFailure(signatureMessage);

    const std::string_view payloadJson(reinterpret_cast<const char *>(payload->data()), payload->size());
    UpdateManifest manifest = decode(JsonRead::parse(payloadJson));
    if (!hasValidContent(manifest))
        throw UpdateFailure(downloadMessage);
    return manifest;
}

// ---- UpdateConfiguration ----

const UpdateConfiguration &UpdateConfiguration::standard()
{
    static const UpdateConfiguration configuration{
        .updates = "https://" + std::string(host) + "/vantrel/updates/latest.json",
        .publicKeyText = std::string(compiledPublicKey),
    };
    return configuration;
}

std::vector<uint8_t> UpdateConfiguration::publicKey(std::string_view name) const
{
    if (name != publicKeyName)
        throw UpdateFailure(keyMessage);
    requireSodium();
    std::optional<std::vector<uint8_t>> key = decodeStandardBase64(Text::trimmed(publicKeyText));
    if (!key || key->size() != crypto_sign_PUBLICKEYBYTES)
        throw UpdateFailure(keyMessage);
    return std::move(*key);
}
