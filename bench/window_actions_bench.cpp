// The chart window's actions on a 20,000-position district opened from a file, each timed
// from the call the window makes to the end of the repaint that shows its result: single
// edits with their undo and redo, the position editor's save, a click on a card whose
// dotted lines cross the chart, the sidebar's groupings, a
// proposal edit and Lock Current in the planning window, quitting (also while a document is
// still opening or before its first paint), and opening a document
// with 50 versions. While dotted lines route, the longest stretch the main thread's event
// loop could not answer is reported as maxStretchMs, and the share of that time the main
// thread was busy as mainBusyPercent. The district has the dotted lines of a real one:
// about 3,600, many crossing the chart between schools.
#include "app/chart/chart_navigation_surface.h"
#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/chart_window_body.h"
#include "app/chart/window_sheets.h"
#include "app/entry/position_editor.h"
#include "app/entry/position_editor_model.h"
#include "app/planning/planning_workspace.h"
#include "app/planning/planning_workspace_controller.h"
#include "app/planning/proposal_canvas.h"
#include "app/print/chart_print_sheet.h"
#include "app/print/print_sheet_opener.h"
#include "app/shell/document_controller.h"
#include "app/shell/organization_document.h"
#include "app/sidebar/organization_sidebar.h"
#include "bench/app_bench_support.h"
#include "bench/district_generator.h"
#include "core/chart/chart_scene.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <limits>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>

namespace {

using BenchApp::SilentDialogs;

// 20,000 positions unless VANTREL_BENCH_POSITIONS says otherwise (a smaller district routes
// its lines in a fraction of the time, for trying changes out).
int districtSize()
{
    static const int size = [] {
        bool read = false;
        const int asked = qEnvironmentVariableIntValue("VANTREL_BENCH_POSITIONS", &read);
        return read && asked > 0 ? asked : 20000;
    }();
    return size;
}

// How long a window waits for its lines before it is used: unlimited unless
// VANTREL_BENCH_ROUTE_WAIT_S says otherwise (to profile what an edit costs apart from the
// lines without routing for tens of minutes first).
int routeWaitMs()
{
    static const int wait = [] {
        bool read = false;
        const int seconds = qEnvironmentVariableIntValue("VANTREL_BENCH_ROUTE_WAIT_S", &read);
        return read && seconds >= 0 ? seconds * 1000 : std::numeric_limits<int>::max();
    }();
    return wait;
}

// The generated district with about 125 sites, so that every sidebar grouping has groups.
Organization sitedDistrict()
{
    Organization organization = BenchDistrict::plainItinerantDistrict(districtSize());
    for (size_t i = 0; i < organization.positions.size(); ++i)
        organization.positions[i].location = "Site " + std::to_string(i / 160);
    return organization;
}

QTemporaryDir &files()
{
    static QTemporaryDir dir;
    return dir;
}

// The district as a file, written once per program.
QString districtFile()
{
    static const QString path = [] {
        const QString file = files().filePath("district.json");
        OrganizationDocument::writeFile(OrganizationArchive::make("District", sitedDistrict()), file);
        return file;
    }();
    return path;
}

// Clock readings that compare across processes.
double monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Turns a `perf record --control=fifo:CTL,ACK -D -1` on and off around the timed parts and
// what they leave to draw, so that a profile holds only them: VANTREL_BENCH_PERF_CONTROL=CTL,ACK
// names the two fifos.
void perfControl(const char *command)
{
    static const std::optional<std::pair<FILE *, FILE *>> fifos = []() -> std::optional<std::pair<FILE *, FILE *>> {
        const QStringList names = qEnvironmentVariable("VANTREL_BENCH_PERF_CONTROL").split(QLatin1Char(','));
        if (names.size() != 2)
            return std::nullopt;
        FILE *control = std::fopen(names[0].toLocal8Bit().constData(), "w");
        FILE *ack = std::fopen(names[1].toLocal8Bit().constData(), "r");
        if (!control || !ack)
            return std::nullopt;
        return std::pair{control, ack};
    }();
    if (!fifos)
        return;
    std::fprintf(fifos->first, "%s\n", command);
    std::fflush(fifos->first);
    char answer[16];
    std::fgets(answer, sizeof answer, fifos->second);
}

// What a child run of this program does (see main): its name, then an argument.
constexpr const char *childRole = "VANTREL_BENCH_CHILD";
constexpr const char *childArgument = "VANTREL_BENCH_CHILD_ARGUMENT";

// Runs this program as a child in `role` with `argument`; its standard output, or nothing
// when it failed.
std::optional<QByteArray> runChild(const char *role, const QString &argument)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(childRole, role);
    environment.insert(childArgument, argument);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return std::nullopt;
    return child.readAllStandardOutput();
}

