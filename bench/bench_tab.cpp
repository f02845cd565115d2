// Benchmarks of one document tab over the real datarefs list: toggling between list and tree,
// expanding the whole tree, and searching (with the result model that each search builds). Then the
// same over the generated list of 1,000,000 records, the main window coming and going with five of
// them, and the lists with one very deep path.
// Usage: refscope_bench_tab [Google Benchmark options]
// REFSCOPE_SHARED_DATA=DIR looks for the real DataRefs.txt in DIR instead of ../shared/data.
// REFSCOPE_BENCH_DATA=DIR takes the generated lists from DIR instead of writing them afresh.

#include "app/Allocator.h"
#include "app/Application.h"
#include "app/WinMain.h"
#include "bench/GeneratedLists.h"
#include "dialogs/WinCheckUpdate.h"
#include "tab/TreeView.h"
#include "tab/WinTab.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

QString realList;
QString realCommands;
QString longLineFile; // one 50 MB line
QString staleStoreFile; // a settings.ini remembering 100,000 files that are gone

// A tab as the main window makes it, shown, so that the view lays out what it shows.
std::unique_ptr<WinTab> openTab(benchmark::State &state, const QString &fileName)
{
    auto tab = std::make_unique<WinTab>(nullptr);
    tab->resize(1000, 700);
    tab->show();
    if (!tab->loadFile(fileName)) {
        state.SkipWithError("cannot load the list");
        return nullptr;
    }
    return tab;
}

QPushButton *button(WinTab &tab, const char *name)
{
    return tab.findChild<QPushButton *>(QLatin1String(name));
}

// The view lays out and paints when the event loop comes round; this does it now, as the user would
// see it.
void settle(WinTab &tab)
{
    QApplication::processEvents();
    tab.findChild<TreeView *>(QStringLiteral("treeRefers"))->viewport()->repaint();
}

void toggleListTreeList(benchmark::State &state)
{
    const std::unique_ptr<WinTab> tab = openTab(state, realList);
    if (!tab)
        return;
    QPushButton *toggle = button(*tab, "btnStateView");
    for (auto _ : state) {
        toggle->click();
        settle(*tab);
        toggle->click();
        settle(*tab);
    }
}

// "Expand all" on the tree of a tab over fileName; collapsing again is not timed.
void expandAllTree(benchmark::State &state, const QString &fileName)
{
    const std::unique_ptr<WinTab> tab = openTab(state, fileName);
    if (!tab)
        return;
    button(*tab, "btnStateView")->click();
    QPushButton *expandAll = button(*tab, "btnExpandAll");
    QPushButton *collapseAll = button(*tab, "btnCollapseAll");
    for (auto _ : state) {
        expandAll->click();
        settle(*tab);
        state.PauseTiming();
        collapseAll->click();
        settle(*tab);
        state.ResumeTiming();
    }
}

void search(benchmark::State &state, const QString &text, bool tree, const QString &fileName)
{
    const std::unique_ptr<WinTab> tab = openTab(state, fileName);
    if (!tab)
        return;
    if (tree)
        button(*tab, "btnStateView")->click();
    tab->findChild<QLineEdit *>(QStringLiteral("txtSearch"))->setText(text);
    QPushButton *start = button(*tab, "btnSearch");
    for (auto _ : state) {
        start->click();
        settle(*tab);
    }
    const QString found = tab->findChild<QLabel *>(QStringLiteral("label"))->text();
    state.counters["found"] = found.section(QLatin1Char(' '), 1, 1).toDouble();
}

// Toggles between the fully expanded tree and the list of a tab over fileName: the expanded
// branches are collected when the tree is left and applied when it comes back. Only the direction
// asked for is timed.
void toggleExpanded(benchmark::State &state, const QString &fileName, bool toList)
{
    const std::unique_ptr<WinTab> tab = openTab(state, fileName);
    if (!tab)
        return;
    QPushButton *toggle = button(*tab, "btnStateView");
    toggle->click();
    button(*tab, "btnExpandAll")->click();
    settle(*tab);
    if (!toList) {
        toggle->click();
        settle(*tab);
    }
    for (auto _ : state) {
        toggle->click();
        settle(*tab);
        state.PauseTiming();
        toggle->click();
        settle(*tab);
        state.ResumeTiming();
    }
}

