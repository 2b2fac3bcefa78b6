#pragma once

#include <QByteArray>

#include <optional>

namespace kelpie::test {

// The blob the store writer stores for one generation: the number, a
// semicolon, then filler that depends on the number, so that a torn or mixed
// blob is recognised.
inline QByteArray generationBlob(long long generation, qsizetype bytes)
{
    QByteArray blob = QByteArray::number(generation) + ';';
    blob.append(bytes - blob.size(), static_cast<char>('a' + generation % 26));
    return blob;
}

// The generation of a well-formed blob of that size, else absent.
inline std::optional<long long> generationOf(const QByteArray& blob, qsizetype bytes)
{
    const qsizetype separator = blob.indexOf(';');
    if (separator <= 0)
        return std::nullopt;
    bool ok = false;
    const long long generation = blob.left(separator).toLongLong(&ok);
    if (!ok || blob != generationBlob(generation, bytes))
        return std::nullopt;
    return generation;
}

} // namespace kelpie::test
