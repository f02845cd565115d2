#include "net/RepeatedKeys.h"

#include <QSet>

#include <algorithm>
#include <vector>

namespace crv_net {

bool findRepeatedKey(const QByteArray &body, QByteArray &key)
{
    struct Scope
    {
        bool object;
        bool expectsKey;
        QSet<QByteArray> keys; // views into body, which outlives them
    };
    std::vector<Scope> scopes;
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
            scopes.back().expectsKey = false;
            const QByteArray text = QByteArray::fromRawData(bytes + start, std::min(end, size) - start);
            if (text.contains('\\') || scopes.back().keys.contains(text)) {
                key = QByteArray(text.constData(), text.size());
                return true;
            }
            scopes.back().keys.insert(text);
        } else if (c == '{' || c == '[') {
            scopes.push_back({c == '{', c == '{', {}});
        } else if ((c == '}' || c == ']') && !scopes.empty()) {
            scopes.pop_back();
        } else if (c == ',' && !scopes.empty() && scopes.back().object) {
            scopes.back().expectsKey = true;
        }
    }
    return false;
}

} // namespace crv_net
