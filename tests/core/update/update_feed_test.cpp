#include "error_of.h"
#include "core/update/update_feed.h"

#include "core/support/json_read.h"

#include <gtest/gtest.h>
#include <sodium.h>

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
