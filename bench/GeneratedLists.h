#pragma once

#include <QString>
#include <QStringList>

// Reference lists shaped like the simulator's datarefs list, written as files for the benchmarks
// and for the reference command that run.sh times beside them.
namespace GeneratedLists {

// Names of the generated files, smallest first.
QStringList fileNames();

// Writes every generated file into dir; returns false when one cannot be written.
bool writeAll(const QString &dir);

} // namespace GeneratedLists
