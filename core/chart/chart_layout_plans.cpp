#include "core/chart/chart_layout_arena.h"
#include "core/chart/chart_layout_engine.h"
#include "core/model/organization.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <unordered_map>
#include <utility>

namespace ChartLayoutEngine {

namespace {

// Width and height of a plan's bounds: what scores it and what makes two plans duplicates.
using Extent = std::pair<double, double>;

Extent extentOf(const Plan &plan)
{
    return {plan.bounds.width(), plan.bounds.height()};
}

// Measuring an arrangement needs only its bounds and, while packing, the right profile of
// what is placed so far; building it also makes its nodes and both profiles. Both passes
// compute every coordinate with the same operations in the same order.
enum class Pass : uint8_t { measure, build };

// One way to place a manager's regular children under its base arrangement.
struct Arrangement {
    enum class Kind : uint8_t { sideColumns, rowWrap, stacks };
    Kind kind = Kind::stacks;
    uint32_t combination = 0;
    uint32_t stacks = 0;          // stacks: the index of the stack size among the manager's
    std::vector<uint32_t> shape;  // row wrap: the number of children in each row
};

// The stacks of one stack size under one manager. Stacks hold only children without
// reports, whose single candidate is the same in every combination, so their columns are
// made once per manager and shared by every arrangement that uses them.
struct Stacks {
    std::vector<uint32_t> shape; // per group: 0 for a child's own plan, else its cards
    std::vector<Plan> columns;   // per group: the stack's column; unused for a child's own plan
    std::vector<uint32_t> group; // per child: the group it stands in
    std::vector<Rect> card;      // per child in a stack: its card in the column
    uint32_t sameAs = 0;         // the first stack size that groups the children alike
};

// The children's part of an arrangement, before it hangs under a base.
struct Block {
    Plan plan;
    double centre = 0;
    struct Row {
        double top = 0;
        std::vector<Rect> cards; // each child's own card, in the block's coordinates
    };
    std::vector<Row> rows; // row wrap only
};

} // namespace

// A subtree's candidates are a function of its own card's height, its children in order
// with their assistant flags, and the children's candidates; `version` names the candidates
// made last, so a parent sees when a child's were made again.
struct SubtreeKey {
    struct Child {
        uint32_t slot;
        bool assistant;
        uint64_t version;
        bool operator==(const Child &) const = default;
    };
    uint64_t version = 0; // 0: no candidates yet
    double height = 0;
    std::vector<Child> children;
};

struct PlacementMemo::State {
    State(const Metrics &m, size_t positions) : metrics(m), arena(m.spacing / 2) { arena.reserve(2 * positions); }

    void orderByID(const std::vector<uint32_t> &slot);

    Metrics metrics;
    PlanArena arena;
    size_t freshNodes = 0; // arena nodes after the first run; the arena only grows after it
    std::unordered_map<std::string, uint32_t> slots; // position id -> slot, for good
    std::vector<const std::string *> ids;            // by slot: its key in `slots`
    std::vector<std::vector<Plan>> candidates;       // by slot
    std::vector<SubtreeKey> keys;                    // by slot
    uint64_t versions = 0;
    std::vector<uint32_t> sortedSlots; // the last run's slots in id order
    std::vector<bool> live;            // by slot: in the last run
    std::vector<uint32_t> byID;        // the last run's positions in id order
};

// Drops the slots that left from the last order and puts the new ones in place.
void PlacementMemo::State::orderByID(const std::vector<uint32_t> &slot)
{
    std::vector<bool> now(slots.size(), false);
    for (uint32_t s : slot)
        now[s] = true;
    std::vector<uint32_t> kept, added;
    kept.reserve(slot.size());
    for (uint32_t s : sortedSlots) {
        if (now[s])
            kept.push_back(s);
    }
    for (uint32_t s : slot) {
        if (s >= live.size() || !live[s])
            added.push_back(s);
    }
    const auto before = [&](uint32_t a, uint32_t b) { return *ids[a] < *ids[b]; };
    std::sort(added.begin(), added.end(), before);
    if (added.size() <= 16) {
        for (uint32_t s : added)
            kept.insert(std::lower_bound(kept.begin(), kept.end(), s, before), s);
        sortedSlots = std::move(kept);
    } else {
        sortedSlots.clear();
        std::merge(kept.begin(), kept.end(), added.begin(), added.end(), std::back_inserter(sortedSlots), before);
    }
    live = std::move(now);

    std::vector<uint32_t> indexOf(slots.size());
    for (uint32_t i = 0; i < slot.size(); ++i)
        indexOf[slot[i]] = i;
    byID.clear();
    byID.reserve(sortedSlots.size());
    for (uint32_t s : sortedSlots)
        byID.push_back(indexOf[s]);
}

namespace {

class Planner {
public:
    // Positions are indices into `tree`, `heights` and `candidates`. With a memo, the
    // candidates of subtrees whose key is unchanged are taken as they are, and all are kept.
    Planner(const Tree &tree, const Metrics &metrics, std::vector<double> heights, PlanArena &arena,
            std::vector<std::vector<Plan>> &candidates, PlacementMemo::State *memo)
        : m_tree(tree), m_m(metrics), m_arena(arena), m_heights(std::move(heights)), m_candidates(candidates),
          m_memo(memo)
    {
    }

