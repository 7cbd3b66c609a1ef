#include "chart_layout_reference.h"

#include "core/model/organization.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

using namespace ChartLayoutEngine;

namespace {

struct LayoutPlan {
    std::map<std::string, Rect> frames;
    std::set<std::string> sideEntries;
    std::map<std::string, std::vector<ChartSegment>> regularRoutes;
    std::vector<Rect> reservations;

    LayoutPlan shifted(double dx, double dy) const
    {
        LayoutPlan p = *this;
        for (auto &[id, frame] : p.frames)
            frame = frame.offsetBy(dx, dy);
        for (Rect &r : p.reservations)
            r = r.offsetBy(dx, dy);
        for (auto &[id, route] : p.regularRoutes) {
            for (ChartSegment &s : route)
                s = {{s.start.x + dx, s.start.y + dy}, {s.end.x + dx, s.end.y + dy}};
        }
        return p;
    }
    void append(const LayoutPlan &o)
    {
        for (const auto &[id, frame] : o.frames)
            frames[id] = frame;
        sideEntries.insert(o.sideEntries.begin(), o.sideEntries.end());
        for (const auto &[id, route] : o.regularRoutes)
            regularRoutes[id] = route;
        reservations.insert(reservations.end(), o.reservations.begin(), o.reservations.end());
    }
    std::vector<Rect> rects() const
    {
        std::vector<Rect> all;
        for (const auto &[id, frame] : frames)
            all.push_back(frame);
        all.insert(all.end(), reservations.begin(), reservations.end());
        return all;
    }
    Rect bounds() const
    {
        Rect b = Rect::null();
        for (const Rect &r : rects())
            b = b.unionWith(r);
        return b;
    }
};

class Reference {
public:
    Reference(const Organization &org, const Tree &tree, const Metrics &m) : org(org), tree(tree), m(m)
    {
        for (uint32_t i = 0; i < org.positions.size(); ++i)
            index[org.positions[i].id] = i;
    }

    Placement run()
    {
        std::vector<std::vector<LayoutPlan>> options;
        for (uint32_t root : tree.roots)
            options.push_back(buildPlans(root));
        std::vector<LayoutPlan> packed;
        for (const auto &combination : combinations(options))
            packed.push_back(pack(combination));
        const std::vector<LayoutPlan> ranked = alternatives(packed);
        const LayoutPlan chosen = ranked.empty() ? LayoutPlan{} : ranked.front().shifted(40, 40);

        Placement placement;
        const size_t n = org.positions.size();
        placement.frames.resize(n);
        placement.sideEntries.resize(n);
        placement.regularRoutes.resize(n);
        for (const auto &[id, frame] : chosen.frames)
            placement.frames[index.at(id)] = frame;
        for (const std::string &id : chosen.sideEntries)
            placement.sideEntries[index.at(id)] = true;
        for (const auto &[id, route] : chosen.regularRoutes)
            placement.regularRoutes[index.at(id)] = route;
        placement.bounds = chosen.bounds();
        return placement;
    }

private:
    const std::string &id(uint32_t i) const { return org.positions[i].id; }
    double W() const { return m.cardWidth; }
    double s() const { return m.spacing; }
    double L() const { return m.lane; }
    double G() const { return m.levelGap; }

    double score(const LayoutPlan &p) const
    {
        const Rect b = p.bounds();
        return ChartLayoutEngine::score(m, b.width(), b.height());
    }

    std::vector<size_t> rankedIndices(const std::vector<LayoutPlan> &plans) const
    {
        std::vector<double> scores;
        for (const LayoutPlan &p : plans)
            scores.push_back(score(p));
        return ranked(scores);
    }

    std::vector<size_t> dedupedIndices(const std::vector<LayoutPlan> &plans) const
    {
        const std::vector<size_t> order = rankedIndices(plans);
        if (!m.pageBalanced)
            return order.empty() ? order : std::vector<size_t>{order.front()};
        std::set<std::pair<double, double>> seen;
        std::vector<size_t> kept;
        for (size_t i : order) {
            const Rect b = plans[i].bounds();
            if (!seen.insert({b.width(), b.height()}).second)
                continue;
            kept.push_back(i);
        }
        if (kept.size() >= 9)
            kept.resize(8);
        return kept;
    }