// Writes the district with 50 saved versions, each after one edit, to `file`.
void writeVersionedFile(const QString &file)
{
    OrganizationArchive archive = OrganizationArchive::make("District", sitedDistrict());
    std::vector<Position> &positions = archive.organization.positions;
    for (int v = 0; v < 50; ++v) {
        positions[size_t(1 + v * 397) % positions.size()].department = "Edited " + std::to_string(v);
        archive.checkpoint("Before editing Teacher");
    }
    OrganizationDocument::writeFile(archive, file);
}

// That document, written once per program by a child process, so that making it counts
// in no memory figure of this one.
QString versionedFile()
{
    static const QString path = [] {
        const QString file = files().filePath("versions.json");
        if (!runChild("versions", file) || !QFileInfo::exists(file))
            qFatal("the versioned document was not written");
        return file;
    }();
    return path;
}

// Lets posted work run (deferred fits, queued slots), then paints the window at once.
void repaint(QWidget &widget)
{
    QCoreApplication::processEvents();
    widget.repaint();
}

// Lets posted work run, then paints what the window marked as changed, as its next frame
// does: only the parts that need it.
void paintChanges(QWidget &widget)
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(widget.window(), QEvent::UpdateRequest);
    QCoreApplication::processEvents();
}

// A stretch the main thread could not answer input: when it ended, from the start of the
// measurement, how long it was (ms), and how much of it the main thread was on the processor
// (on a busy machine the rest is waiting for one).
struct Stretch {
    double endedMs = 0;
    double ms = 0;
    double cpuMs = 0;
};
constexpr double stretchNoted = 30;

// Runs the event loop until `done` or `limit`, and gives the longest time (ms) between two
// ticks of a 5 ms timer: how long input would have waited, give or take the tick. The loop
// sleeps between events, so that `busyPercent`, when given, gets the share of the time the
// main thread spent on the processor for the window, not for this loop. `noted`, when
// given, gets every stretch longer than stretchNoted.
double longestStretch(const std::function<bool()> &done, int limitMs = 120000, double *busyPercent = nullptr,
                      std::vector<Stretch> *noted = nullptr)
{
    QElapsedTimer clock;
    clock.start();
    const double cpuStart = threadCpuMs();
    qint64 last = clock.elapsed();
    double lastCpu = cpuStart;
    qint64 longest = 0;
    if (!done()) {
        QEventLoop loop;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            const qint64 now = clock.elapsed();
            longest = std::max(longest, now - last);
            const double cpu = threadCpuMs();
            if (noted && double(now - last) > stretchNoted)
                noted->push_back({double(now), double(now - last), cpu - lastCpu});
            lastCpu = cpu;
            last = now;
            if (done() || now >= limitMs)
                loop.quit();
        });
        tick.start(5);
        loop.exec();
    }
    if (busyPercent)
        *busyPercent = 100 * (threadCpuMs() - cpuStart) / std::max(1.0, double(clock.nsecsElapsed()) / 1e6);
    return double(longest);
}

