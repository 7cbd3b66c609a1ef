#include "error_of.h"
#include "core/update/update_feed.h"

#include "core/support/json_read.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <functional>
#include <optional>

namespace {

const char *const signatureMessage = "The update feed signature is invalid. No download was opened.";
const char *const downloadMessage = "The update feed contains an invalid Vantrel download.";
const char *const keyMessage = "The update verification key is missing or invalid.";

struct KeyPair {
    std::vector<uint8_t> publicKey = std::vector<uint8_t>(crypto_sign_PUBLICKEYBYTES);
    std::vector<uint8_t> secretKey = std::vector<uint8_t>(crypto_sign_SECRETKEYBYTES);

    KeyPair()
    {
        EXPECT_GE(sodium_init(), 0);
        crypto_sign_keypair(publicKey.data(), secretKey.data());
    }
};

std::string base64(std::string_view bytes, int variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING)
{
    std::string text(sodium_base64_encoded_len(bytes.size(), variant), '\0');
    sodium_bin2base64(text.data(), text.size(), reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(),
        variant);
    text.resize(text.find('\0'));
    return text;
}

std::string signature(std::string_view message, const KeyPair &keys)
{
    std::string bytes(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char *>(bytes.data()), nullptr,
        reinterpret_cast<const unsigned char *>(message.data()), message.size(), keys.secretKey.data());
    return bytes;
}

std::string envelope(const std::string &payloadText, const std::string &signatureText)
{
    return nlohmann::json{{"payload", payloadText}, {"signature", signatureText}}.dump();
}

std::string signedFeed(const std::string &payload, const KeyPair &keys)
{
    return envelope(base64(payload), base64(signature(payload, keys)));
}

UpdateManifest release()
{
    return UpdateManifest{.product = "vantrel", .version = "1.4.2", .build = 120, .notes = "Fixes.",
                          .pubDate = "Mon, 02 Sep 2024 10:00:00 +0000",
                          .downloadURL = "https://updates.vantrel.org/vantrel/updates/vantrel_1.4.2_amd64.deb",
                          .sha256 = std::string(64, 'a'), .size = 48213377};
}

class UpdateFeed : public ::testing::Test {
protected:
    KeyPair keys;

    UpdateManifest verify(const std::string &data) const { return UpdateManifest::verified(data, keys.publicKey); }
    std::string refusal(const std::string &data) const { return errorOf<UpdateFailure>([&] { verify(data); }); }
};

} // namespace

TEST_F(UpdateFeed, ValidFeedVerifiesToTheSignedManifest)
{
    UpdateManifest manifest = release();
    EXPECT_EQ(verify(signedFeed(manifest.encode().dump(), keys)), manifest);

    manifest.displayBuild = 0; // a display build of 0 passes
    manifest.downloadURL = "https://updates.vantrel.org:443/vantrel/updates/v.deb?arch=amd64";
    manifest.version = "01.4";
    EXPECT_EQ(verify(signedFeed(manifest.encode().dump(), keys)), manifest);
}

TEST_F(UpdateFeed, DisplayBuildMayBeMissingOrNull)
{
    nlohmann::json json = nlohmann::json::parse(release().encode().dump());
    json["displayBuild"] = nullptr;
    json["unknownKey"] = {1, 2};
    const UpdateManifest manifest = verify(signedFeed(json.dump(), keys));
    EXPECT_FALSE(manifest.displayBuild);
    EXPECT_EQ(manifest.releaseBuild(), 120);
}