    Placement run();

private:
    std::vector<Plan> buildPlans(uint32_t position);
    std::vector<Plan> bases(uint32_t position, double height, const std::vector<uint32_t> &assistants);
    std::vector<std::vector<uint32_t>> combinations(const std::vector<uint32_t> &siblings);
    std::vector<Plan> chosen(const std::vector<uint32_t> &siblings, const std::vector<uint32_t> &choice) const;
    Plan pack(const std::vector<Plan> &plans, std::vector<double> *shifts = nullptr, double *normalization = nullptr);
    Box measuredPack(const std::vector<const Plan *> &plans, std::vector<double> &shifts, double &normalization);
    std::vector<size_t> alternatives(const std::vector<Extent> &extents);
    void alternatives(const std::vector<Extent> &extents, std::vector<size_t> &kept);

    void listArrangements(uint32_t combination, const std::vector<Plan> &plans, const std::vector<uint32_t> &regular,
                          std::vector<Arrangement> &out) const;
    std::vector<uint32_t> stackShape(const std::vector<uint32_t> &regular, size_t perStack) const;
    void makeStacks(const std::vector<uint32_t> &regular);
    Block block(const Arrangement &arrangement, const std::vector<Plan> &plans, const std::vector<uint32_t> &regular,
                Pass pass);
    Block sideColumns(const std::vector<Plan> &plans, const std::vector<uint32_t> &regular, Pass pass);
    Block rowWrap(const std::vector<uint32_t> &rowLengths, const std::vector<Plan> &plans, Pass pass);
    Block stacks(const Stacks &layout, const std::vector<Plan> &plans, const std::vector<uint32_t> &regular,
                 Pass pass);
    Plan hang(const Plan &base, const Block &block, uint32_t manager);
    Extent hungExtent(const Plan &base, const Block &block) const;

    size_t withReports(const std::vector<uint32_t> &children) const
    {
        return std::count_if(children.begin(), children.end(), [&](uint32_t c) { return m_tree.hasReports(c); });
    }

    bool unchanged(uint32_t position) const;
    void remember(uint32_t position);