bool routing(const PlanningWorkspace &workspace)
{
    const std::shared_ptr<const ChartScene> &scene = workspace.canvas().surface().scene();
    return scene && scene->routesPending();
}

// A window as the application opens one: made by the controller, the file read into it,
// shown and painted; unless told otherwise, its dotted lines routed before it is used.
struct OpenWindow {
    SilentDialogs dialogs;
    DocumentController controller{dialogs};
    ChartWindow *window = nullptr;

    explicit OpenWindow(bool routed = true)
    {
        window = controller.newDocument();
        window->document()->load(districtFile());
        repaint(*window);
        if (routed)
            settleRoutes();
    }
    ChartView &view() const { return window->view(); }
    OrganizationDocument &document() const { return *window->document(); }
    bool routing() const
    {
        const std::shared_ptr<const ChartScene> scene = view().chartScene();
        return scene && scene->routesPending();
    }
    size_t routedLines() const
    {
        const std::shared_ptr<const ChartScene> scene = view().chartScene();
        return scene ? scene->routes().size() : 0;
    }
    // Waits until every line is routed, however long that takes (at 20,000 positions, tens
    // of minutes on one core) unless routeWaitMs() is shorter, and says how many there are.
    void settleRoutes()
    {
        QElapsedTimer clock;
        clock.start();
        longestStretch([this] { return !routing(); }, routeWaitMs());
        repaint(*window);
        std::fprintf(stderr, "%d positions: %zu dotted lines routed in %.0f s\n", districtSize(), routedLines(),
                     double(clock.elapsed()) / 1e3);
        perfControl("disable");
    }
};

// Lock Current, then a new proposal "Plan" shown in the planning window.
void showProposal(PlanningWorkspaceController &controller)
{
    controller.lockCurrent();
    controller.setProposalName("Plan");
    controller.createProposal();
    controller.setProposalID(controller.proposals().front().id);
}

// Made once and kept to the end: it must not outlive the application object.
OpenWindow &openWindow()
{
    static OpenWindow *made = new OpenWindow;
    return *made;
}

// Whether each timed round is printed (VANTREL_BENCH_ROUNDS=1), to find a round that stands
// out and, by its end time, its samples in a profile recorded with -k CLOCK_MONOTONIC.
bool printRounds()
{
    static const bool print = qEnvironmentVariableIntValue("VANTREL_BENCH_ROUNDS") != 0;
    return print;
}

// Runs the event loop until no chart in `widget` has parts left to draw: a change dear to
// draw is drawn a slice at a time, with pauses between for input.
void drawRest(QWidget &widget)
{
    const QList<ChartNavigationSurface *> surfaces = widget.findChildren<ChartNavigationSurface *>();
    const auto pending = [&] {
        return std::any_of(surfaces.begin(), surfaces.end(),
                           [](const ChartNavigationSurface *surface) { return surface->hasPendingRepaint(); });
    };
    if (!pending())
        return;
    // Asked every few milliseconds, the loop sleeping in between: polling it would count.
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (!pending())
            loop.quit();
    });
    tick.start(5);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
}

// Times `action` followed by the repaint of what it changed in `widget`; `prepare` runs
// untimed first, then `widget` is painted whole. On a
// busy machine the fastest round, bestMs, says most about the work itself; mainCpuMs is the
// main thread's processor time of the slowest round. What is drawn later, in slices, is not
// timed; drawnCpuMs is the main thread's processor time of the slowest round until all is drawn.
void timeAction(benchmark::State &state, QWidget &widget, const std::function<void()> &prepare,
                const std::function<void()> &action)
{
    double best = std::numeric_limits<double>::max();
    double cpu = 0;
    double drawnCpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        prepare();
        repaint(widget);
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        const double cpuStart = threadCpuMs();
        perfControl("enable");
        action();
        paintChanges(widget);
        const double roundCpu = threadCpuMs() - cpuStart;
        const double roundMs = double(clock.nsecsElapsed()) / 1e6;
        cpu = std::max(cpu, roundCpu);
        best = std::min(best, roundMs);
        state.PauseTiming();
        drawRest(widget);
        perfControl("disable");
        const double roundDrawnCpu = threadCpuMs() - cpuStart;
        drawnCpu = std::max(drawnCpu, roundDrawnCpu);
        state.ResumeTiming();
        if (printRounds())
            std::fprintf(stderr,
                         "round %lld: %.1f ms, main thread %.1f ms on the processor (%.1f ms until all is drawn), "
                         "ended at %.3f s\n",
                         static_cast<long long>(state.iterations()), roundMs, roundCpu, roundDrawnCpu,
                         monotonicMs() / 1e3);
    }
    state.counters["bestMs"] = best;
    state.counters["mainCpuMs"] = cpu;
    state.counters["drawnCpuMs"] = drawnCpu;
}