TEST_F(UpdateFeed, EachBrokenContentRuleIsRefused)
{
    const std::vector<std::pair<const char *, std::function<void(UpdateManifest &)>>> cases = {
        {"product in capitals", [](UpdateManifest &m) { m.product = "Vantrel"; }},
        {"one version group", [](UpdateManifest &m) { m.version = "1"; }},
        {"four version groups", [](UpdateManifest &m) { m.version = "1.2.3.4"; }},
        {"version suffix", [](UpdateManifest &m) { m.version = "1.2-beta"; }},
        {"empty version group", [](UpdateManifest &m) { m.version = "1..2"; }},
        {"version with a letter", [](UpdateManifest &m) { m.version = "v1.2"; }},
        {"version overflow", [](UpdateManifest &m) { m.version = "1.99999999999999999999"; }},
        {"build 0", [](UpdateManifest &m) { m.build = 0; }},
        {"negative display build", [](UpdateManifest &m) { m.displayBuild = -1; }},
        {"size 0", [](UpdateManifest &m) { m.size = 0; }},
        {"upper-case digest", [](UpdateManifest &m) { m.sha256 = std::string(64, 'A'); }},
        {"short digest", [](UpdateManifest &m) { m.sha256 = std::string(63, 'a'); }},
        {"digest with a line feed", [](UpdateManifest &m) { m.sha256 = std::string(64, 'a') + "\n"; }},
        {"http", [](UpdateManifest &m) { m.downloadURL = "http://updates.vantrel.org/vantrel/updates/v.deb"; }},
        {"relative", [](UpdateManifest &m) { m.downloadURL = "/vantrel/updates/v.deb"; }},
        {"other host", [](UpdateManifest &m) { m.downloadURL = "https://example.org/vantrel/updates/v.deb"; }},
        {"host suffix", [](UpdateManifest &m) { m.downloadURL = "https://updates.vantrel.org.example.org/vantrel/updates/v.deb"; }},
        {"user name", [](UpdateManifest &m) { m.downloadURL = "https://me@updates.vantrel.org/vantrel/updates/v.deb"; }},
        {"empty user part", [](UpdateManifest &m) { m.downloadURL = "https://@updates.vantrel.org/vantrel/updates/v.deb"; }},
        {"password", [](UpdateManifest &m) { m.downloadURL = "https://me:pw@updates.vantrel.org/vantrel/updates/v.deb"; }},
        {"port 8443", [](UpdateManifest &m) { m.downloadURL = "https://updates.vantrel.org:8443/vantrel/updates/v.deb"; }},
        {"other folder", [](UpdateManifest &m) { m.downloadURL = "https://updates.vantrel.org/vantrel/other/v.deb"; }},
        {"folder without slash", [](UpdateManifest &m) { m.downloadURL = "https://updates.vantrel.org/vantrel/updatesv.deb"; }},
        {"upper-case extension", [](UpdateManifest &m) { m.downloadURL = "https://updates.vantrel.org/vantrel/updates/v.DEB"; }},
        {"disk image", [](UpdateManifest &m) { m.downloadURL = "https://updates.vantrel.org/vantrel/updates/v.dmg"; }},
        {"dot segments", [](UpdateManifest &m) { m.downloadURL = "https://updates.vantrel.org/vantrel/updates/../../x/v.deb"; }},
        {"escaped dot segments", [](UpdateManifest &m) { m.downloadURL = "https://updates.vantrel.org/vantrel/updates/%2E%2E/v.deb"; }},
    };
    for (const auto &[name, breakRule] : cases) {
        UpdateManifest manifest = release();
        breakRule(manifest);
        EXPECT_EQ(refusal(signedFeed(manifest.encode().dump(), keys)), downloadMessage) << name;
    }
}

TEST_F(UpdateFeed, TamperedFeedsAreRefused)
{
    const std::string payload = release().encode().dump();
    const std::string goodSignature = signature(payload, keys);
    std::string otherPayload = payload;
    otherPayload[otherPayload.find("48213377")] = '9';
    std::string flippedSignature = goodSignature;
    flippedSignature[10] ^= 1;
    const KeyPair stranger;

    const std::vector<std::pair<const char *, std::string>> cases = {
        {"payload changed", envelope(base64(otherPayload), base64(goodSignature))},
        {"signature changed", envelope(base64(payload), base64(flippedSignature))},
        {"signed by another key", signedFeed(payload, stranger)},
        {"signed over the base64 text", envelope(base64(payload), base64(signature(base64(payload), keys)))},
        {"signature too short", envelope(base64(payload), base64(goodSignature.substr(0, 63)))},
        {"payload not base64", envelope(base64(payload) + "*", base64(goodSignature))},
        {"signature not base64", envelope(base64(payload), base64(goodSignature) + " ")},
        {"one character too many", envelope(base64(payload) + "AAAAA", base64(goodSignature))},
    };
    for (const auto &[name, feed] : cases)
        EXPECT_EQ(refusal(feed), signatureMessage) << name;
}

