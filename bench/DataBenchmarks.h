#pragma once

#include <QString>

// Registers load + sort, tree building and a view-like walk for one reference file under a label.
// Each reports one counter, "items": records loaded or built, or indexes walked.
void registerDataBenchmarks(const QString &label, const QString &fileName);