// Times `edit` on the district as opened: each round first undoes the last one.
void timeEdit(benchmark::State &state, OpenWindow &w, const std::function<void()> &edit)
{
    state.counters["lines"] = double(w.routedLines());
    timeAction(state, *w.window, [&] {
        if (w.document().canUndo())
            w.document().undo();
    }, edit);
    w.document().undo();
}

// Times the undo of `edit`.
void timeUndo(benchmark::State &state, OpenWindow &w, const std::function<void()> &edit)
{
    state.counters["lines"] = double(w.routedLines());
    timeAction(state, *w.window, edit, [&] { w.document().undo(); });
}

// Times the redo of `edit` after its undo.
void timeRedo(benchmark::State &state, OpenWindow &w, const std::function<void()> &edit)
{
    state.counters["lines"] = double(w.routedLines());
    timeAction(state, *w.window, [&] {
        if (w.document().canUndo())
            w.document().undo();
        edit();
        w.document().undo();
    }, [&] { w.document().redo(); });
    w.document().undo();
}

std::function<void()> makeVacantEdit(OpenWindow &w)
{
    const std::string id = BenchDistrict::occupiedLeaf(w.document().archive().organization);
    return [&w, id] { w.view().makeVacantConfirmed(id); };
}

std::function<void()> deleteEdit(OpenWindow &w)
{
    const std::string id = BenchDistrict::occupiedLeaf(w.document().archive().organization);
    return [&w, id] { w.view().deleteConfirmed(id); };
}

const Position &positionOf(const Organization &organization, const std::string &id)
{
    return *std::find_if(organization.positions.begin(), organization.positions.end(),
                         [&](const Position &p) { return p.id == id; });
}

// The position editor's model on a person, with a new name typed.
std::unique_ptr<PositionEditorModel> renamingEditor(OpenWindow &w, const std::string &id, const std::string &name)
{
    const OrganizationArchive &archive = w.view().archive();
    const Organization &organization = archive.organization;
    auto editor = std::make_unique<PositionEditorModel>(
        positionOf(organization, id), organization.positions, false, archive.sortedSheets(), w.view().selectedSheetID(),
        [&w](const PositionEntryRequest &request) { return w.view().savePositionEntry(request); },
        [&w](const std::string &included) { w.view().includeFromEditor(included); }, w.dialogs);
    editor->setEmployeeName(name);
    return editor;
}

// The position editor's window over the chart window, opened as the window opens it, with a
// new name typed; editors of earlier rounds, closed, are deleted first.
PositionEditor *renamingWindow(OpenWindow &w, const std::string &id, const std::string &name)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    PositionEditor *editor =
        WindowSheets::openPositionEditor(*w.window, positionOf(w.view().archive().organization, id), false);
    editor->model().setEmployeeName(name);
    return editor;
}