    const Tree &m_tree;
    const Metrics &m_m;
    PlanArena &m_arena;
    std::vector<double> m_heights;                // effective card height by position
    std::vector<std::vector<Plan>> &m_candidates; // by position; without a memo freed once the parent is done
    PlacementMemo::State *m_memo;
    std::vector<Stacks> m_stacks;                // of the manager being planned, by stack size - 1
    std::vector<double> m_scores;                // scratch of alternatives()
    std::vector<size_t> m_order, m_rankBuffer;   // scratch of alternatives()
    std::vector<const Plan *> m_groups;          // scratch of stacks()
    std::vector<double> m_shifts;                // scratch of stacks()
};

std::vector<size_t> Planner::alternatives(const std::vector<Extent> &extents)
{
    std::vector<size_t> kept;
    alternatives(extents, kept);
    return kept;
}

void Planner::alternatives(const std::vector<Extent> &extents, std::vector<size_t> &kept)
{
    m_scores.clear();
    for (const Extent &e : extents)
        m_scores.push_back(score(m_m, e.first, e.second));
    ranked(m_scores, m_order, m_rankBuffer);
    kept.clear();
    if (!m_m.pageBalanced) {
        if (!m_order.empty())
            kept.push_back(m_order.front());
        return;
    }
    for (size_t i : m_order) {
        const bool seen = std::any_of(kept.begin(), kept.end(), [&](size_t k) { return extents[k] == extents[i]; });
        if (seen)
            continue;
        kept.push_back(i);
        if (kept.size() == 8)
            break;
    }
}

std::vector<Plan> Planner::chosen(const std::vector<uint32_t> &siblings, const std::vector<uint32_t> &choice) const
{
    std::vector<Plan> plans;
    plans.reserve(siblings.size());
    for (size_t i = 0; i < siblings.size(); ++i)
        plans.push_back(m_candidates[siblings[i]][choice[i]]);
    return plans;
}

// The bounds pack() gives, with the same shifts and normalization, made without nodes or
// a left profile.
Box Planner::measuredPack(const std::vector<const Plan *> &plans, std::vector<double> &shifts, double &normalization)
{
    Box bounds;
    Profile right;
    for (size_t i = 0; i < plans.size(); ++i) {
        const Plan &plan = *plans[i];
        const double shift = i == 0 ? 0 : m_arena.packShift(right, plan.left, m_m.spacing, m_m.lane);
        shifts.push_back(shift);
        bounds.add(plan.bounds.shifted(shift, 0));
        if (i + 1 < plans.size()) {
            Profile moved = plan.right;
            moved.dx += shift;
            moved.dy += 0;
            right = m_arena.merge(right, moved, true);
        }
    }
    normalization = bounds.x0 < 0 ? -bounds.x0 : 0;
    return normalization != 0 ? bounds.shifted(normalization, 0) : bounds;
}

Plan Planner::pack(const std::vector<Plan> &plans, std::vector<double> *shifts, double *normalization)
{
    std::vector<Plan> placed;
    placed.reserve(plans.size());
    Profile left, right;
    for (const Plan &next : plans) {
        const double shift = placed.empty() ? 0 : m_arena.packShift(right, next.left, m_m.spacing, m_m.lane);
        if (shifts)
            shifts->push_back(shift);
        placed.push_back(PlanArena::shifted(next, shift, 0));
        left = m_arena.merge(left, placed.back().left, false);
        right = m_arena.merge(right, placed.back().right, true);
    }
    const Plan packed = m_arena.group(placed, left, right);
    const double move = packed.bounds.x0 < 0 ? -packed.bounds.x0 : 0;
    if (normalization)
        *normalization = move;
    return move != 0 ? PlanArena::shifted(packed, move, 0) : packed;
}

// Page-balanced: the best few choices of one candidate per sibling, each judged by the
// siblings packed side by side. Prefixes are packed once and extended by one sibling at a
// time instead of being packed again from the start.
std::vector<std::vector<uint32_t>> Planner::combinations(const std::vector<uint32_t> &siblings)
{
    if (!m_m.pageBalanced)
        return {std::vector<uint32_t>(siblings.size(), 0)};

    struct Link {
        int32_t parent;
        uint32_t choice;
    };
    // A packed prefix: only what ranking it and packing the next sibling need.
    struct State {
        int32_t link = noIndex;
        Box bounds; // empty before the first sibling
        Profile right;
    };
    std::vector<Link> links;
    std::vector<State> states(1), next;
    std::vector<Extent> extents;
    std::vector<size_t> kept;
    const PlanArena::Mark mark = m_arena.mark();
    for (uint32_t sibling : siblings) {
        const std::vector<Plan> &options = m_candidates[sibling];
        next.clear();
        extents.clear();
        for (const State &state : states) {
            for (uint32_t o = 0; o < options.size(); ++o) {
                links.push_back({state.link, o});
                State packed{static_cast<int32_t>(links.size() - 1), options[o].bounds, options[o].right};
                if (!state.bounds.isEmpty()) {
                    const double shift = m_arena.packShift(state.right, options[o].left, m_m.spacing, m_m.lane);
                    const Plan moved = PlanArena::shifted(options[o], shift, 0);
                    packed.bounds = state.bounds;
                    packed.bounds.add(moved.bounds);
                    packed.right = m_arena.merge(state.right, moved.right, true);
                }
                next.push_back(packed);
                extents.push_back({packed.bounds.width(), packed.bounds.height()});
            }
        }
        alternatives(extents, kept);
        states.clear();
        for (size_t i : kept)
            states.push_back(next[i]);
    }
    m_arena.rollback(mark);

    std::vector<std::vector<uint32_t>> result;
    for (const State &state : states) {
        std::vector<uint32_t> choice(siblings.size());
        size_t i = siblings.size();
        for (int32_t link = state.link; link != noIndex; link = links[link].parent)
            choice[--i] = links[link].choice;
        result.push_back(std::move(choice));
    }
    return result;
}

std::vector<Plan> Planner::bases(uint32_t position, double h, const std::vector<uint32_t> &assistants)
{
    const double W = m_m.cardWidth, s = m_m.spacing;
    std::vector<Plan> result;
    for (const std::vector<uint32_t> &choice : combinations(assistants)) {
        const std::vector<Plan> plans = chosen(assistants, choice);
        const Plan root = m_arena.card(position, Rect::make(0, 0, W, h), false);
        if (plans.empty()) {
            result.push_back(root);
            continue;
        }
        auto withRoot = [&](std::initializer_list<Plan> parts) {
            std::vector<Plan> all{root};
            all.insert(all.end(), parts);
            Plan base = m_arena.group(all);
            base.card = root.card;
            return base;
        };
        if (m_m.pageBalanced && plans.size() >= 2) {
            std::vector<Plan> evens, odds;
            for (size_t i = 0; i < plans.size(); ++i)
                (i % 2 == 0 ? evens : odds).push_back(plans[i]);
            const Plan even = pack(evens), odd = pack(odds);
            result.push_back(withRoot({PlanArena::shifted(even, -s - even.bounds.x1, h / 2),
                                       PlanArena::shifted(odd, W + s - odd.bounds.x0, h / 2)}));
        } else if (m_m.pageBalanced) {
            result.push_back(withRoot({PlanArena::shifted(plans[0], -s - plans[0].bounds.x1, h / 2)}));
        }
        const Plan all = pack(plans);
        result.push_back(withRoot({PlanArena::shifted(all, W + s - all.bounds.x0, h / 2)}));
    }
    return result;
}

std::vector<uint32_t> Planner::stackShape(const std::vector<uint32_t> &regular, size_t c) const
{
    const size_t n = regular.size();
    const bool balanced = m_m.pageBalanced && withReports(regular) == 0;
    const size_t stackCount = (n + c - 1) / c;
    const size_t base = n / stackCount;
    const size_t larger = n - base * stackCount;
    std::vector<uint32_t> shape;
    size_t stacksMade = 0;
    for (size_t i = 0; i < n;) {
        if (c == 1 || m_tree.hasReports(regular[i])) {
            shape.push_back(0);
            ++i;
            continue;
        }
        const size_t quota = balanced ? (stacksMade < larger ? base + 1 : base) : c;
        uint32_t cards = 0;
        do {
            ++cards;
            ++i;
        } while (cards < quota && i < n && !m_tree.hasReports(regular[i]));
        shape.push_back(cards);
        ++stacksMade;
    }
    return shape;
}

void Planner::listArrangements(uint32_t combination, const std::vector<Plan> &plans,
                               const std::vector<uint32_t> &regular, std::vector<Arrangement> &out) const
{
    const size_t n = regular.size();
    const size_t reporting = withReports(regular);
    if (m_m.pageBalanced && n >= 2 && reporting == 1)
        out.push_back({Arrangement::Kind::sideColumns, combination, 0, {}});

    if (m_m.pageBalanced && reporting >= 2 && n >= 3) {
        const double s = m_m.spacing, L = m_m.lane;
        double widest = 0, sum = 0;
        for (const Plan &plan : plans) {
            widest = std::max(widest, plan.bounds.width());
            sum += plan.bounds.width() + s + L;
        }
        const double range = sum - s - L - widest;
        std::vector<std::vector<uint32_t>> used;
        for (int k = 0; k <= 16; ++k) {
            const double limit = widest + range * k * 0.0625;
            std::vector<uint32_t> lengths;
            double rowWidth = 0;
            for (const Plan &plan : plans) {
                const double w = plan.bounds.width();
                if (!lengths.empty() && limit + 0.001 < rowWidth + s + L + w) {
                    lengths.push_back(1);
                    rowWidth = w;
                    continue;
                }
                if (lengths.empty()) {
                    lengths.push_back(1);
                    rowWidth = w;
                } else {
                    ++lengths.back();
                    rowWidth += w + s + L;
                }
            }
            if (lengths.size() == 1 || std::find(used.begin(), used.end(), lengths) != used.end())
                continue;
            used.push_back(lengths);
            out.push_back({Arrangement::Kind::rowWrap, combination, 0, std::move(lengths)});
        }
    }

    for (uint32_t c = 0; c < m_stacks.size(); ++c)
        out.push_back({Arrangement::Kind::stacks, combination, c, {}});
}

void Planner::makeStacks(const std::vector<uint32_t> &regular)
{
    const double L = m_m.lane, s = m_m.spacing, W = m_m.cardWidth;
    const size_t maxPerStack = std::min(regular.size(), size_t(m_m.pageBalanced ? 8 : 4));
    m_stacks.resize(maxPerStack);
    std::vector<std::pair<uint32_t, Rect>> column;
    for (size_t c = 1; c <= maxPerStack; ++c) {
        Stacks &layout = m_stacks[c - 1];
        layout.shape = stackShape(regular, c);
        layout.columns.clear();
        layout.group.assign(regular.size(), 0);
        layout.card.assign(regular.size(), Rect{});
        layout.sameAs = static_cast<uint32_t>(c - 1);
        for (uint32_t earlier = 0; earlier < c - 1; ++earlier) {
            if (m_stacks[earlier].shape == layout.shape) {
                layout.sameAs = earlier;
                break;
            }
        }
        if (layout.sameAs != c - 1) {
            layout.columns = m_stacks[layout.sameAs].columns;
            layout.group = m_stacks[layout.sameAs].group;
            layout.card = m_stacks[layout.sameAs].card;
            continue;
        }
        size_t i = 0;
        for (uint32_t cards : layout.shape) {
            const auto group = static_cast<uint32_t>(layout.columns.size());
            if (cards == 0) {
                layout.group[i++] = group;
                layout.columns.emplace_back();
                continue;
            }
            column.clear();
            double y = 0;
            for (uint32_t j = 0; j < cards; ++j, ++i) {
                // A stacked child has no reports, so its one candidate is its card alone.
                const Rect frame = Rect::make(L, y, W, m_candidates[regular[i]].front().card.height());
                column.push_back({regular[i], frame});
                layout.group[i] = group;
                layout.card[i] = frame;
                y = frame.maxY() + s;
            }
            layout.columns.push_back(m_arena.column(column, true));
        }
    }
}

Block Planner::block(const Arrangement &arrangement, const std::vector<Plan> &plans,
                     const std::vector<uint32_t> &regular, Pass pass)
{
    switch (arrangement.kind) {
    case Arrangement::Kind::sideColumns: return sideColumns(plans, regular, pass);
    case Arrangement::Kind::rowWrap: return rowWrap(arrangement.shape, plans, pass);
    case Arrangement::Kind::stacks: break;
    }
    return stacks(m_stacks[arrangement.stacks], plans, regular, pass);
}

// The leaf children in two columns beside the card of the one child with reports, whose
// subtree drops below the columns where they would come too close.
Block Planner::sideColumns(const std::vector<Plan> &plans, const std::vector<uint32_t> &regular, Pass pass)
{
    const double W = m_m.cardWidth, s = m_m.spacing, L = m_m.lane;
    size_t x = 0;
    while (!m_tree.hasReports(regular[x]))
        ++x;
    const Rect R = plans[x].card;
    std::vector<std::pair<uint32_t, Rect>> left, right;
    double leftY = 0, rightY = 0;
    for (size_t i = 0; i < regular.size(); ++i) {
        if (i == x)
            continue;
        const double h = plans[i].card.height();
        if (right.size() < left.size()) {
            right.push_back({regular[i], Rect::make(R.maxX() + s + L, rightY, W, h)});
            rightY = right.back().second.maxY() + s;
        } else {
            left.push_back({regular[i], Rect::make(R.minX() - s - W, leftY, W, h)});
            leftY = left.back().second.maxY() + s;
        }
    }
    double drop = 0;
    for (const auto *column : {&left, &right}) {
        if (column->empty())
            continue;
        const Rect &f = column->back().second; // the lowest card decides
        const double top = m_arena.minTop(plans[x], f.minX(), f.maxX() + s, s);
        if (std::isfinite(top))
            drop = std::max(drop, f.maxY() + s - top);
    }
    const Plan moved = PlanArena::shifted(plans[x], 0, drop);
    if (pass == Pass::measure) {
        Block measured{{}, R.midX(), {}};
        for (const auto *column : {&left, &right}) {
            for (const auto &[position, frame] : *column)
                measured.plan.bounds.add(Box::of(frame));
        }
        measured.plan.bounds.add(moved.bounds);
        return measured;
    }
    std::vector<Plan> parts;
    if (!left.empty())
        parts.push_back(m_arena.column(left, true));
    if (!right.empty())
        parts.push_back(m_arena.column(right, true));
    parts.push_back(moved);
    return {m_arena.group(parts), R.midX(), {}};
}

Block Planner::rowWrap(const std::vector<uint32_t> &rowLengths, const std::vector<Plan> &plans, Pass pass)
{
    const double s = m_m.spacing, L = m_m.lane;
    Block result;
    std::vector<Plan> parts;
    double top = 0;
    size_t i = 0;
    for (uint32_t length : rowLengths) {
        Block::Row row{top, {}};
        double x = s + L, tallest = 0;
        for (uint32_t j = 0; j < length; ++j, ++i) {
            const Plan &plan = plans[i];
            if (pass == Pass::measure) {
                const Box moved = plan.bounds.shifted(x - plan.bounds.x0, top - plan.bounds.y0);
                result.plan.bounds.add(moved);
                x = moved.x1 + s + L;
            } else {
                const Plan moved = PlanArena::shifted(plan, x - plan.bounds.x0, top - plan.bounds.y0);
                parts.push_back(moved);
                row.cards.push_back(moved.card);
                x = moved.bounds.x1 + s + L;
            }
            tallest = std::max(tallest, plan.bounds.height());
        }
        result.rows.push_back(std::move(row));
        top = top + m_m.levelGap + tallest;
    }
    if (pass == Pass::build)
        result.plan = m_arena.group(parts);
    result.centre = result.plan.bounds.x0 + result.plan.bounds.width() / 2;
    return result;
}

Block Planner::stacks(const Stacks &layout, const std::vector<Plan> &plans, const std::vector<uint32_t> &regular,
                      Pass pass)
{
    std::vector<const Plan *> &groups = m_groups;
    groups.clear();
    size_t i = 0;
    for (size_t g = 0; g < layout.shape.size(); ++g) {
        const uint32_t cards = layout.shape[g];
        groups.push_back(cards == 0 ? &plans[i] : &layout.columns[g]);
        i += cards == 0 ? 1 : cards;
    }
    std::vector<double> &shifts = m_shifts;
    shifts.clear();
    double normalization = 0;
    Plan packed;
    if (pass == Pass::measure) {
        packed.bounds = measuredPack(groups, shifts, normalization);
    } else {
        std::vector<Plan> parts;
        parts.reserve(groups.size());
        for (const Plan *group : groups)
            parts.push_back(*group);
        packed = pack(parts, &shifts, &normalization);
    }
    // A child's card within its group, moved as the pack moved the group.
    auto cardMidX = [&](size_t child) {
        const uint32_t group = layout.group[child];
        const Rect &frame = layout.shape[group] == 0 ? plans[child].card : layout.card[child];
        return frame.offsetBy(shifts[group], 0).offsetBy(normalization, 0).midX();
    };

    double centre;
    if (m_m.pageBalanced && withReports(regular) == 1) {
        size_t only = 0;
        while (!m_tree.hasReports(regular[only]))
            ++only;
        centre = cardMidX(only);
    } else {
        centre = (cardMidX(0) + cardMidX(regular.size() - 1)) / 2;
    }
    return {packed, centre, {}};
}

// The fixed routes of a row-wrap arrangement: down from the manager to a trunk at x = 0
// that feeds one bus per row. `d` is how far the rows were moved down.
std::vector<ChartSegment> rowRoutes(const Block &block, double c, double h, double d, double levelGap)
{
    const double first = d + block.rows.front().top - levelGap / 2;
    const double last = d + block.rows.back().top - levelGap / 2;
    std::vector<ChartSegment> routes;
    auto add = [&](Point a, Point b) {
        if (!(a == b))
            routes.push_back({a, b});
    };
    add({c, h}, {c, first});
    if (c != 0)
        routes.push_back({{0, first}, {c, first}});
    add({0, first}, {0, last});
    for (const Block::Row &row : block.rows) {
        const double bus = d + row.top - levelGap / 2;
        double xMax = row.cards.front().midX();
        for (const Rect &card : row.cards)
            xMax = std::max(xMax, card.midX());
        if (xMax != 0)
            routes.push_back({{0, bus}, {xMax, bus}});
        for (const Rect &card : row.cards) {
            const Rect moved = card.offsetBy(0, d);
            add({moved.midX(), bus}, {moved.midX(), moved.minY()});
        }
    }
    return routes;
}

// Centres the base's card over the block, hangs the block a level gap below the base and
// moves the whole to start at x = 0. A row-wrap block also gets its manager's fixed routes
// and a reservation that keeps the trunk lane free.
Plan Planner::hang(const Plan &base, const Block &block, uint32_t manager)
{
    const double G = m_m.levelGap;
    const Plan A = PlanArena::shifted(base, block.centre - m_m.cardWidth / 2, 0);
    const double d = G + A.bounds.y1;
    Plan hung = m_arena.group({A, PlanArena::shifted(block.plan, 0, d)});
    hung.card = A.card;

    if (!block.rows.empty()) {
        const std::vector<ChartSegment> routes = rowRoutes(block, block.centre, base.card.height(), d, G);
        const double first = d + block.rows.front().top - G / 2;
        const Box &rows = block.plan.bounds;
        const Rect lane = Rect::make(0, first, rows.x1, std::max(d + rows.y1 - first, 1.0));
        hung = m_arena.reserved(hung, hung.bounds.rect().unionWith(lane), manager, routes);
    }
    return PlanArena::shifted(hung, -hung.bounds.x0, 0);
}

// The extent hang() gives, from the bounds alone.
Extent Planner::hungExtent(const Plan &base, const Block &block) const
{
    const double G = m_m.levelGap;
    const Plan A = PlanArena::shifted(base, block.centre - m_m.cardWidth / 2, 0);
    const double d = G + A.bounds.y1;
    Box hung = A.bounds;
    hung.add(block.plan.bounds.shifted(0, d));
    if (!block.rows.empty()) {
        const double first = d + block.rows.front().top - G / 2;
        const Box &rows = block.plan.bounds;
        const Rect lane = Rect::make(0, first, rows.x1, std::max(d + rows.y1 - first, 1.0));
        hung.add(Box::of(hung.rect().unionWith(lane)));
    }
    const Box moved = hung.shifted(-hung.x0, 0);
    return {moved.width(), moved.height()};
}

std::vector<Plan> Planner::buildPlans(uint32_t position)
{
    if (m_tree.children[position].empty()) {
        const Rect card = Rect::make(0, 0, m_m.cardWidth, m_heights[position]);
        return {m_arena.card(position, card, false)};
    }
    std::vector<uint32_t> assistants, regular;
    for (uint32_t child : m_tree.children[position])
        (m_tree.isAssistant[child] ? assistants : regular).push_back(child);

    const std::vector<Plan> baseList = bases(position, m_heights[position], assistants);
    if (regular.empty()) {
        std::vector<Extent> extents;
        for (const Plan &base : baseList)
            extents.push_back(extentOf(base));
        std::vector<Plan> result;
        for (size_t i : alternatives(extents))
            result.push_back(baseList[i]);
        return result;
    }

    const std::vector<std::vector<uint32_t>> choices = combinations(regular);
    makeStacks(regular);
    std::vector<Arrangement> arrangements;
    struct Entry {
        size_t arrangement;
        size_t base;
    };
    std::vector<Entry> entries;
    std::vector<Extent> extents;
    // Each arrangement is measured under every base and then dropped from the arena; only
    // the winners are built again to be kept.
    for (uint32_t combination = 0; combination < choices.size(); ++combination) {
        const std::vector<Plan> plans = chosen(regular, choices[combination]);
        const size_t firstOfCombination = arrangements.size();
        listArrangements(combination, plans, regular, arrangements);
        for (size_t a = firstOfCombination; a < arrangements.size(); ++a) {
            // Stack sizes that group the children alike build the same plan again.
            const Arrangement &arrangement = arrangements[a];
            if (arrangement.kind == Arrangement::Kind::stacks &&
                m_stacks[arrangement.stacks].sameAs != arrangement.stacks) {
                const size_t back = arrangement.stacks - m_stacks[arrangement.stacks].sameAs;
                const size_t firstEntry = entries.size() - back * baseList.size();
                for (size_t b = 0; b < baseList.size(); ++b) {
                    entries.push_back({a, b});
                    extents.push_back(extents[firstEntry + b]);
                }
                continue;
            }
            const PlanArena::Mark mark = m_arena.mark();
            const Block children = block(arrangements[a], plans, regular, Pass::measure);
            for (size_t b = 0; b < baseList.size(); ++b) {
                entries.push_back({a, b});
                extents.push_back(hungExtent(baseList[b], children));
            }
            m_arena.rollback(mark);
        }
    }

    std::vector<Plan> result;
    for (size_t i : alternatives(extents)) {
        const Arrangement &arrangement = arrangements[entries[i].arrangement];
        const std::vector<Plan> plans = chosen(regular, choices[arrangement.combination]);
        result.push_back(
            hang(baseList[entries[i].base], block(arrangement, plans, regular, Pass::build), position));
    }
    return result;
}

class PlacementCollector : public PlanArena::Visitor {
public:
    explicit PlacementCollector(size_t count)
    {
        placement.frames.resize(count);
        placement.sideEntries.resize(count);
        placement.regularRoutes.resize(count);
    }
    void card(uint32_t position, const Rect &frame, bool sideEntry) override
    {
        placement.frames[position] = frame;
        placement.sideEntries[position] = sideEntry;
        placement.bounds = placement.bounds.unionWith(frame);
    }
    void reservation(const Rect &frame) override { placement.bounds = placement.bounds.unionWith(frame); }
    void routes(uint32_t manager, const ChartSegment *segments, size_t count, double dx, double dy) override
    {
        std::vector<ChartSegment> moved;
        moved.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            moved.push_back({{segments[i].start.x + dx, segments[i].start.y + dy},
                             {segments[i].end.x + dx, segments[i].end.y + dy}});
        }
        placement.regularRoutes[manager] = std::move(moved);
    }

