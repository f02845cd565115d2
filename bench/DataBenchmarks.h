#pragma once

#include <QString>

// Registers load + sort, tree building and a view-like walk for one reference file under a label.
// Each reports one counter, "items": records loaded or built, or indexes walked.
void registerDataBenchmarks(const QString &label, const QString &fileName);

// Registers loading, building, walking and tearing down the tree of a file with a very deep path.
void registerDeepBenchmarks(const QString &label, const QString &fileName);

// Registers fullPath of the deepest node and the destruction of a chain of depth nodes.
void registerChainBenchmarks(int depth);