void makeVacant(benchmark::State &state) { timeEdit(state, openWindow(), makeVacantEdit(openWindow())); }
void makeVacantUndo(benchmark::State &state) { timeUndo(state, openWindow(), makeVacantEdit(openWindow())); }
void makeVacantRedo(benchmark::State &state) { timeRedo(state, openWindow(), makeVacantEdit(openWindow())); }
void deletePosition(benchmark::State &state) { timeEdit(state, openWindow(), deleteEdit(openWindow())); }
void deletePositionUndo(benchmark::State &state) { timeUndo(state, openWindow(), deleteEdit(openWindow())); }

// The position editor's Save of a renamed person; the editor is opened untimed.
void editorRename(benchmark::State &state)
{
    OpenWindow &w = openWindow();
    const std::string id = BenchDistrict::occupiedLeaf(w.document().archive().organization);
    int round = 0;
    PositionEditor *editor = nullptr;
    state.counters["lines"] = double(w.routedLines());
    timeAction(
        state, *w.window,
        [&] {
            if (w.document().canUndo())
                w.document().undo();
            editor = renamingWindow(w, id, "Renamed " + std::to_string(++round));
        },
        [&] {
            if (editor->model().save(PositionEditorModel::SaveMode::close) != PositionEditorModel::SaveOutcome::closed)
                state.SkipWithError("the editor did not save");
        });
    w.document().undo();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void editorRenameUndo(benchmark::State &state)
{
    OpenWindow &w = openWindow();
    const std::string id = BenchDistrict::occupiedLeaf(w.document().archive().organization);
    int round = 0;
    timeUndo(state, w, [&] { renamingEditor(w, id, "Renamed " + std::to_string(++round))->save(PositionEditorModel::SaveMode::close); });
}

// The `count` reports whose dotted lines run longest: itinerant specialists whose lines
// cross the chart between schools.
std::vector<std::string> longestLined(const ChartScene &scene, size_t count)
{
    std::unordered_map<std::string, double> lengths;
    for (const DottedRoute &route : scene.routes()) {
        for (size_t p = 0; p + 1 < route.points.size(); ++p)
            lengths[route.reportID] += std::abs(route.points[p + 1].x - route.points[p].x) +
                                       std::abs(route.points[p + 1].y - route.points[p].y);
    }
    std::vector<std::pair<double, std::string>> ranked;
    for (const auto &[id, length] : lengths)
        ranked.emplace_back(length, id);
    std::sort(ranked.rbegin(), ranked.rend());
    std::vector<std::string> ids;
    for (size_t i = 0; i < std::min(count, ranked.size()); ++i)
        ids.push_back(ranked[i].second);
    return ids;
}

// A click on a card whose lines cross the chart, from another such card: the two cards and
// the lines put out and lit are drawn again. Each round picks two cards not picked before (a
// click back to the card before draws with the ink it had).
void selectLongLines(benchmark::State &state)
{
    OpenWindow &w = openWindow();
    const std::vector<std::string> cards = longestLined(*w.view().chartScene(), size_t(2 * state.max_iterations));
    if (cards.size() < size_t(2 * state.max_iterations)) {
        state.SkipWithError("the district has too few dotted lines");
        return;
    }
    state.counters["lines"] = double(w.routedLines());
    size_t round = 0;
    timeAction(state, *w.window, [&] { w.view().setSelectedID(cards[2 * round]); },
               [&] { w.view().setSelectedID(cards[2 * round++ + 1]); });
    w.view().setSelectedID(std::nullopt);
    repaint(*w.window);
}

// The sidebar's grouping picked, from "None"; arg: the mode's place in the picker.
void sidebarGrouping(benchmark::State &state)
{
    OpenWindow &w = openWindow();
    OrganizationSidebar &sidebar = *w.window->body().sidebar();
    const std::string mode = SidebarMode::all()[size_t(state.range(0))];
    state.SetLabel(mode);
    timeAction(state, *w.window, [&] { sidebar.setGrouping(std::string(SidebarMode::none)); },
               [&] { sidebar.setGrouping(mode); });
    sidebar.setGrouping(std::string(SidebarMode::none));
    repaint(*w.window);
}

// A Delete, then its undo, with the sidebar grouped; arg: the mode's place in the picker.
void groupedDelete(benchmark::State &state, bool undo)
{
    OpenWindow &w = openWindow();
    OrganizationSidebar &sidebar = *w.window->body().sidebar();
    const std::string mode = SidebarMode::all()[size_t(state.range(0))];
    state.SetLabel(mode);
    sidebar.setGrouping(mode);
    repaint(*w.window);
    if (undo)
        timeUndo(state, w, deleteEdit(w));
    else
        timeEdit(state, w, deleteEdit(w));
    sidebar.setGrouping(std::string(SidebarMode::none));
    repaint(*w.window);
}
void deleteGrouped(benchmark::State &state) { groupedDelete(state, false); }
void deleteGroupedUndo(benchmark::State &state) { groupedDelete(state, true); }

// The planning window over the chart window, with one proposal shown.
struct OpenPlanning {
    PlanningWorkspace *workspace = nullptr;

    explicit OpenPlanning(OpenWindow &w)
    {
        workspace = PlanningWorkspace::open(*w.window);
        showProposal(workspace->controller());
        repaint(*workspace);
        settle();
    }
    ~OpenPlanning() { delete workspace; }
    PlanningWorkspaceController &controller() const { return workspace->controller(); }
    void settle() const
    {
        longestStretch([this] { return !routing(*workspace); });
        repaint(*workspace);
    }
};

// The planning window's editor, opened from its toolbar on a person with a new name typed.
PositionEditor *proposalEditor(OpenPlanning &planning, const std::string &id, const std::string &name)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    planning.controller().select(id);
    planning.workspace->button(QStringLiteral("Edit / Change Manager"))->click();
    PositionEditor *editor = nullptr;
    for (PositionEditor *open : planning.workspace->findChildren<PositionEditor *>()) {
        if (open->isVisible())
            editor = open;
    }
    editor->model().setEmployeeName(name);
    return editor;
}

