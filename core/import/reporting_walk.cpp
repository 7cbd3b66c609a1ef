#include "core/import/reporting_walk.h"

#include "core/model/organization.h"

#include <limits>
#include <unordered_map>

namespace ReportingWalk {

namespace {

constexpr size_t none = std::numeric_limits<size_t>::max();

// The chains as a functional graph over the first holder of each id.
class Chains {
public:
    explicit Chains(std::span<const Position *const> positions)
        : m_positions(positions), m_manager(positions.size(), none), m_repeat(positions.size(), none),
          m_cycle(positions.size(), none), m_onCycle(positions.size(), false)
    {
        m_first.reserve(positions.size());
        for (size_t i = 0; i < positions.size(); ++i)
            m_first.emplace(positions[i]->id, i);
        for (size_t i = 0; i < positions.size(); ++i) {
            if (isFirstHolder(i))
                m_manager[i] = managerOf(i);
        }
        resolveAll();
    }

    bool isFirstHolder(size_t i) const { return m_first.at(m_positions[i]->id) == i; }

    size_t managerOf(size_t i) const
    {
        const auto &managerID = m_positions[i]->managerID;
        if (!managerID)
            return none;
        const auto found = m_first.find(*managerID);
        return found == m_first.end() ? none : found->second;
    }

    size_t firstHolder(size_t i) const { return m_first.at(m_positions[i]->id); }
    size_t repeat(size_t node) const { return m_repeat[node]; }

    // Whether `target` lies on the walk from `node`; both are first holders.
    bool reaches(size_t node, size_t target)
    {
        if (m_onCycle[target])
            return m_cycle[node] == m_cycle[target];
        numberTrees();
        // The target is a tree node: it lies on the walk exactly when `node` hangs below it.
        return m_enter[target] <= m_enter[node] && m_leave[node] <= m_leave[target];
    }

private:
    // Sets, for every first holder, the first repeated node of its walk and the cycle its
    // walk ends in. Each node is put on a path once.
    void resolveAll()
    {
        std::vector<unsigned char> state(m_positions.size(), 0); // 0 new, 1 on the path, 2 done
        std::vector<size_t> placeOnPath(m_positions.size(), none);
        std::vector<size_t> path;
        for (size_t start = 0; start < m_positions.size(); ++start) {
            if (state[start] != 0 || !isFirstHolder(start))
                continue;
            path.clear();
            size_t v = start;
            while (v != none && state[v] == 0) {
                state[v] = 1;
                placeOnPath[v] = path.size();
                path.push_back(v);
                v = m_manager[v];
            }
            size_t tailEnd = path.size();
            if (v != none && state[v] == 1) {
                tailEnd = placeOnPath[v];
                for (size_t j = tailEnd; j < path.size(); ++j) {
                    const size_t c = path[j];
                    m_onCycle[c] = true;
                    m_repeat[c] = c;
                    m_cycle[c] = v;
                    state[c] = 2;
                }
            }
            for (size_t j = tailEnd; j-- > 0;) {
                const size_t w = path[j];
                const size_t u = m_manager[w];
                if (u != none) {
                    m_repeat[w] = m_onCycle[u] ? u : m_repeat[u];
                    m_cycle[w] = m_cycle[u];
                }
                state[w] = 2;
            }
        }
    }

    // Entry and leave numbers of a depth-first pass over the trees that hang below the
    // chain ends and the cycles; built on first use, since only duplicate ids need it.
    void numberTrees()
    {
        if (!m_enter.empty())
            return;
        const size_t count = m_positions.size();
        std::vector<size_t> childStart(count + 1, 0);
        for (size_t w = 0; w < count; ++w) {
            if (m_manager[w] != none && !m_onCycle[w])
                ++childStart[m_manager[w] + 1];
        }
        for (size_t i = 0; i < count; ++i)
            childStart[i + 1] += childStart[i];
        std::vector<size_t> children(childStart[count]);
        std::vector<size_t> fill(childStart.begin(), childStart.end() - 1);
        for (size_t w = 0; w < count; ++w) {
            if (m_manager[w] != none && !m_onCycle[w])
                children[fill[m_manager[w]]++] = w;
        }

        m_enter.assign(count, 0);
        m_leave.assign(count, 0);
        size_t clock = 0;
        std::vector<std::pair<size_t, size_t>> stack; // node, next child
        for (size_t root = 0; root < count; ++root) {
            const bool isRoot = isFirstHolder(root) && (m_manager[root] == none || m_onCycle[root]);
            if (!isRoot)
                continue;
            m_enter[root] = clock++;
            stack.push_back({root, childStart[root]});
            while (!stack.empty()) {
                auto &[node, next] = stack.back();
                if (next == childStart[node + 1]) {
                    m_leave[node] = clock++;
                    stack.pop_back();
                    continue;
                }
                const size_t child = children[next++];
                m_enter[child] = clock++;
                stack.push_back({child, childStart[child]});
            }
        }
    }

    std::span<const Position *const> m_positions;
    std::unordered_map<std::string_view, size_t> m_first;
    std::vector<size_t> m_manager; // first holders only
    std::vector<size_t> m_repeat;  // first repeated node of the walk, or none
    std::vector<size_t> m_cycle;   // the cycle the walk ends in, named by one of its nodes
    std::vector<bool> m_onCycle;
    std::vector<size_t> m_enter;
    std::vector<size_t> m_leave;
};

} // namespace

std::vector<std::optional<std::string_view>> firstRepeatedIDs(std::span<const Position *const> positions,
                                                              size_t from)
{
    Chains chains(positions);
    std::vector<std::optional<std::string_view>> result;
    for (size_t i = from; i < positions.size(); ++i) {
        size_t repeated = none;
        if (chains.isFirstHolder(i)) {
            repeated = chains.repeat(i);
        } else {
            // A later holder of an id starts its walk with that id already met.
            const size_t manager = chains.managerOf(i);
            const size_t self = chains.firstHolder(i);
            if (manager != none)
                repeated = chains.reaches(manager, self) ? self : chains.repeat(manager);
        }
        result.push_back(repeated == none ? std::nullopt : std::optional(std::string_view(positions[repeated]->id)));
    }
    return result;
}

} // namespace ReportingWalk
