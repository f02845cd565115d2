#include "net/RepeatedKeys.h"

#include <QSet>

#include <cstring>
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
    // The keys of the open objects, innermost last: where they lie in body, which outlives them.
    struct Key
    {
        const char *bytes;
        int size;
    };
    std::vector<Key> keys;
    const char *bytes = body.constData();
    const int size = body.size();
    for (int i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (c == '"') {
            // The closing quote is the next one that an even number of backslashes precedes.
            int end = i + 1;
            for (;;) {
                const void *quote = std::memchr(bytes + end, '"', size_t(size - end));
                if (!quote) {
                    end = size;
                    break;
                }
                end = int(static_cast<const char *>(quote) - bytes);
                int backslashes = 0;
                while (end - backslashes - 1 > i && bytes[end - backslashes - 1] == '\\')
                    ++backslashes;
                if (backslashes % 2 == 0)
                    break;
                ++end;
            }
            const int start = i + 1;
            i = end;
            if (scopes.empty() || !scopes.back().object || !scopes.back().expectsKey)
                continue;
            Scope &scope = scopes.back();
            scope.expectsKey = false;
            const Key text {bytes + start, std::min(end, size) - start};
            bool repeated = std::memchr(text.bytes, '\\', size_t(text.size)) != nullptr;
            if (!repeated && scope.manyKeys) {
                const QByteArray view = QByteArray::fromRawData(text.bytes, text.size);
                repeated = scope.manyKeys->contains(view);
                scope.manyKeys->insert(view);
            } else if (!repeated) {
                for (size_t k = scope.firstKey; k < keys.size() && !repeated; ++k)
                    repeated = keys[k].size == text.size && std::memcmp(keys[k].bytes, text.bytes, size_t(text.size)) == 0;
                keys.push_back(text);
                if (keys.size() - scope.firstKey > fewKeys) {
                    scope.manyKeys = std::make_unique<QSet<QByteArray>>();
                    for (size_t k = scope.firstKey; k < keys.size(); ++k)
                        scope.manyKeys->insert(QByteArray::fromRawData(keys[k].bytes, keys[k].size));
                }
            }
            if (repeated) {
                key = QByteArray(text.bytes, text.size);
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