void proposalEdit(benchmark::State &state)
{
    OpenWindow &w = openWindow();
    OpenPlanning planning(w);
    const std::string id = BenchDistrict::occupiedLeaf(w.document().archive().organization);
    int round = 0;
    PositionEditor *editor = nullptr;
    timeAction(
        state, *planning.workspace,
        [&] { editor = proposalEditor(planning, id, "Proposed " + std::to_string(++round)); },
        [&] {
            if (editor->model().save(PositionEditorModel::SaveMode::close) != PositionEditorModel::SaveOutcome::closed)
                state.SkipWithError("the editor did not save");
        });
    delete planning.workspace;
    planning.workspace = nullptr;
    while (w.document().canUndo())
        w.document().undo();
    repaint(*w.window);
}

// Lock Current from the planning window, both windows repainted; then the longest stretch
// until the chart window's and the planning window's lines are routed.
void lockCurrent(benchmark::State &state)
{
    OpenWindow &w = openWindow();
    PlanningWorkspace *workspace = PlanningWorkspace::open(*w.window);
    repaint(*workspace);
    double stretch = 0;
    for (auto _ : state) {
        workspace->controller().lockCurrent();
        repaint(*workspace);
        repaint(*w.window);
        state.PauseTiming();
        stretch = std::max(stretch, longestStretch([&] { return !routing(*workspace); }));
        workspace->controller().unlockCurrent();
        repaint(*workspace);
        state.ResumeTiming();
    }
    state.counters["maxStretchMs"] = stretch;
    delete workspace;
    while (w.document().canUndo())
        w.document().undo();
    repaint(*w.window);
}