TEST_F(UpdateFeed, PaddedAndStandardBase64DecodeTheSame)
{
    // Runs of six "?" and ">" hold an aligned "???" and ">>>", which encode with "/" and "+".
    UpdateManifest manifest = release();
    manifest.notes = std::string(6, '?') + std::string(6, '>');
    std::string payload = manifest.encode().dump();
    if (payload.size() % 3 == 0)
        payload += ' '; // so that padding is needed
    ASSERT_NE(base64(payload, sodium_base64_VARIANT_ORIGINAL).find_first_of("+"), std::string::npos);
    ASSERT_NE(base64(payload, sodium_base64_VARIANT_ORIGINAL).find_first_of("/"), std::string::npos);
    const std::string sig = signature(payload, keys);
    for (int variant : {sodium_base64_VARIANT_URLSAFE, sodium_base64_VARIANT_ORIGINAL,
             sodium_base64_VARIANT_ORIGINAL_NO_PADDING}) {
        EXPECT_EQ(verify(envelope(base64(payload, variant), base64(sig, variant))), manifest) << variant;
    }
}

TEST_F(UpdateFeed, SizeLimitComesBeforeParsing)
{
    std::string feed = signedFeed(release().encode().dump(), keys);
    feed.append(131072 - feed.size(), ' ');
    EXPECT_NO_THROW(verify(feed));
    EXPECT_EQ(refusal(feed + " "), "The update feed is too large.");
    EXPECT_EQ(refusal(std::string(131073, '{')), "The update feed is too large.");
}

TEST_F(UpdateFeed, MalformedJsonIsADecodingError)
{
    nlohmann::json missingSize = nlohmann::json::parse(release().encode().dump());
    missingSize.erase("size");
    nlohmann::json fractionalBuild = nlohmann::json::parse(release().encode().dump());
    fractionalBuild["build"] = 1.5;
    nlohmann::json badAddress = nlohmann::json::parse(release().encode().dump());
    badAddress["downloadURL"] = "https://updates.vantrel.org/vantrel/updates/my file.deb";

    const std::vector<std::pair<const char *, std::string>> cases = {
        {"not JSON", "payload"},
        {"not an object", "[]"},
        {"no signature", R"({"payload":"e30"})"},
        {"payload not text", R"({"payload":1,"signature":"AA"})"},
        {"manifest not JSON", signedFeed("{\"product\":", keys)},
        {"manifest number overflow", signedFeed("{\"build\":1e400}", keys)},
        {"manifest key missing", signedFeed(missingSize.dump(), keys)},
        {"manifest wrong type", signedFeed(fractionalBuild.dump(), keys)},
        {"address not a URL", signedFeed(badAddress.dump(), keys)},
    };
    for (const auto &[name, feed] : cases)
        EXPECT_THROW(verify(feed), JsonRead::Error) << name;
}

TEST_F(UpdateFeed, KeyOfWrongLengthIsRefused)
{
    const std::string feed = signedFeed(release().encode().dump(), keys);
    std::vector<uint8_t> key = keys.publicKey;
    key.pop_back();
    EXPECT_EQ(errorOf<UpdateFailure>([&] { UpdateManifest::verified(feed, key); }), keyMessage);
}

TEST(UpdateConfiguration, LoadsKeyTextAndRefusesBadOnes)
{
    const UpdateConfiguration &standard = UpdateConfiguration::standard();
    EXPECT_EQ(standard.updates, "https://updates.vantrel.org/vantrel/updates/latest.json");
    EXPECT_EQ(standard.publicKey("update-public-key").size(), 32u);

    const std::string key32(32, '\x07');
    UpdateConfiguration configuration{.updates = standard.updates, .publicKeyText = "\n " + base64(key32, sodium_base64_VARIANT_ORIGINAL) + "\n"};
    EXPECT_EQ(configuration.publicKey("update-public-key"), std::vector<uint8_t>(32, 7));
    EXPECT_EQ(errorOf<UpdateFailure>([&] { configuration.publicKey("other-key"); }), keyMessage);

    for (const std::string &text : {base64(std::string(31, 'k'), sodium_base64_VARIANT_ORIGINAL),
             base64(std::string(33, 'k'), sodium_base64_VARIANT_ORIGINAL),
             base64(key32, sodium_base64_VARIANT_URLSAFE_NO_PADDING), std::string("not a key"), std::string()}) {
        configuration.publicKeyText = text;
        EXPECT_EQ(errorOf<UpdateFailure>([&] { configuration.publicKey("update-public-key"); }), keyMessage) << text;
    }
}

