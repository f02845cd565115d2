// Stored branch keys applied to the tab's view over a list read from the same input. The input is the
// list, a NUL byte, then one key per line; without a NUL the keys go to a small fixed list.
#include "fuzz/FuzzCheck.h"

#include "data/ReferenceList.h"
#include "data/TreeModel.h"
#include "tab/BranchKeys.h"
#include "tab/TreeView.h"

#include <QApplication>
#include <QByteArray>
#include <QSet>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {

const char fixedList[] = "2 header\n"
                         "sim/a/b/c\tint\n"
                         "sim/a/b/d\tint\n"
                         "sim/a/e\tfloat\n"
                         "sim/f/g/h/i\tint\n"
                         "sim/f/\tint\n"
                         "other/x\tint\n";

QStringList keysOf(const QByteArray &bytes)
{
    QStringList keys;
    for (const QByteArray &line : bytes.split('\n'))
        keys.append(QString::fromLatin1(line));
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_branch_keys";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives for the whole run
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const int nul = input.indexOf('\0');
    ReferenceList list;
    list.parse(nul >= 0 ? input.left(nul) : QByteArray(fixedList));
    const QStringList keys = keysOf(nul >= 0 ? input.mid(nul + 1) : input);

    TreeModel model(&list);
    TreeView view;
    view.resize(400, 300);
    view.setModel(&model);
    applyExpanded(&view, keys);
    (void)view.indexAt(QPoint(10, 10));
    const QStringList collected = collectExpanded(&view);

    // Only what the keys name is expanded. Two nodes can share a key (rows 1 and 0, and row 100,
    // spell the same digits): both are expanded when reached, and the key comes back for each.
    const QSet<QString> given(keys.cbegin(), keys.cend());
    for (const QString &key : collected)
        FUZZ_CHECK(given.contains(key));

    // Applying again changes nothing; the collected keys bring back the same branches in a new view.
    applyExpanded(&view, keys);
    FUZZ_CHECK(collectExpanded(&view) == collected);
    TreeView again;
    again.setModel(&model);
    applyExpanded(&again, collected);
    FUZZ_CHECK(collectExpanded(&again) == collected);
    return 0;
}