    std::vector<LayoutPlan> alternatives(const std::vector<LayoutPlan> &plans) const
    {
        std::vector<LayoutPlan> result;
        for (size_t i : dedupedIndices(plans))
            result.push_back(plans[i]);
        return result;
    }

    LayoutPlan pack(const std::vector<LayoutPlan> &plans) const
    {
        LayoutPlan result;
        for (const LayoutPlan &P : plans) {
            double shift = 0;
            if (!result.frames.empty()) {
                bool any = false;
                for (const Rect &o : result.rects()) {
                    for (const Rect &q : P.rects()) {
                        if (q.minY() < o.maxY() + s() && o.minY() < q.maxY() + s()) {
                            const double needed = o.maxX() + s() + L() - q.minX();
                            shift = any ? std::max(shift, needed) : needed;
                            any = true;
                        }
                    }
                }
            }
            result.append(P.shifted(shift, 0));
        }
        if (!result.frames.empty() && result.bounds().minX() < 0)
            result = result.shifted(-result.bounds().minX(), 0);
        return result;
    }

    std::vector<std::vector<LayoutPlan>> combinations(const std::vector<std::vector<LayoutPlan>> &options) const
    {
        std::vector<std::vector<LayoutPlan>> partial{{}};
        for (const auto &candidates : options) {
            std::vector<std::vector<LayoutPlan>> next;
            for (const auto &c : partial) {
                for (const LayoutPlan &o : candidates) {
                    next.push_back(c);
                    next.back().push_back(o);
                }
            }
            if (!m.pageBalanced) {
                partial = {next.front()};
                continue;
            }
            std::vector<LayoutPlan> packed;
            for (const auto &c : next)
                packed.push_back(pack(c));
            partial.clear();
            for (size_t i : dedupedIndices(packed))
                partial.push_back(next[i]);
        }
        return partial;
    }

    LayoutPlan hang(LayoutPlan base, const LayoutPlan &block, double c) const
    {
        LayoutPlan result = base.shifted(c - W() / 2, 0);
        result.append(block.shifted(0, G() + result.bounds().maxY()));
        return result;
    }

    LayoutPlan toZero(const LayoutPlan &p) const { return p.shifted(-p.bounds().minX(), 0); }

    Rect cardIn(const LayoutPlan &plan, uint32_t child) const
    {
        auto found = plan.frames.find(id(child));
        return found == plan.frames.end() ? Rect::make(0, 0, W(), m.cardHeight) : found->second;
    }

    std::vector<LayoutPlan> buildPlans(uint32_t p)
    {
        const double h = m.effectiveHeight(org.positions[p]);
        std::vector<uint32_t> assistants, regular;
        for (uint32_t c : tree.children[p])
            (tree.isAssistant[c] ? assistants : regular).push_back(c);
        std::vector<std::vector<LayoutPlan>> assistantOptions, regularOptions;
        for (uint32_t c : regular)
            regularOptions.push_back(buildPlans(c));
        for (uint32_t c : assistants)
            assistantOptions.push_back(buildPlans(c));

        std::vector<LayoutPlan> bases;
        for (const auto &combination : combinations(assistantOptions)) {
            LayoutPlan root;
            root.frames[id(p)] = Rect::make(0, 0, W(), h);
            if (combination.empty()) {
                bases.push_back(root);
                continue;
            }
            if (m.pageBalanced && combination.size() >= 2) {
                std::vector<LayoutPlan> evens, odds;
                for (size_t i = 0; i < combination.size(); ++i)
                    (i % 2 == 0 ? evens : odds).push_back(combination[i]);
                const LayoutPlan even = pack(evens), odd = pack(odds);
                LayoutPlan base = root;
                base.append(even.shifted(-s() - even.bounds().maxX(), h / 2));
                base.append(odd.shifted(W() + s() - odd.bounds().minX(), h / 2));
                bases.push_back(base);
            } else if (m.pageBalanced) {
                LayoutPlan base = root;
                base.append(combination[0].shifted(-s() - combination[0].bounds().maxX(), h / 2));
                bases.push_back(base);
            }
            const LayoutPlan all = pack(combination);
            LayoutPlan base = root;
            base.append(all.shifted(W() + s() - all.bounds().minX(), h / 2));
            bases.push_back(base);
        }
        if (regular.empty())
            return alternatives(bases);

        const size_t n = regular.size();
        size_t reporting = 0;
        for (uint32_t c : regular)
            reporting += tree.hasReports(c) ? 1 : 0;

        std::vector<LayoutPlan> result;
        for (const auto &combination : combinations(regularOptions)) {
            if (m.pageBalanced && n >= 2 && reporting == 1)
                sideColumns(p, regular, combination, bases, result);
            if (m.pageBalanced && reporting >= 2 && n >= 3)
                rowWrap(p, h, combination, bases, result);
            stacks(regular, combination, reporting, bases, result);
        }
        return alternatives(result);
    }