    Placement placement;
};

Placement Planner::run()
{
    // Children before their managers, without recursion: reverse breadth-first order.
    std::vector<uint32_t> order(m_tree.roots.begin(), m_tree.roots.end());
    for (size_t i = 0; i < order.size(); ++i) {
        for (uint32_t child : m_tree.children[order[i]])
            order.push_back(child);
    }
    for (size_t i = order.size(); i-- > 0;) {
        const uint32_t position = order[i];
        if (m_memo && unchanged(position))
            continue;
        m_candidates[position] = buildPlans(position);
        if (m_memo) {
            remember(position);
            continue;
        }
        for (uint32_t child : m_tree.children[position])
            std::vector<Plan>().swap(m_candidates[child]);
    }

    PlacementCollector collector(m_heights.size());
    if (m_tree.roots.empty())
        return collector.placement;
    std::vector<Plan> packed;
    std::vector<Extent> extents;
    for (const std::vector<uint32_t> &choice : combinations(m_tree.roots)) {
        packed.push_back(pack(chosen(m_tree.roots, choice)));
        extents.push_back(extentOf(packed.back()));
    }
    const Plan &best = packed[alternatives(extents).front()];
    m_arena.visit(best, m_m.margin, m_m.margin, collector);
    return collector.placement;
}

bool Planner::unchanged(uint32_t position) const
{
    const SubtreeKey &key = m_memo->keys[position];
    const std::vector<uint32_t> &children = m_tree.children[position];
    if (key.version == 0 || key.height != m_heights[position] || key.children.size() != children.size())
        return false;
    for (size_t i = 0; i < children.size(); ++i) {
        const uint32_t child = children[i];
        const SubtreeKey::Child now{child, m_tree.isAssistant[child], m_memo->keys[child].version};
        if (!(key.children[i] == now))
            return false;
    }
    return true;
}

void Planner::remember(uint32_t position)
{
    SubtreeKey &key = m_memo->keys[position];
    key.version = ++m_memo->versions;
    key.height = m_heights[position];
    key.children.clear();
    for (uint32_t child : m_tree.children[position])
        key.children.push_back({child, m_tree.isAssistant[child], m_memo->keys[child].version});
}

} // namespace