// What a tab over fileName writes into settings.ini after "Expand all"; the counter "bytes" is the
// size of the file written.
void saveExpanded(benchmark::State &state, const QString &fileName)
{
    const std::unique_ptr<WinTab> tab = openTab(state, fileName);
    if (!tab)
        return;
    button(*tab, "btnStateView")->click();
    button(*tab, "btnExpandAll")->click();
    settle(*tab);
    QTemporaryDir dir;
    const QString iniName = dir.filePath(QStringLiteral("settings.ini"));
    for (auto _ : state) {
        QSettings settings(iniName, QSettings::IniFormat);
        tab->saveState(settings);
        settings.sync();
    }
    state.counters["bytes"] = double(QFileInfo(iniName).size());
}

// Five remembered files: the first, third and fifth in tree view with branches open, the others in
// list view.
void rememberFiveTabs(const QStringList &files)
{
    QSettings &settings = qobject_cast<Application *>(QCoreApplication::instance())->settings;
    settings.clear();
    settings.beginGroup(QStringLiteral("class WinMain"));
    settings.beginWriteArray(QStringLiteral("openfiles"));
    for (int i = 0; i < 5; ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("filepath"), files.at(i));
        settings.setValue(QStringLiteral("istreeview"), i % 2 == 0);
        settings.setValue(QStringLiteral("treeexpands"),
                          QStringList {QStringLiteral("0000"), QStringLiteral("0010"), QStringLiteral("00")});
    }
    settings.endArray();
    settings.setValue(QStringLiteral("currtab"), 2);
    settings.endGroup();
}

int pagesOf(const WinMain &window)
{
    return window.findChild<QTabWidget *>(QStringLiteral("tabs"))->count();
}

// The main window coming back with five remembered tabs: three datarefs lists in tree view with branches
// open, two commands lists in list view. Each pass builds, shows and destroys the window, which also
// writes the state back, as a run of the program does.
void startUpWithFiveTabs(benchmark::State &state)
{
    QStringList files;
    for (int i = 0; i < 5; ++i)
        files << (i % 2 == 0 || realCommands.isEmpty() ? realList : realCommands);
    rememberFiveTabs(files);

    int pages = 0;
    for (auto _ : state) {
        WinMain window(nullptr);
        window.show();
        QApplication::processEvents();
        pages = pagesOf(window);
    }
    state.counters["pages"] = pages;
    if (pages != 5)
        state.SkipWithError("not every remembered file came back");
}

// Five remembered copies of one large list. With timeExit unset, a pass times the window built and
// shown until it has painted; with timeExit set, it times the window's end: the state written into
// the store, settings.ini flushed and everything torn down.
void fiveLargeTabs(benchmark::State &state, const QString &fileName, bool timeExit)
{
    QSettings &settings = qobject_cast<Application *>(QCoreApplication::instance())->settings;
    int pages = 0;
    for (auto _ : state) {
        state.PauseTiming();
        rememberFiveTabs(QStringList {fileName, fileName, fileName, fileName, fileName});
        if (!timeExit)
            state.ResumeTiming();
        auto window = std::make_unique<WinMain>(nullptr);
        window->show();
        QApplication::processEvents();
        pages = pagesOf(*window);
        if (timeExit)
            state.ResumeTiming();
        else
            state.PauseTiming();
        window.reset();
        settings.sync();
        if (!timeExit)
            state.ResumeTiming();
    }
    state.counters["pages"] = pages;
    if (pages != 5)
        state.SkipWithError("not every remembered file came back");
}

void registerRealListBenchmarks()
{
    benchmark::RegisterBenchmark("tab_toggle_list_tree_list/DataRefs.txt", toggleListTreeList)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("tab_expand_all/DataRefs.txt", expandAllTree, realList)
        ->Unit(benchmark::kMillisecond);
    // "sim/" is in nearly every path; the other text is in none.
    benchmark::RegisterBenchmark("tab_search_many_list/DataRefs.txt", search, QStringLiteral("sim/"), false,
                                 realList)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("tab_search_many_tree/DataRefs.txt", search, QStringLiteral("sim/"), true,
                                 realList)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("tab_search_float_tree/DataRefs.txt", search, QStringLiteral("float"), true,
                                 realList)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("tab_search_none_list/DataRefs.txt", search, QStringLiteral("no such text"),
                                 false, realList)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("tab_search_none_tree/DataRefs.txt", search, QStringLiteral("no such text"),
                                 true, realList)
        ->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark("startup_five_tabs/real lists", startUpWithFiveTabs)
        ->Unit(benchmark::kMillisecond);
}

