#include "net/RepeatedKeys.h"

#include <QSet>

#include <memory>
#include <vector>

namespace crv_net {

namespace {

// Objects with more keys than this look them up in a hash; smaller ones, by far the most common,
// compare the few they have.
constexpr size_t fewKeys = 16;

} // namespace

bool findRepeatedKey(const QByteArray &body, QByteArray &key)
{
    struct Scope
    {
        bool object;
        bool expectsKey;
        size_t firstKey; // in keys
        std::unique_ptr<QSet<QByteArray>> manyKeys;
    };
    std::vector<Scope> scopes;
    // The keys of the open objects, innermost last: views into body, which outlives them.
    std::vector<QByteArray> keys;
    const char *bytes = body.constData();
    const int size = body.size();
    for (int i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (c == '"') {
            int end = i + 1;
            while (end < size && bytes[end] != '"')
                end += bytes[end] == '\\' ? 2 : 1;
            const int start = i + 1;
            i = end;
            if (scopes.empty() || !scopes.back().object || !scopes.back().expectsKey)
                continue;
            Scope &scope = scopes.back();
            scope.expectsKey = false;
            const QByteArray text = QByteArray::fromRawData(bytes + start, std::min(end, size) - start);
            bool repeated = text.contains('\\');
            if (!repeated && scope.manyKeys) {
                repeated = scope.manyKeys->contains(text);
                scope.manyKeys->insert(text);
            } else if (!repeated) {
                for (size_t k = scope.firstKey; k < keys.size() && !repeated; ++k)
                    repeated = keys[k] == text;
                keys.push_back(text);
                if (keys.size() - scope.firstKey > fewKeys)
                    scope.manyKeys = std::make_unique<QSet<QByteArray>>(keys.begin() + std::ptrdiff_t(scope.firstKey), keys.end());
            }
            if (repeated) {
                key = QByteArray(text.constData(), text.size());
                return true;
            }
        } else if (c == '{' || c == '[') {
            scopes.push_back({c == '{', c == '{', keys.size(), nullptr});
        } else if ((c == '}' || c == ']') && !scopes.empty()) {
            keys.resize(scopes.back().firstKey);
            scopes.pop_back();
        } else if (c == ',' && !scopes.empty() && scopes.back().object) {
            scopes.back().expectsKey = true;
        }
    }
    return false;
}

} // namespace crv_net
