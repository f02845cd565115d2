#pragma once

#include <QString>
#include <QStringList>

// Reference lists shaped like the simulator's datarefs list, written as files for the benchmarks
// and for the reference command that run.sh times beside them.
namespace GeneratedLists {

// Names of the generated lists of many records, smallest first.
QStringList fileNames();

// Names of the generated lists with one very deep record (10,000 and 100,000 path segments).
QStringList deepFileNames();

// Writes every generated file into dir; returns false when one cannot be written.
bool writeAll(const QString &dir);

} // namespace GeneratedLists