// Searches in list mode with their result model, toggles after "Expand all", start-up and exit.
// The texts are in no record, in 0.8 % of them (paths) and in half of them (descriptions).
void registerLargeListBenchmarks(const QString &fileName)
{
    const std::string suffix = "/" + QFileInfo(fileName).fileName().toStdString();
    const struct
    {
        const char *label;
        const char *text;
    } searches[] = {{"none", "no such text"}, {"1pc", "_cht_1"}, {"50pc", "system, as"}};
    for (const auto &each : searches) {
        benchmark::RegisterBenchmark(("tab_search_list_" + std::string(each.label) + suffix).c_str(), search,
                                     QString::fromLatin1(each.text), false, fileName)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark(("tab_tree_to_list_expanded" + suffix).c_str(), toggleExpanded, fileName,
                                 true)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("tab_list_to_tree_expanded" + suffix).c_str(), toggleExpanded, fileName,
                                 false)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("startup_five" + suffix).c_str(), fiveLargeTabs, fileName, false)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("exit_five" + suffix).c_str(), fiveLargeTabs, fileName, true)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
}

// "Expand all", a toggle to the list and back, a search in tree view that finds the deep record, and
// what the tab then stores. run.sh runs each in a process of its own.
void registerDeepBenchmarks(const QString &label, const QString &fileName)
{
    const std::string suffix = "/" + label.toStdString();
    benchmark::RegisterBenchmark(("tab_deep_expand_all" + suffix).c_str(), expandAllTree, fileName)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("tab_deep_tree_to_list" + suffix).c_str(), toggleExpanded, fileName, true)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("tab_deep_list_to_tree" + suffix).c_str(), toggleExpanded, fileName, false)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("tab_deep_search_tree" + suffix).c_str(), search, QStringLiteral("deepest"),
                                 true, fileName)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("tab_deep_save" + suffix).c_str(), saveExpanded, fileName)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
}

// The resident set of the process in MiB: its largest since the last resetPeak, or now. Zero where
// the system does not say.
double residentMiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

// The reference that the hostile cases are measured against: `LC_ALL=C sort FILE > /dev/null` on the
// same input, process start included.
void referenceSort(benchmark::State &state, const QString *file)
{
    QProcess sort;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    sort.setProcessEnvironment(environment);
    sort.setStandardOutputFile(QProcess::nullDevice());
    for (auto _ : state) {
        sort.start(QStringLiteral("sort"), {*file});
        if (!sort.waitForFinished(-1) || sort.exitCode() != 0) {
            state.SkipWithError("sort failed");
            return;
        }
    }
}

// A tab over one line of 50 MB, from loading to the first display, as the user opens it. The growth
// of the largest resident set is set beside the size of the file.
void firstDisplayOfLongLine(benchmark::State &state)
{
    resetPeak();
    const double before = residentMiB("VmRSS:");
    for (auto _ : state) {
        WinTab tab(nullptr);
        tab.resize(1000, 700);
        tab.show();
        if (!tab.loadFile(longLineFile)) {
            state.SkipWithError("cannot load the long line");
            return;
        }
        settle(tab);
        button(tab, "btnStateView")->click();
        tab.findChild<TreeView *>(QStringLiteral("treeRefers"))->expandAll();
        settle(tab);
    }
    const double fileMiB = QFileInfo(longLineFile).size() / (1024.0 * 1024.0);
    state.counters["file_MiB"] = fileMiB;
    const double growth = residentMiB("VmHWM:") - before;
    state.counters["peak_growth_MiB"] = growth;
    state.counters["growth_per_file"] = growth / fileMiB;
}