Placement place(const Organization &organization, const Tree &tree, const Metrics &metrics)
{
    const size_t count = organization.positions.size();
    PlanArena arena(metrics.spacing / 2);
    arena.reserve(count);
    std::vector<std::vector<Plan>> candidates(count);
    std::vector<double> heights;
    heights.reserve(count);
    for (const Position &p : organization.positions)
        heights.push_back(metrics.effectiveHeight(p));
    return Planner(tree, metrics, std::move(heights), arena, candidates, nullptr).run();
}

PlacementMemo::PlacementMemo() = default;
PlacementMemo::~PlacementMemo() = default;

const std::vector<uint32_t> &PlacementMemo::byID() const
{
    static const std::vector<uint32_t> none;
    return m_state ? m_state->byID : none;
}

Placement PlacementMemo::place(const Organization &organization, const Tree &tree, const Metrics &metrics,
                               const std::vector<double> &heights)
{
    const auto &positions = organization.positions;
    const size_t count = positions.size();
    // Arrangements replaced by later runs stay in the arena and ids that left keep their
    // slots: start afresh once either has grown well beyond what a fresh run holds.
    const bool stale = m_state && (!(m_state->metrics == metrics) || m_state->slots.size() > 2 * count + 64 ||
                                   m_state->arena.nodeCount() > 2 * m_state->freshNodes + 256);
    if (!m_state || stale)
        m_state = std::make_unique<State>(metrics, count);
    State &state = *m_state;
    const bool fresh = state.keys.empty();

    std::vector<uint32_t> slot(count);
    for (size_t i = 0; i < count; ++i) {
        const auto [found, added] = state.slots.try_emplace(positions[i].id, static_cast<uint32_t>(state.slots.size()));
        if (added)
            state.ids.push_back(&found->first);
        slot[i] = found->second;
    }
    state.orderByID(slot);
    const size_t slots = state.slots.size();
    state.candidates.resize(slots);
    state.keys.resize(slots);

    Tree bySlot;
    bySlot.children.resize(slots);
    bySlot.isAssistant.resize(slots);
    std::vector<double> slotHeights(slots, metrics.cardHeight);
    for (size_t i = 0; i < count; ++i) {
        std::vector<uint32_t> &children = bySlot.children[slot[i]];
        children.reserve(tree.children[i].size());
        for (uint32_t child : tree.children[i])
            children.push_back(slot[child]);
        bySlot.isAssistant[slot[i]] = tree.isAssistant[i];
        slotHeights[slot[i]] = heights[i];
    }
    bySlot.roots.reserve(tree.roots.size());
    for (uint32_t root : tree.roots)
        bySlot.roots.push_back(slot[root]);

    Placement placed =
        Planner(bySlot, metrics, std::move(slotHeights), state.arena, state.candidates, &state).run();
    if (fresh)
        state.freshNodes = state.arena.nodeCount();

    Placement result;
    result.frames.resize(count);
    result.sideEntries.resize(count);
    result.regularRoutes.resize(count);
    for (size_t i = 0; i < count; ++i) {
        result.frames[i] = placed.frames[slot[i]];
        result.sideEntries[i] = placed.sideEntries[slot[i]];
        result.regularRoutes[i] = std::move(placed.regularRoutes[slot[i]]);
    }
    result.bounds = placed.bounds;
    return result;
}

} // namespace ChartLayoutEngine