TEST(UpdateVersion, ComponentsOfWellAndMalformedVersions)
{
    using Numbers = std::array<int64_t, 3>;
    EXPECT_EQ(UpdateManifest::components("1.2"), Numbers({1, 2, 0}));
    EXPECT_EQ(UpdateManifest::components("01.2.30"), Numbers({1, 2, 30}));
    EXPECT_EQ(UpdateManifest::components("9223372036854775807.0"), Numbers({INT64_MAX, 0, 0}));
    for (const char *bad : {"", "1", "1.", ".1", "1..2", "1.2.3.4", "1.2-beta", "v1.2", "1.2 ", "+1.2", "-1.2",
             "1.2\n", "9223372036854775808.0", "١.٢"})
        EXPECT_FALSE(UpdateManifest::components(bad)) << bad;
}

TEST(UpdateVersion, NewerComparesGroupsThenReleaseBuild)
{
    struct Case {
        const char *offered;
        std::optional<int64_t> displayBuild;
        const char *running;
        int64_t runningBuild;
        bool newer;
    };
    const Case cases[] = {
        {"1.2", std::nullopt, "1.2.0", 120, false},   // same version, same build
        {"1.2", std::nullopt, "1.2.0", 119, true},    // same version, higher build
        {"1.2.0", 118, "1.2", 119, false},            // display build decides, not build
        {"1.2.0", 200, "1.2", 119, true},
        {"1.10", std::nullopt, "1.9", 999, true},     // groups compare as numbers
        {"1.9", std::nullopt, "1.10", 0, false},
        {"2.0", std::nullopt, "1.99.99", 500, true},
        {"1.2.3", std::nullopt, "1.2.4", 0, false},
        {"1.2-beta", std::nullopt, "1.0", 0, false},  // malformed offer
        {"1.3", std::nullopt, "1", 0, false},         // malformed running version
        {"1.3", std::nullopt, "1.2.3.4", 0, false},
    };
    for (const Case &c : cases) {
        UpdateManifest manifest = release();
        manifest.version = c.offered;
        manifest.displayBuild = c.displayBuild;
        EXPECT_EQ(manifest.isNewer(c.running, c.runningBuild), c.newer) << c.offered << " vs " << c.running;
    }
}

TEST(UpdateReleaseNotes, SectionOfTheOfferedVersion)
{
    struct Case {
        const char *notes;
        const char *expected;
    };
    const Case cases[] = {
        {"# Vantrel 1.4.1\nOld.\n\n# Vantrel 1.4.2 \t\n\n  New.\n- Fix.\n\n# Vantrel 1.4.0\nOlder.", "New.\n- Fix."},
        {"  No headings here.\n", "  No headings here.\n"},
        {"# Vantrel 1.4.1\nOld.", "# Vantrel 1.4.1\nOld."},
        {"Intro\n# Vantrel 1.4.2", ""},
        {"# Vantrel 1.4.2\nNew.\n  # Vantrel 1.4.1\nStill new.", "New.\n  # Vantrel 1.4.1\nStill new."},
        {"# Vantrel 1.4.2\r\nNew.\r\nMore.\r\n# Vantrel 1.4.1\r\nOld.", "New.\nMore."},
        {"# Vantrel 1.4.2\u2028New.\u2029More.\x0b# Vantrel 1.4.1", "New.\nMore."},
        {"# Vantrel 1.4.20\nOther.", "# Vantrel 1.4.20\nOther."},
    };
    for (const Case &c : cases) {
        UpdateManifest manifest = release();
        manifest.notes = c.notes;
        EXPECT_EQ(manifest.releaseNotes(), c.expected) << c.notes;
    }
}