// The main window coming up from a settings.ini that remembers 100,000 files that are gone: shown,
// then closed, which writes the (now empty) state back.
void startUpWithStaleFiles(benchmark::State &state)
{
    QSettings &settings = qobject_cast<Application *>(QCoreApplication::instance())->settings;
    QFile stale(staleStoreFile);
    if (!stale.open(QIODevice::ReadOnly)) {
        state.SkipWithError("no stale settings.ini");
        return;
    }
    const QByteArray content = stale.readAll();
    int pages = -1;
    for (auto _ : state) {
        state.PauseTiming();
        settings.clear();
        settings.sync();
        QFile store(settings.fileName());
        if (!store.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || store.write(content) != content.size()) {
            state.SkipWithError("cannot write settings.ini");
            return;
        }
        store.close();
        settings.sync(); // nothing pending: this only reads the new file
        state.ResumeTiming();

        WinMain window(nullptr);
        window.show();
        QApplication::processEvents();
        pages = window.findChild<QTabWidget *>(QStringLiteral("tabs"))->count();
    }
    state.counters["pages"] = pages;
}

// The inputs of the hostile cases, written into dir.
void writeHostileInputs(const QDir &dir)
{
    longLineFile = dir.filePath(QStringLiteral("long_line_50M.txt"));
    QFile longLine(longLineFile);
    if (longLine.open(QIODevice::WriteOnly)) {
        longLine.write("2 1200 header\nsim/");
        const QByteArray block(1024 * 1024, 'x');
        for (int i = 0; i < 50; ++i)
            longLine.write(block);
        longLine.write("\tint\ty\tmeters\tOne long line\n");
    }
    staleStoreFile = dir.filePath(QStringLiteral("stale_100k.ini"));
    QFile stale(staleStoreFile);
    if (stale.open(QIODevice::WriteOnly)) {
        stale.write("[class%20WinMain]\n");
        for (int i = 1; i <= 100000; ++i)
            stale.write("openfiles\\" + QByteArray::number(i) + "\\filepath=/nonexistent/refscope/DataRefs_"
                        + QByteArray::number(i) + ".txt\n");
        stale.write("openfiles\\size=100000\ncurrtab=0\n");
    }
}

// Hostile inputs, each beside the sort of the same file.
void registerHostileInputBenchmarks()
{
    benchmark::RegisterBenchmark("reference_sort/long_line_50M.txt", referenceSort, &longLineFile)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("tab_first_display/long_line_50M.txt", firstDisplayOfLongLine)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("reference_sort/stale_100k.ini", referenceSort, &staleStoreFile)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("startup_stale_files/stale_100k.ini", startUpWithStaleFiles)
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char **argv)
{
    setUpAllocator();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString sharedDir
        = QDir(qEnvironmentVariable("REFSCOPE_SHARED_DATA", QStringLiteral(REFSCOPE_SHARED_DATA)))
              .absolutePath();
    QString dataDir = qEnvironmentVariable("REFSCOPE_BENCH_DATA");
    if (!dataDir.isEmpty())
        dataDir = QDir(dataDir).absolutePath();
    // The store lives in the working directory at start-up: keep the benchmark's own out of the way.
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());
    Application application(argc, argv);
    benchmark::Initialize(&argc, argv);
    WinCheckUpdate::setUpdateHost("http://127.0.0.1:1"); // refused at once: no query leaves the machine

    if (dataDir.isEmpty()) {
        if (!GeneratedLists::writeAll(workDir.path())) {
            std::fprintf(stderr, "cannot write the generated lists\n");
            return 1;
        }
        dataDir = workDir.path();
    }

    realList = QDir(sharedDir).filePath(QStringLiteral("DataRefs.txt"));
    realCommands = QDir(sharedDir).filePath(QStringLiteral("Commands.txt"));
    if (!QFileInfo(realCommands).isFile())
        realCommands.clear();
    if (QFileInfo(realList).isFile())
        registerRealListBenchmarks();
    else
        std::fprintf(stderr, "%s not found: the real lists are left out\n", qPrintable(realList));
    registerLargeListBenchmarks(QDir(dataDir).filePath(QStringLiteral("gen_1M.txt")));
    for (const QString &name : GeneratedLists::deepFileNames())
        registerDeepBenchmarks(name, QDir(dataDir).filePath(name));
    QTemporaryDir inputDir;
    writeHostileInputs(QDir(inputDir.path()));
    registerHostileInputBenchmarks();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