    void sideColumns(uint32_t, const std::vector<uint32_t> &regular, const std::vector<LayoutPlan> &combination,
                     const std::vector<LayoutPlan> &bases, std::vector<LayoutPlan> &result)
    {
        size_t x = 0;
        while (!tree.hasReports(regular[x]))
            ++x;
        const LayoutPlan &X = combination[x];
        const Rect R = cardIn(X, regular[x]);
        LayoutPlan columns;
        std::vector<Rect> columnCards;
        int leftCount = 0, rightCount = 0;
        double leftY = 0, rightY = 0;
        for (size_t i = 0; i < regular.size(); ++i) {
            if (i == x)
                continue;
            const double height = cardIn(combination[i], regular[i]).height();
            Rect card;
            if (rightCount < leftCount) {
                card = Rect::make(R.maxX() + s() + L(), rightY, W(), height);
                rightY = card.maxY() + s();
                ++rightCount;
            } else {
                card = Rect::make(R.minX() - s() - W(), leftY, W(), height);
                leftY = card.maxY() + s();
                ++leftCount;
            }
            columns.frames[id(regular[i])] = card;
            columns.sideEntries.insert(id(regular[i]));
            columnCards.push_back(card);
        }
        double d = 0;
        for (const Rect &f : columnCards) {
            for (const Rect &q : X.rects()) {
                if (q.minX() < f.maxX() + s() && f.minX() < q.maxX() + s())
                    d = std::max(d, f.maxY() + s() - q.minY());
            }
        }
        LayoutPlan block = columns;
        block.append(X.shifted(0, d));
        for (const LayoutPlan &base : bases)
            result.push_back(toZero(hang(base, block, R.midX())));
    }

