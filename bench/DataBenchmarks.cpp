#include "bench/DataBenchmarks.h"

#include "data/ReferenceList.h"
#include "data/TreeModel.h"

#include <QFile>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

// Loads the file once for the benchmarks that start from a loaded list.
std::shared_ptr<ReferenceList> loaded(const QByteArray &fileName)
{
    auto list = std::make_shared<ReferenceList>();
    list->load(fileName);
    return list;
}

// Every index of column 0 asked for its parent, branch by branch, as a view that shows them does.
size_t walk(const QAbstractItemModel &model, const QModelIndex &parent)
{
    size_t visited = 0;
    const int rows = model.rowCount(parent);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        benchmark::DoNotOptimize(model.parent(index));
        ++visited;
        if (model.hasChildren(index))
            visited += walk(model, index);
    }
    return visited;
}

} // namespace

void registerDataBenchmarks(const QString &label, const QString &fileName)
{
    const QByteArray name = QFile::encodeName(fileName);
    const std::string suffix = "/" + label.toStdString();

    benchmark::RegisterBenchmark(("load_sort" + suffix).c_str(), [name](benchmark::State &state) {
        size_t records = 0;
        for (auto _ : state) {
            ReferenceList list;
            if (!list.load(name)) {
                state.SkipWithError("cannot load the file");
                return;
            }
            records = list.references.size();
        }
        state.counters["items"] = double(records);
    })->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark(("build_tree" + suffix).c_str(), [name](benchmark::State &state) {
        std::shared_ptr<ReferenceList> list;
        for (auto _ : state) {
            state.PauseTiming();
            if (!list)
                list = loaded(name);
            state.ResumeTiming();
            // Building and tearing down: the model's life in a tab.
            TreeModel model(list.get());
            benchmark::DoNotOptimize(model.rowCount());
        }
        state.counters["items"] = list ? double(list->references.size()) : 0.0;
    })->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark(("walk_parents" + suffix).c_str(), [name](benchmark::State &state) {
        const std::shared_ptr<ReferenceList> list = loaded(name);
        const TreeModel model(list.get());
        size_t visited = 0;
        for (auto _ : state)
            visited = walk(model, QModelIndex());
        state.counters["items"] = double(visited);
    })->Unit(benchmark::kMillisecond);
}
