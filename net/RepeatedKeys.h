#pragma once

#include <QByteArray>

namespace crv_net {

// The JSON reader of the toolkit loses memory on every key that an object repeats, so such a
// document is refused before it is read. Keys written with escapes are refused too: only then do
// equal keys have equal bytes. Returns true, with the offending key in key, when the body has one.
bool findRepeatedKey(const QByteArray &body, QByteArray &key);

} // namespace crv_net
