// One line of a reference file into the record parser.
#include "fuzz/FuzzCheck.h"

#include "data/ReferenceList.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\r' || c == '\n';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray line(reinterpret_cast<const char *>(data), int(size));
    Reference record;
    const bool taken = record.parse(line);
    FUZZ_CHECK(taken == !line.isEmpty());
    if (!taken)
        return 0;

    // The path is the line up to the first blank or tab and holds neither.
    FUZZ_CHECK(line.startsWith(record.path.toByteArray()));
    FUZZ_CHECK(!record.path.contains(' ') && !record.path.contains('\t'));
    // The fields follow the path and its separator in the order of the line.
    int total = record.path.size();
    int from = record.path.size() + 1;
    for (const ByteString &field : record.fields) {
        FUZZ_CHECK(!field.isEmpty());
        FUZZ_CHECK(!field.contains('\t'));
        const int at = line.indexOf(field.toByteArray(), from);
        FUZZ_CHECK(at >= from);
        from = at + field.size();
        total += field.size();
    }
    FUZZ_CHECK(total <= line.size());
    if (!record.fields.isEmpty()) {
        FUZZ_CHECK(!isBlank(record.fields.first().front()));
        FUZZ_CHECK(!isBlank(record.fields.last().back()));
    }

    // An empty line leaves the record as it was.
    const Reference kept = record;
    FUZZ_CHECK(!record.parse(QByteArray()));
    FUZZ_CHECK(record.path == kept.path && record.fields == kept.fields);

    // The record owns its bytes: it survives the line it came from.
    QByteArray scratch(line);
    const QByteArray path = record.path.toByteArray();
    record.parse(QByteArray::fromRawData(scratch.constData(), scratch.size()));
    scratch.fill('x');
    FUZZ_CHECK(record.path == path);
    (void)decodeText(record.path);
    return 0;
}