// A window whose lines are not routed yet: the longest stretch until they are (all of them,
// unless VANTREL_BENCH_ROUTE_WAIT_S says otherwise), with the window painting each batch as
// it comes. A fresh route store each round.
void chartWhileRouting(benchmark::State &state)
{
    double stretch = 0;
    double busy = 0;
    size_t lines = 0;
    double open = 0;
    std::vector<Stretch> noted;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        OpenWindow w(false);
        open = double(clock.nsecsElapsed()) / 1e6;
        double roundBusy = 0;
        stretch = std::max(stretch, longestStretch([&] { return !w.routing(); }, routeWaitMs(), &roundBusy, &noted));
        busy = std::max(busy, roundBusy);
        lines = w.view().chartScene()->routes().size();
    }
    // Which stretches were long, and when: the counters say how many.
    for (const Stretch &s : noted)
        std::fprintf(stderr, "stretch of %.0f ms (%.0f ms on the processor), ended %.1f s into routing\n", s.ms,
                     s.cpuMs, s.endedMs / 1e3);
    state.counters["maxStretchMs"] = stretch;
    state.counters["stretchesOver30Ms"] = double(noted.size());
    state.counters["stretchesOver50Ms"] =
        double(std::count_if(noted.begin(), noted.end(), [](const Stretch &s) { return s.ms > 50; }));
    state.counters["mainBusyPercent"] = busy;
    state.counters["lines"] = double(lines);
    // Before routing starts: the file read, the first scene built and painted.
    state.counters["openMs"] = open;
}

// The planning window switching to a proposal whose lines are not routed yet: the longest
// stretch until they are (keys typed meanwhile wait that long).
void planningWhileRouting(benchmark::State &state)
{
    double stretch = 0;
    for (auto _ : state) {
        OpenWindow w(false);
        PlanningWorkspace *workspace = PlanningWorkspace::open(*w.window);
        showProposal(workspace->controller());
        repaint(*workspace);
        stretch = std::max(stretch, longestStretch([&] { return !routing(*workspace); }));
        delete workspace;
    }
    state.counters["maxStretchMs"] = stretch;
}

// "Fit to Page" in the print sheet of a window whose lines are still routing.
void printFitWhileRouting(benchmark::State &state)
{
    double stretch = 0;
    for (auto _ : state) {
        OpenWindow w(false);
        ChartPrintSheet *sheet = PrintSheetOpener::open(*w.window, w.dialogs);
        repaint(*sheet);
        sheet->model().setFitToPage(true);
        repaint(*sheet);
        stretch = std::max(stretch, longestStretch([&] { return !w.routing(); }));
        delete sheet;
    }
    state.counters["maxStretchMs"] = stretch;
}

// A child's quit: one unmodified window opened from `file` and painted, then Quit as the
// menu does it, the event loop left and the program ended. Prints the clock when Quit began.
int quitChild(const QString &file)
{
    SilentDialogs dialogs;
    auto controller = std::make_unique<DocumentController>(dialogs);
    ChartWindow *window = controller->newDocument();
    window->document()->load(file);
    repaint(*window);
    QTimer::singleShot(0, [&] {
        std::printf("%.3f\n", monotonicMs());
        std::fflush(stdout);
        controller->quit();
    });
    const int code = QCoreApplication::exec();
    controller.reset();
    return code;
}

// Quit with one unmodified window open, from the menu's command to the end of the process,
// in a child process; the window is opened there untimed.
void quit(benchmark::State &state)
{
    const QString file = districtFile();
    double slowest = 0;
    for (auto _ : state) {
        const std::optional<QByteArray> started = runChild("quit", file);
        const double ended = monotonicMs();
        bool read = false;
        const double began = started ? started->trimmed().toDouble(&read) : 0;
        if (!read) {
            state.SkipWithError("the child did not quit");
            break;
        }
        state.SetIterationTime((ended - began) / 1e3);
        slowest = std::max(slowest, ended - began);
    }
    state.counters["slowestMs"] = slowest;
}

