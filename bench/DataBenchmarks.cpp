#include "bench/DataBenchmarks.h"

#include "data/ReferenceList.h"
#include "data/TreeItem.h"
#include "data/TreeModel.h"

#include <QFile>
#include <QVector>

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
// Branches wait on a list of their own, so a deep tree costs no stack.
size_t walk(const QAbstractItemModel &model)
{
    size_t visited = 0;
    QVector<QModelIndex> pending {QModelIndex()};
    while (!pending.isEmpty()) {
        const QModelIndex parent = pending.takeLast();
        const int rows = model.rowCount(parent);
        for (int row = 0; row < rows; ++row) {
            const QModelIndex index = model.index(row, 0, parent);
            benchmark::DoNotOptimize(model.parent(index));
            ++visited;
            if (model.hasChildren(index))
                pending.append(index);
        }
    }
    return visited;
}

// A chain of nodes, each the only child of the one before: a path of depth segments.
std::unique_ptr<TreeItem> chain(int depth)
{
    auto root = std::make_unique<TreeItem>();
    TreeItem *node = root.get();
    for (int i = 0; i < depth; ++i)
        node = node->addChild(node->createItem());
    node->name = QStringLiteral("leaf");
    return root;
}

TreeItem *deepest(TreeItem *node)
{
    while (node->hasChildren())
        node = node->child(0);
    return node;
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
            visited = walk(model);
        state.counters["items"] = double(visited);
    })->Unit(benchmark::kMillisecond);
}

void registerDeepBenchmarks(const QString &label, const QString &fileName)
{
    const QByteArray name = QFile::encodeName(fileName);
    const std::string suffix = "/" + label.toStdString();

    // A tab's life of the file's data: loaded, its tree built, walked and torn down.
    benchmark::RegisterBenchmark(("deep_open_walk_close" + suffix).c_str(), [name](benchmark::State &state) {
        size_t visited = 0;
        for (auto _ : state) {
            ReferenceList list;
            if (!list.load(name)) {
                state.SkipWithError("cannot load the file");
                return;
            }
            TreeModel model(&list);
            visited = walk(model);
        }
        state.counters["items"] = double(visited);
    })->Unit(benchmark::kMillisecond);
}

void registerChainBenchmarks(int depth)
{
    const std::string suffix = "/" + std::to_string(depth);

    benchmark::RegisterBenchmark(("chain_full_path" + suffix).c_str(), [depth](benchmark::State &state) {
        const std::unique_ptr<TreeItem> root = chain(depth);
        const TreeItem *leaf = deepest(root.get());
        int length = 0;
        for (auto _ : state)
            length = leaf->fullPath().size();
        state.counters["chars"] = length;
    })->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark(("chain_destroy" + suffix).c_str(), [depth](benchmark::State &state) {
        for (auto _ : state) {
            state.PauseTiming();
            std::unique_ptr<TreeItem> root = chain(depth);
            state.ResumeTiming();
            root.reset();
        }
        state.counters["items"] = depth;
    })->Unit(benchmark::kMillisecond);
}
