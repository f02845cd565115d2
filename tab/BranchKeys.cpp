#include "tab/BranchKeys.h"

#include <QAbstractItemModel>
#include <QSet>
#include <QTreeView>

#include <climits>
#include <map>
#include <vector>

namespace {

void appendNumber(QString &key, int number)
{
    char digits[12];
    int count = 0;
    unsigned value = unsigned(number);
    do {
        digits[count++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0)
        key += QLatin1Char(digits[--count]);
}

// One node on the way down: its key is the first keyLength characters of the walk's key buffer.
struct Frame
{
    QModelIndex index;
    int keyLength;
    int nextRow;
    int rows;
};

// Visits the nodes under the first top-level row in post-order, with an explicit stack and one key
// buffer that grows and shrinks on the way, so neither depth nor the length of the keys costs more
// than once. enter(key) decides whether a child, whose key the buffer then holds, is entered;
// leave(index, key) is called for every entered node after its children.
template<class Enter, class Leave> void walk(const QAbstractItemModel *model, Enter enter, Leave leave)
{
    const QModelIndex first = model->index(0, 0);
    if (!first.isValid())
        return;
    QString key;
    appendNumber(key, first.row());
    appendNumber(key, first.column());
    std::vector<Frame> stack {{first, key.size(), 0, model->rowCount(first)}};
    while (!stack.empty()) {
        Frame &top = stack.back();
        if (top.nextRow < top.rows) {
            const QModelIndex child = model->index(top.nextRow++, 0, top.index);
            key.truncate(top.keyLength);
            appendNumber(key, child.row());
            appendNumber(key, child.column());
            if (enter(child, key))
                stack.push_back({child, key.size(), 0, model->rowCount(child)});
            continue;
        }
        key.truncate(top.keyLength);
        leave(top.index, key);
        stack.pop_back();
    }
}

// The longest key length up to which the keys, counted by length, fit in maxCharacters.
int lengthLimit(const std::map<int, qint64> &charactersByLength, int maxCharacters)
{
    qint64 total = 0;
    int limit = 0;
    for (const auto &entry : charactersByLength) {
        total += entry.second;
        if (total > maxCharacters)
            break;
        limit = entry.first;
    }
    return limit;
}

// The keys of the expanded nodes whose keys are at most maxLength long. Collapsed children are not
// entered, nor are children whose keys are longer: their descendants' keys are longer still.
QStringList expandedKeys(const QTreeView *view, int maxLength, std::map<int, qint64> *charactersByLength,
                         int maxCharacters)
{
    QStringList keys;
    qint64 total = 0;
    walk(
        view->model(),
        [&](const QModelIndex &child, const QString &key) {
            return key.size() <= maxLength && view->isExpanded(child);
        },
        [&](const QModelIndex &index, const QString &key) {
            if (!view->isExpanded(index))
                return;
            total += key.size();
            if (charactersByLength)
                (*charactersByLength)[key.size()] += key.size();
            if (total <= maxCharacters)
                keys.append(key);
        });
    return total <= maxCharacters ? keys : QStringList();
}

} // namespace

QStringList collectExpanded(const QTreeView *view, int maxCharacters)
{
    if (!view || !view->model())
        return {};
    std::map<int, qint64> charactersByLength;
    const QStringList keys = expandedKeys(view, INT_MAX, &charactersByLength, maxCharacters);
    if (!keys.isEmpty() || charactersByLength.empty())
        return keys;
    return expandedKeys(view, lengthLimit(charactersByLength, maxCharacters), nullptr, maxCharacters);
}

void applyExpanded(QTreeView *view, const QStringList &keys)
{
    if (!view || !view->model() || keys.isEmpty())
        return;
    const QSet<QString> lookup(keys.cbegin(), keys.cend());
    walk(
        view->model(), [&](const QModelIndex &, const QString &key) { return lookup.contains(key); },
        [&](const QModelIndex &index, const QString &key) {
            if (lookup.contains(key))
                view->expand(index);
        });
}

QStringList shallowestKeys(const QStringList &keys, int maxCharacters)
{
    std::map<int, qint64> charactersByLength;
    qint64 total = 0;
    for (const QString &key : keys) {
        charactersByLength[key.size()] += key.size();
        total += key.size();
    }
    if (total <= maxCharacters)
        return keys;
    const int limit = lengthLimit(charactersByLength, maxCharacters);
    QStringList kept;
    for (const QString &key : keys) {
        if (key.size() <= limit)
            kept.append(key);
    }
    return kept;
}
