#include "core/document/version_reading.h"

#include "core/document/archive_json.h"
#include "core/document/arriving_bytes.h"
#include "core/document/json_array_scan.h"
#include "core/model/organization_json.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <map>
#include <mutex>
#include <thread>

using Json = nlohmann::json;
using JsonArrayScan::ArraySpans;

namespace VersionReading {

namespace {

// A version decoded by a helper, before it is frozen.
struct DecodedVersion {
    OrganizationRevision revision;
    Organization organization; // every position, or with `unchanged` only the others in order
    std::vector<bool> unchanged; // empty when there is no version before to compare with
};

// A version's position texts, for the version after it to compare with.
struct PositionTexts {
    bool ready = false;
    std::optional<std::vector<std::string_view>> texts; // nothing when not found apart
};

struct Failed {};

// Whether `text` is `read`, a text that read as JSON, but for the spaces after line breaks.
// Such a text is the same JSON: JSON strings hold no line breaks, so every line break of
// `read`, and of `text` up to it, lies outside strings, and the spaces after it are white space.
bool sameButIndentation(std::string_view read, std::string_view text)
{
    size_t i = 0;
    size_t j = 0;
    while (i < read.size() && j < text.size()) {
        if (read[i] != text[j])
            return false;
        ++i;
        ++j;
        if (read[i - 1] != '\n')
            continue;
        while (i < read.size() && read[i] == ' ')
            ++i;
        while (j < text.size() && text[j] == ' ')
            ++j;
    }
    return i == read.size() && j == text.size();
}

// Helpers take versions in order as the scan finds them, decode them a few ahead of the last
// frozen one (so the whole history never sits in memory unfrozen), freeze them in order (one
// helper at a time, each version sharing with the one before) and validate them.
class ParallelReader {
public:
    explicit ParallelReader(ArrivingBytes &bytes) : m_bytes(bytes) {}

    std::optional<Versions> run(const std::function<bool(const Spans &)> &whileDecoding, bool *malformed)
    {
        const size_t helpers = std::clamp<size_t>(std::thread::hardware_concurrency(), 2, 8) - 1;
        m_ahead = 2 * (helpers + 1);
        std::optional<ArraySpans> organization;
        {
            std::vector<std::jthread> threads;
            // Started with the first piece found: a text that is no document starts none.
            const auto startHelpers = [&] {
                for (size_t t = threads.size(); t < helpers; ++t)
                    threads.emplace_back([this] {
                        try {
                            help();
                        } catch (...) {
                            fail(); // out of memory, say: the one-pass reader has its say
                        }
                    });
            };
            try {
                std::vector<std::string_view> positions; // the organization's, not yet handed over
                const auto found = [this, &positions, &threads, &startHelpers](size_t path,
                                                                             std::optional<std::string_view> element) {
                    if (threads.empty() && element)
                        startHelpers();
                    if (path == organizationPath && element) {
                        positions.push_back(*element);
                        if (positions.size() < chunkPositions)
                            return; // the lock is taken once a chunk
                    }
                    const std::lock_guard lock(m_mutex);
                    if (path == organizationPath)
                        addPositionTexts(positions, !element);
                    else if (element)
                        m_elements.push_back(*element);
                    m_changed.notify_all();
                };
                std::optional<std::vector<std::optional<ArraySpans>>> arrays =
                    JsonArrayScan::findArrays(std::string_view(m_bytes.data(), 0), &m_bytes,
                                              {{"organization", "positions"}, {"revisions"}}, found, malformed);
                const bool sure = arrays && (*arrays)[revisionsPath] && (*arrays)[revisionsPath]->elements.size() >= 2;
                {
                    const std::lock_guard lock(m_mutex);
                    m_organizationEnded = true; // also when it was not found
                    m_scanned = true;
                    m_failed = m_failed || !sure;
                    m_changed.notify_all();
                }
                if (sure) {
                    organization = std::move((*arrays)[organizationPath]);
                    if (!whileDecoding(readApart(organization, *(*arrays)[revisionsPath])))
                        fail();
                }
                help();
            } catch (...) {
                fail(); // the helpers stop before the threads are joined
                throw;
            }
        }
        if (m_failed)
            return std::nullopt;
        Versions versions;
        versions.revisions = std::move(m_revisions);
        if (!m_invalid.empty())
            versions.invalidOrganization = std::move(m_invalid.begin()->second);
        if (organization) {
            Organization &current = versions.organization.emplace();
            current.positions.reserve(organization->elements.size());
            for (std::optional<std::vector<Position>> &chunk : m_organizationChunks)
                std::move(chunk->begin(), chunk->end(), std::back_inserter(current.positions));
        }
        return versions;
    }

private:
    static constexpr size_t organizationPath = 0;
    static constexpr size_t revisionsPath = 1;
    // Positions of the organization are read on helpers this many at a time.
    static constexpr size_t chunkPositions = 500;