    void rowWrap(uint32_t p, double h, const std::vector<LayoutPlan> &combination,
                 const std::vector<LayoutPlan> &bases, std::vector<LayoutPlan> &result)
    {
        std::vector<double> w;
        double m_ = 0, sum = 0;
        for (const LayoutPlan &plan : combination) {
            w.push_back(plan.bounds().width());
            m_ = std::max(m_, w.back());
            sum += w.back() + s() + L();
        }
        const double range = sum - s() - L() - m_;
        std::set<std::vector<size_t>> used;
        for (int k = 0; k <= 16; ++k) {
            const double limit = m_ + range * k * 0.0625;
            std::vector<std::vector<size_t>> rows;
            double rowWidth = 0;
            for (size_t i = 0; i < combination.size(); ++i) {
                if (!rows.empty() && !rows.back().empty() && limit + 0.001 < rowWidth + s() + L() + w[i]) {
                    rows.push_back({i});
                    rowWidth = w[i];
                } else {
                    if (rows.empty())
                        rows.push_back({});
                    rowWidth = rows.back().empty() ? w[i] : rowWidth + w[i] + s() + L();
                    rows.back().push_back(i);
                }
            }
            std::vector<size_t> lengths;
            for (const auto &row : rows)
                lengths.push_back(row.size());
            if (rows.size() == 1 || !used.insert(lengths).second)
                continue;

            LayoutPlan block;
            std::vector<double> tops;
            double top = 0;
            for (const auto &row : rows) {
                tops.push_back(top);
                double x = s() + L(), tallest = 0;
                for (size_t i : row) {
                    const Rect b = combination[i].bounds();
                    const LayoutPlan moved = combination[i].shifted(x - b.minX(), top - b.minY());
                    block.append(moved);
                    x = moved.bounds().maxX() + s() + L();
                    tallest = std::max(tallest, b.height());
                }
                top = top + G() + tallest;
            }
            const Rect blockBounds = block.bounds();
            const double c = blockBounds.midX();
            std::vector<uint32_t> regularChildren;
            for (uint32_t child : tree.children[p]) {
                if (!tree.isAssistant[child])
                    regularChildren.push_back(child);
            }
            for (const LayoutPlan &base : bases) {
                LayoutPlan hung = base.shifted(c - W() / 2, 0);
                const double d = G() + hung.bounds().maxY();
                hung.append(block.shifted(0, d));
                std::vector<ChartSegment> routes;
                auto add = [&](Point a, Point b) {
                    if (!(a == b))
                        routes.push_back({a, b});
                };
                const double first = d + tops.front() - G() / 2, last = d + tops.back() - G() / 2;
                add({c, h}, {c, first});
                if (c != 0)
                    routes.push_back({{0, first}, {c, first}});
                add({0, first}, {0, last});
                for (size_t r = 0; r < rows.size(); ++r) {
                    const double bus = d + tops[r] - G() / 2;
                    std::vector<Point> points;
                    for (size_t i : rows[r]) {
                        const Rect card = hung.frames.at(id(regularChildren[i]));
                        points.push_back({card.midX(), card.minY()});
                    }
                    double xMax = points.front().x;
                    for (const Point &pt : points)
                        xMax = std::max(xMax, pt.x);
                    if (xMax != 0)
                        routes.push_back({{0, bus}, {xMax, bus}});
                    for (const Point &pt : points)
                        add({pt.x, bus}, pt);
                }
                hung.regularRoutes[id(p)] = routes;
                const Rect lane =
                    Rect::make(0, first, blockBounds.maxX(), std::max(d + blockBounds.maxY() - first, 1.0));
                hung.reservations.push_back(hung.bounds().unionWith(lane));
                result.push_back(toZero(hung));
            }
        }
    }

    void stacks(const std::vector<uint32_t> &regular, const std::vector<LayoutPlan> &combination, size_t reporting,
                const std::vector<LayoutPlan> &bases, std::vector<LayoutPlan> &result)
    {
        const size_t n = regular.size();
        const bool balanced = m.pageBalanced && reporting == 0;
        for (size_t c = 1; c <= std::min(n, size_t(m.pageBalanced ? 8 : 4)); ++c) {
            const size_t stackCount = (n + c - 1) / c;
            const size_t base = n / stackCount;
            size_t made = 0;
            std::vector<LayoutPlan> groups;
            for (size_t i = 0; i < n;) {
                if (tree.hasReports(regular[i]) || c == 1) {
                    groups.push_back(combination[i]);
                    ++i;
                    continue;
                }
                const size_t quota = balanced ? (made < n - base * stackCount ? base + 1 : base) : c;
                LayoutPlan stack;
                double y = 0;
                size_t count = 0;
                while (count < quota && i < n && (count == 0 || !tree.hasReports(regular[i]))) {
                    const Rect card = Rect::make(L(), y, W(), cardIn(combination[i], regular[i]).height());
                    stack.frames[id(regular[i])] = card;
                    stack.sideEntries.insert(id(regular[i]));
                    y = card.maxY() + s();
                    ++count;
                    ++i;
                }
                ++made;
                groups.push_back(stack);
            }
            const LayoutPlan packed = pack(groups);
            double centre;
            if (m.pageBalanced && reporting == 1) {
                size_t only = 0;
                while (!tree.hasReports(regular[only]))
                    ++only;
                centre = packed.frames.at(id(regular[only])).midX();
            } else {
                centre = (packed.frames.at(id(regular.front())).midX() + packed.frames.at(id(regular.back())).midX()) /
                         2;
            }
            for (const LayoutPlan &b : bases)
                result.push_back(toZero(hang(b, packed, centre)));
        }
    }

    const Organization &org;
    const Tree &tree;
    const Metrics &m;
    std::unordered_map<std::string, uint32_t> index;
};

} // namespace

namespace ReferenceLayout {

Placement place(const Organization &organization, const Tree &tree, const Metrics &metrics)
{
    return Reference(organization, tree, metrics).run();
}

} // namespace ReferenceLayout