TEST(UpdateManifestJson, KeysInFieldOrderAndRoundTrip)
{
    UpdateManifest manifest = release();
    EXPECT_EQ(manifest.encode().dump().find("displayBuild"), std::string::npos);
    manifest.displayBuild = 7;
    const nlohmann::ordered_json json = manifest.encode();
    std::vector<std::string> keys;
    for (const auto &item : json.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"product", "version", "build", "displayBuild", "notes", "pubDate",
                        "downloadURL", "sha256", "size"}));
    EXPECT_EQ(UpdateManifest::decode(nlohmann::json::parse(manifest.encode().dump())), manifest);
}

TEST_F(UpdateFeed, ValidFeedVerifiesToTheSignedManifestInAnyBase64Variant)
{
    UpdateManifest manifest = release();
    manifest.displayBuild = 0;
    manifest.downloadURL = "https://updates.vantrel.org:443/vantrel/updates/v.deb?arch=amd64";
    // Runs of six "?" and ">" hold an aligned "???" and ">>>", which encode with "/" and "+".
    manifest.notes = std::string(6, '?') + std::string(6, '>');
    std::string payload = manifest.encode().dump();
    if (payload.size() % 3 == 0)
        payload += ' '; // so that padding is needed
    const std::string padded = base64(payload, sodium_base64_VARIANT_ORIGINAL);
    ASSERT_TRUE(padded.find('+') != std::string::npos && padded.find('/') != std::string::npos && padded.back() == '=');
    EXPECT_EQ(verify(signedFeed(payload, keys)), manifest);
    EXPECT_EQ(verify(envelope(padded, base64(signature(payload, keys), sodium_base64_VARIANT_ORIGINAL))), manifest);
}

TEST_F(UpdateFeed, TamperedUnsignedOversizedAndMalformedFeedsAreRefused)
{
    const std::string payload = release().encode().dump();
    const std::string goodSignature = signature(payload, keys);
    std::string otherPayload = payload;
    otherPayload[otherPayload.find("48213377")] = '9';
    for (const std::string &feed : {envelope(base64(otherPayload), base64(goodSignature)), signedFeed(payload, KeyPair()),
                                    envelope(base64(payload) + "AAAAA", base64(goodSignature))})
        EXPECT_EQ(refusal(feed), signatureMessage) << feed;
    for (const char *url : {"https://updates.vantrel.org.example.org/vantrel/updates/v.deb",
                            "https://updates.vantrel.org/vantrel/updates/%2E%2E/v.deb"}) {
        UpdateManifest manifest = release();
        manifest.downloadURL = url;
        EXPECT_EQ(refusal(signedFeed(manifest.encode().dump(), keys)), downloadMessage) << url;
    }
    EXPECT_THROW(verify(R"({"payload":"e30"})"), JsonRead::Error);
    EXPECT_THROW(verify(signedFeed("{\"build\":1e400}", keys)), JsonRead::Error);
    // The parser would stop at a NUL byte and take what stands before it for the whole text.
    const std::string nul("\0{}", 3);
    EXPECT_THROW(verify(signedFeed(payload, keys) + nul), JsonRead::Error);
    EXPECT_THROW(verify(signedFeed(payload + nul, keys)), JsonRead::Error);

    std::string feed = signedFeed(payload, keys);
    feed.append(131072 - feed.size(), ' ');
    EXPECT_NO_THROW(verify(feed));
    // The size is checked before any parsing.
    EXPECT_EQ(refusal(std::string(131073, '{')), "The update feed is too large.");

    std::vector<uint8_t> shortKey = keys.publicKey;
    shortKey.pop_back();
    EXPECT_EQ(errorOf<UpdateFailure>([&] { UpdateManifest::verified(feed, shortKey); }), keyMessage);
    EXPECT_EQ(UpdateConfiguration::standard().publicKey("update-public-key").size(), 32u);
}

TEST(UpdateVersion, NewerComparesGroupsAsNumbersThenReleaseBuild)
{
    // The running version's build is 119.
    auto newer = [](const char *offered, std::optional<int64_t> displayBuild, const char *running) {
        UpdateManifest manifest = release();
        manifest.version = offered;
        manifest.displayBuild = displayBuild;
        return manifest.isNewer(running, 119);
    };
    EXPECT_FALSE(newer("1.2.0", 118, "1.2")); // display build decides, not build
    EXPECT_TRUE(newer("1.10", std::nullopt, "1.9"));
    EXPECT_FALSE(newer("1.2-beta", std::nullopt, "1.0"));
}