    static Spans readApart(const std::optional<ArraySpans> &organization, const ArraySpans &revisions)
    {
        Spans spans{{revisions.open, revisions.close}};
        if (organization)
            spans.emplace_back(organization->open, organization->close);
        std::sort(spans.begin(), spans.end());
        return spans;
    }

    // A chunk of the organization's positions found, the last one when `last`; `texts` is
    // emptied. Under the lock.
    void addPositionTexts(std::vector<std::string_view> &texts, bool last)
    {
        if (!texts.empty()) {
            m_organizationTexts.insert(m_organizationTexts.end(), texts.begin(), texts.end());
            texts.clear();
            m_organizationChunks.emplace_back();
            m_organizationQueue.push_back(m_organizationChunks.size() - 1);
            ++m_organizationPending;
        }
        if (last) {
            m_organizationFound = true;
            m_organizationEnded = true;
        }
    }

    // The organization's position texts once all are found, or nothing when it was not
    // found apart; throws when reading stopped.
    const std::vector<std::string_view> *organizationTexts()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_failed || m_organizationEnded; });
        if (m_failed)
            throw Failed{};
        return m_organizationFound ? &m_organizationTexts : nullptr;
    }

    // The organization's positions once all are read; throws when reading stopped.
    std::vector<const Position *> organizationPositions()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_failed || m_organizationPending == 0; });
        if (m_failed)
            throw Failed{};
        std::vector<const Position *> positions;
        positions.reserve(m_organizationTexts.size());
        for (const std::optional<std::vector<Position>> &chunk : m_organizationChunks) {
            for (const Position &position : *chunk)
                positions.push_back(&position);
        }
        return positions;
    }

    void fail()
    {
        const std::lock_guard lock(m_mutex);
        m_failed = true;
        m_changed.notify_all();
    }

    void help()
    {
        std::unique_lock lock(m_mutex);
        while (!m_failed) {
            if (!m_freezing && m_frozen < m_decoded.size() && m_decoded[m_frozen]) {
                freezeNext(lock);
            } else if (!m_organizationQueue.empty()) {
                const size_t chunk = m_organizationQueue.front();
                m_organizationQueue.pop_front();
                const auto first = m_organizationTexts.begin() + std::ptrdiff_t(chunk * chunkPositions);
                const std::vector<std::string_view> texts(
                    first, first + std::ptrdiff_t(std::min(chunkPositions, m_organizationTexts.size() - chunk * chunkPositions)));
                lock.unlock();
                std::optional<std::vector<Position>> positions;
                try {
                    positions.emplace();
                    for (std::string_view text : texts)
                        positions->push_back(OrganizationJson::decodePosition(JsonRead::parsePart(text)));
                } catch (...) {
                    positions.reset();
                }
                lock.lock();
                m_failed = m_failed || !positions;
                m_organizationChunks[chunk] = std::move(positions);
                --m_organizationPending;
                m_changed.notify_all();
            } else if (m_next < m_elements.size() && m_next < m_frozen + m_ahead) {
                const size_t i = m_next++;
                m_decoded.emplace_back();
                m_positionTexts.emplace_back();
                const std::string_view text = m_elements[i];
                lock.unlock();
                std::optional<DecodedVersion> version;
                try {
                    version = decode(i, text);
                } catch (...) {
                }
                lock.lock();
                if (!version) {
                    m_failed = true;
                } else {
                    m_decoded[i] = std::move(version);
                }
                m_changed.notify_all();
            } else if (!m_unvalidated.empty()) {
                const auto [index, organization] = m_unvalidated.front();
                m_unvalidated.pop_front();
                lock.unlock();
                std::optional<std::string> invalid;
                bool failed = false;
                try {
                    organization->toOrganization().validate();
                } catch (const OrganizationError &error) {
                    invalid = error.message();
                } catch (...) {
                    failed = true;
                }
                lock.lock();
                m_failed = m_failed || failed;
                if (invalid)
                    m_invalid.emplace(index, std::move(*invalid));
                --m_validating;
                m_changed.notify_all();
            } else if (m_scanned && m_frozen == m_elements.size() && m_validating == 0 && m_organizationPending == 0) {
                return;
            } else {
                m_changed.wait(lock);
            }
        }
    }

    // Freezes the versions ready in order; one helper at a time.
    void freezeNext(std::unique_lock<std::mutex> &lock)
    {
        m_freezing = true;
        while (!m_failed && m_frozen < m_decoded.size() && m_decoded[m_frozen]) {
            DecodedVersion version = std::move(*m_decoded[m_frozen]);
            m_decoded[m_frozen].reset();
            lock.unlock();
            const FrozenOrganization *before = m_revisions.empty() ? nullptr : &m_revisions.back()->organization;
            if (version.unchanged.empty())
                version.revision.organization = FrozenOrganization(version.organization, before);
            else
                version.revision.organization = FrozenOrganization(version.unchanged, version.organization, *before);
            m_revisions.emplace_back(std::move(version.revision));
            const FrozenOrganization *frozen = &m_revisions.back()->organization;
            lock.lock();
            m_unvalidated.emplace_back(m_frozen, frozen);
            ++m_validating;
            ++m_frozen;
            m_changed.notify_all();
        }
        m_freezing = false;
    }

    // Version `i`, whose text is `text`; throws when it does not read.
    DecodedVersion decode(size_t i, std::string_view text)
    {
        DecodedVersion result;
        const std::optional<ArraySpans> positions = JsonArrayScan::findArray(text, {"organization", "positions"});
        publish(i, positions ? std::optional(positions->elements) : std::nullopt);
        if (!positions) {
            const Json json = JsonRead::parsePart(text);
            result.revision = ArchiveJson::decodeRevision(json, result.organization);
            return result;
        }
        std::string skeleton(text.substr(0, positions->open + 1));
        skeleton += text.substr(positions->close);
        result.revision = ArchiveJson::decodeRevision(JsonRead::parsePart(skeleton), result.organization);

        const std::vector<std::string_view> &texts = positions->elements;
        if (i == 0) {
            decodeFirst(texts, result.organization);
            return result;
        }
        const std::optional<std::vector<std::string_view>> &before = textsBefore(i);
        if (before)
            result.unchanged.assign(texts.size(), false);
        for (size_t p = 0; p < texts.size(); ++p) {
            if (before && p < before->size() && (*before)[p] == texts[p]) {
                result.unchanged[p] = true;
                continue;
            }
            result.organization.positions.push_back(
                OrganizationJson::decodePosition(JsonRead::parsePart(texts[p])));
        }
        forget(i - 1);
        return result;
    }

    // The positions of the oldest version, `texts`, into `organization`: those laid out as
    // the organization's position at the same index, but for indentation, are copied from it.
    void decodeFirst(const std::vector<std::string_view> &texts, Organization &organization)
    {
        const std::vector<std::string_view> *current = organizationTexts();
        std::vector<bool> same(texts.size(), false);
        for (size_t p = 0; current && p < texts.size() && p < current->size(); ++p)
            same[p] = sameButIndentation((*current)[p], texts[p]);
        const std::vector<const Position *> positions =
            std::find(same.begin(), same.end(), true) != same.end() ? organizationPositions() : std::vector<const Position *>();
        organization.positions.reserve(texts.size());
        for (size_t p = 0; p < texts.size(); ++p) {
            if (same[p])
                organization.positions.push_back(*positions[p]);
            else
                organization.positions.push_back(OrganizationJson::decodePosition(JsonRead::parsePart(texts[p])));
        }
    }

    void publish(size_t i, std::optional<std::vector<std::string_view>> texts)
    {
        const std::lock_guard lock(m_mutex);
        m_positionTexts[i].texts = std::move(texts);
        m_positionTexts[i].ready = true;
        m_changed.notify_all();
    }

    // The texts of version i - 1 once its helper has found them; throws when reading stopped.
    const std::optional<std::vector<std::string_view>> &textsBefore(size_t i)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_failed || m_positionTexts[i - 1].ready; });
        if (m_failed)
            throw Failed{};
        return m_positionTexts[i - 1].texts;
    }

    // Only version i + 1 compares with version i's texts (a copy: version i reads its own).
    void forget(size_t i)
    {
        const std::lock_guard lock(m_mutex);
        m_positionTexts[i].texts.reset();
    }

    ArrivingBytes &m_bytes;
    size_t m_ahead = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Guarded by m_mutex.
    std::vector<std::string_view> m_elements;
    bool m_scanned = false;
    bool m_failed = false;
    size_t m_next = 0;
    std::deque<std::optional<DecodedVersion>> m_decoded;
    std::deque<PositionTexts> m_positionTexts;
    bool m_freezing = false;
    size_t m_frozen = 0;
    std::deque<std::pair<size_t, const FrozenOrganization *>> m_unvalidated;
    size_t m_validating = 0; // frozen versions not yet validated
    std::map<size_t, std::string> m_invalid;
    bool m_organizationFound = false;
    bool m_organizationEnded = false; // its list ended, or the scan did
    std::vector<std::string_view> m_organizationTexts; // the organization's positions found so far
    std::deque<std::optional<std::vector<Position>>> m_organizationChunks;
    std::deque<size_t> m_organizationQueue; // chunks no helper has taken yet
    size_t m_organizationPending = 0;       // chunks not yet read
    // Touched only by the freezing helper, and read once all helpers are done.
    std::vector<Shared<OrganizationRevision>> m_revisions;
};

} // namespace

std::optional<Versions> read(ArrivingBytes &bytes, const std::function<bool(const Spans &)> &whileDecoding,
                             bool *malformed)
{
    return ParallelReader(bytes).run(whileDecoding, malformed);
}

} // namespace VersionReading