// A child's Ctrl+Q typed `delayMs` after File ▸ Open of `file` began, while the file is read,
// its chart laid out or first painted. The key is handed to the window's thread from another
// one, as the window system hands it keys: it waits for whatever holds that thread. Prints
// the clock when the key was typed; fails when the key was lost (nothing quit in 20 s).
int quitWhileOpeningChild(int delayMs, const QString &file)
{
    SilentDialogs dialogs;
    auto controller = std::make_unique<DocumentController>(dialogs);
    QPointer<ChartWindow> window = controller->openFile(file);
    window->activateWindow();
    std::thread typist([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        std::printf("%.3f\n", monotonicMs());
        std::fflush(stdout);
        QMetaObject::invokeMethod(qApp, [&] {
            if (window)
                QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
        }, Qt::QueuedConnection);
    });
    QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(1); });
    const int code = QCoreApplication::exec();
    typist.join();
    controller.reset();
    return code;
}

// Ctrl+Q typed at points spread over the opening of the district, from the start of File ▸
// Open to well after its first paint, each in a child process: the slowest from the key to
// the end of the process, how long after the start of the opening its key came, and how
// many keys did not quit at all.
void quitWhileOpening(benchmark::State &state)
{
    const QString file = districtFile();
    double slowest = 0;
    double slowestAt = 0;
    int lost = 0;
    constexpr int lastDelayMs = 1500;
    constexpr int stepMs = 50;
    for (auto _ : state) {
        for (int delay = 0; delay <= lastDelayMs; delay += stepMs) {
            const std::optional<QByteArray> typed = runChild("quitWhileOpening", QString("%1\n%2").arg(delay).arg(file));
            const double ended = monotonicMs();
            bool read = false;
            const double began = typed ? typed->trimmed().toDouble(&read) : 0;
            if (!read) {
                ++lost;
                continue;
            }
            if (ended - began > slowest) {
                slowest = ended - began;
                slowestAt = delay;
            }
        }
        state.SetIterationTime(slowest / 1e3);
    }
    state.counters["slowestMs"] = slowest;
    state.counters["slowestAtMs"] = slowestAt;
    state.counters["lostKeys"] = lost;
}

// Opening the 50-version document as File ▸ Open does, to its first paint with cards.
void openVersionedDocument(benchmark::State &state)
{
    versionedFile();
    for (auto _ : state) {
        SilentDialogs dialogs;
        DocumentController controller(dialogs);
        ChartWindow *window = controller.openFile(versionedFile());
        longestStretch([&] { return !controller.isOpening(); });
        repaint(*window);
        state.PauseTiming();
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peakMB"] = double(usage.ru_maxrss) / 1024;
}

} // namespace

BENCHMARK(makeVacant)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(makeVacantUndo)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(makeVacantRedo)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(deletePosition)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(deletePositionUndo)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(editorRename)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(editorRenameUndo)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(selectLongLines)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(sidebarGrouping)->DenseRange(1, 4)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(deleteGrouped)->DenseRange(1, 4)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(deleteGroupedUndo)->DenseRange(1, 4)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(proposalEdit)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(lockCurrent)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(chartWhileRouting)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(planningWhileRouting)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(printFitWhileRouting)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(quit)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(quitWhileOpening)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
// Its own process for a meaningful peak: --benchmark_filter=openVersionedDocument
BENCHMARK(openVersionedDocument)->Unit(benchmark::kMillisecond)->Iterations(1);

// A child run (runChild) does one thing and ends; a plain run benchmarks.
int runAsChild(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QByteArray role = qgetenv(childRole);
    const QString argument = qEnvironmentVariable(childArgument);
    if (role == "versions") {
        writeVersionedFile(argument);
        return 0;
    }
    if (role == "quit")
        return quitChild(argument);
    if (role == "quitWhileOpening")
        return quitWhileOpeningChild(argument.section(QLatin1Char('\n'), 0, 0).toInt(),
                                     argument.section(QLatin1Char('\n'), 1));
    return 1;
}

int main(int argc, char **argv) { return qEnvironmentVariableIsEmpty(childRole) ? BenchApp::runBenchmarks<QApplication>(argc, argv) : runAsChild(argc, argv); }
