#include "app/Allocator.h"
#include "app/Settings.h"
#include "bench/DataBenchmarks.h"
#include "bench/GeneratedLists.h"
#include "data/ListModel.h"
#include "data/ReferenceList.h"
#include "data/TreeModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

namespace {

// FILE as the settings.ini of a start in a scratch folder: the store made over it (the program's
// Settings, or with qsettings a bare QSettings), then the window's group read as the window reads
// it. Prints the milliseconds of that, wall-clock and of the processor; the copy into the scratch
// folder is not timed.
int timeStoreStart(const char *fileName, bool qsettings)
{
    QTemporaryDir scratch;
    const QString copy = QDir(scratch.path()).filePath(QStringLiteral("settings.ini"));
    if (!scratch.isValid() || !QFile::copy(QString::fromLocal8Bit(fileName), copy)
        || !QDir::setCurrent(scratch.path())) {
        std::fprintf(stderr, "cannot copy %s into a scratch folder\n", fileName);
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    const std::clock_t processorStart = std::clock();
    std::unique_ptr<QSettings> store;
    if (qsettings)
        store = std::make_unique<QSettings>(copy, QSettings::IniFormat);
    else
        store = std::make_unique<Settings>();
    store->beginGroup(QStringLiteral("class WinMain"));
    const bool hasGeometry = store->contains(QStringLiteral("geometry"));
    const int currTab = store->value(QStringLiteral("currtab"), -1).toInt();
    store->endGroup();
    std::printf("%.1f %.1f\n", double(timer.nsecsElapsed()) / 1e6,
                double(std::clock() - processorStart) * 1000 / CLOCKS_PER_SEC);
    std::fprintf(stderr, "geometry %s, currtab %d\n", hasGeometry ? "stored" : "not stored", currTab);
    return 0;
}

} // namespace

// Usage: refscope_bench [--generate DIR | --open FILE | --store FILE | --qsettings FILE |
//                        Google Benchmark options]
//   --generate DIR   only write the generated lists into DIR (run.sh times other tools on them)
//   --open FILE      load FILE and build both models once, as a tab does, then exit (for the time and
//                    peak memory of the whole process)
//   --store FILE     start-up with FILE as settings.ini: the store made and checked, the window's
//                    group read; prints its milliseconds (settings.sh compares it with --qsettings)
//   --qsettings FILE the same with a bare QSettings over the file
// REFSCOPE_BENCH_DATA=DIR takes the generated lists from DIR instead of writing them afresh.
// REFSCOPE_SHARED_DATA=DIR looks for the real DataRefs.txt in DIR instead of ../shared/data.
int main(int argc, char **argv)
{
    setUpAllocator();
    if (argc == 3 && std::strcmp(argv[1], "--generate") == 0) {
        if (!GeneratedLists::writeAll(QString::fromLocal8Bit(argv[2]))) {
            std::fprintf(stderr, "cannot write the generated lists into %s\n", argv[2]);
            return 1;
        }
        return 0;
    }

    if (argc == 3 && std::strcmp(argv[1], "--open") == 0) {
        ReferenceList list;
        if (!list.load(argv[2]))
            return 1;
        const ListModel listModel(&list);
        const TreeModel treeModel(&list);
        std::printf("%d records, %d top-level rows\n", listModel.rowCount(), treeModel.rowCount());
        return 0;
    }

    if (argc == 3 && (std::strcmp(argv[1], "--store") == 0 || std::strcmp(argv[1], "--qsettings") == 0))
        return timeStoreStart(argv[2], std::strcmp(argv[1], "--qsettings") == 0);

    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);

    QTemporaryDir scratch;
    QString dataDir = qEnvironmentVariable("REFSCOPE_BENCH_DATA");
    if (dataDir.isEmpty()) {
        if (!scratch.isValid() || !GeneratedLists::writeAll(scratch.path())) {
            std::fprintf(stderr, "cannot write the generated lists\n");
            return 1;
        }
        dataDir = scratch.path();
    }

    const QString sharedDir
        = qEnvironmentVariable("REFSCOPE_SHARED_DATA", QStringLiteral(REFSCOPE_SHARED_DATA));
    const QString realList = QDir(sharedDir).filePath(QStringLiteral("DataRefs.txt"));
    if (QFileInfo(realList).isFile())
        registerDataBenchmarks(QStringLiteral("DataRefs.txt"), realList);
    else
        std::fprintf(stderr, "%s not found: the real list is left out\n", qPrintable(realList));
    for (const QString &name : GeneratedLists::fileNames())
        registerDataBenchmarks(name, QDir(dataDir).filePath(name));
    // Each deep case runs in a process of its own in run.sh, so one that breaks leaves the others.
    for (const QString &name : GeneratedLists::deepFileNames())
        registerDeepBenchmarks(name, QDir(dataDir).filePath(name));
    for (const int depth : {10000, 100000})
        registerChainBenchmarks(depth);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
