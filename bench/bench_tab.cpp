// Benchmarks of one document tab over the real datarefs list: toggling between list and tree,
// expanding the whole tree, and searching (with the result model that each search builds).
// Usage: refscope_bench_tab [Google Benchmark options]
// REFSCOPE_SHARED_DATA=DIR looks for the real DataRefs.txt in DIR instead of ../shared/data.

#include "app/Application.h"
#include "app/WinMain.h"
#include "dialogs/WinCheckUpdate.h"
#include "tab/TreeView.h"
#include "tab/WinTab.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

QString realList;
QString realCommands;
QString longLineFile; // one 50 MB line
QString staleStoreFile; // a settings.ini remembering 100,000 files that are gone

// A tab as the main window makes it, shown, so that the view lays out what it shows.
std::unique_ptr<WinTab> openTab(benchmark::State &state)
{
    auto tab = std::make_unique<WinTab>(nullptr);
    tab->resize(1000, 700);
    tab->show();
    if (!tab->loadFile(realList)) {
        state.SkipWithError("cannot load the real datarefs list");
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
    const std::unique_ptr<WinTab> tab = openTab(state);
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

void expandAllTree(benchmark::State &state)
{
    const std::unique_ptr<WinTab> tab = openTab(state);
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

void search(benchmark::State &state, const QString &text, bool tree)
{
    const std::unique_ptr<WinTab> tab = openTab(state);
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

// The main window coming back with five remembered tabs: three datarefs lists in tree view with branches
// open, two commands lists in list view. Each pass builds, shows and destroys the window, which also
// writes the state back, as a run of the program does.
void startUpWithFiveTabs(benchmark::State &state)
{
    QSettings &settings = qobject_cast<Application *>(QCoreApplication::instance())->settings;
    settings.clear();
    settings.beginGroup(QStringLiteral("class WinMain"));
    settings.beginWriteArray(QStringLiteral("openfiles"));
    for (int i = 0; i < 5; ++i) {
        settings.setArrayIndex(i);
        const bool datarefs = i % 2 == 0 || realCommands.isEmpty();
        settings.setValue(QStringLiteral("filepath"), datarefs ? realList : realCommands);
        settings.setValue(QStringLiteral("istreeview"), datarefs);
        settings.setValue(QStringLiteral("treeexpands"),
                          QStringList {QStringLiteral("0000"), QStringLiteral("0010"), QStringLiteral("00")});
    }
    settings.endArray();
    settings.setValue(QStringLiteral("currtab"), 2);
    settings.endGroup();

    int pages = 0;
    for (auto _ : state) {
        WinMain window(nullptr);
        window.show();
        QApplication::processEvents();
        pages = window.findChild<QTabWidget *>(QStringLiteral("tabs"))->count();
    }
    state.counters["pages"] = pages;
    if (pages != 5)
        state.SkipWithError("not every remembered file came back");
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

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString sharedDir
        = QDir(qEnvironmentVariable("REFSCOPE_SHARED_DATA", QStringLiteral(REFSCOPE_SHARED_DATA)))
              .absolutePath();
    // The store lives in the working directory at start-up: keep the benchmark's own out of the way.
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());
    Application application(argc, argv);
    benchmark::Initialize(&argc, argv);
    WinCheckUpdate::setUpdateHost("http://127.0.0.1:1"); // refused at once: no query leaves the machine

    realList = QDir(sharedDir).filePath(QStringLiteral("DataRefs.txt"));
    if (!QFileInfo(realList).isFile()) {
        std::fprintf(stderr, "%s not found: nothing to measure\n", qPrintable(realList));
        return 1;
    }
    realCommands = QDir(sharedDir).filePath(QStringLiteral("Commands.txt"));
    if (!QFileInfo(realCommands).isFile())
        realCommands.clear();

    benchmark::RegisterBenchmark("tab_toggle_list_tree_list/DataRefs.txt", toggleListTreeList)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("tab_expand_all/DataRefs.txt", expandAllTree)->Unit(benchmark::kMillisecond);
    // "sim/" is in nearly every path; the other text is in none.
    benchmark::RegisterBenchmark("tab_search_many_list/DataRefs.txt", search, QStringLiteral("sim/"), false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("tab_search_many_tree/DataRefs.txt", search, QStringLiteral("sim/"), true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("tab_search_float_tree/DataRefs.txt", search, QStringLiteral("float"), true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("tab_search_none_list/DataRefs.txt", search, QStringLiteral("no such text"),
                                 false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("tab_search_none_tree/DataRefs.txt", search, QStringLiteral("no such text"),
                                 true)
        ->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark("startup_five_tabs/real lists", startUpWithFiveTabs)
        ->Unit(benchmark::kMillisecond);

    // Hostile inputs, each beside the sort of the same file.
    QTemporaryDir inputDir;
    writeHostileInputs(QDir(inputDir.path()));
    benchmark::RegisterBenchmark("reference_sort/long_line_50M.txt", referenceSort, &longLineFile)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("tab_first_display/long_line_50M.txt", firstDisplayOfLongLine)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("reference_sort/stale_100k.ini", referenceSort, &staleStoreFile)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("startup_stale_files/stale_100k.ini", startUpWithStaleFiles)
        ->Unit(benchmark::kMillisecond);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
