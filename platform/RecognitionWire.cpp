#include "platform/RecognitionWire.h"

#include "core/PagePopulation.h"

#include <QColorSpace>
#include <QDataStream>
#include <QIODevice>

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace kelpie {
namespace {

// Bytes of pixels in one row of an image, without the padding a row may have.
qsizetype rowBytes(int width, int depth) { return (qsizetype(width) * depth + 7) / 8; }

void writeRect(QDataStream& out, const Rect& rect)
{
    out << rect.minX() << rect.minY() << rect.width() << rect.height();
}

Rect readRect(QDataStream& in)
{
    double x = 0, y = 0, width = 0, height = 0;
    in >> x >> y >> width >> height;
    return {x, y, width, height};
}

// A count read from the stream, refused when more items than bytes remain
// (every item takes at least one byte), so corrupt counts cannot make huge
// vectors.
std::optional<quint32> readCount(QDataStream& in)
{
    quint32 count = 0;
    in >> count;
    if (in.status() != QDataStream::Ok || count > in.device()->bytesAvailable())
        return std::nullopt;
    return count;
}

QByteArray encodeAnalysis(const TextAnalysis& analysis)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << quint32(analysis.lines.size());
    for (const TextAnalysis::Line& line : analysis.lines) {
        out << line.text << line.confidence;
        writeRect(out, line.box);
        out << quint32(line.words.size());
        for (const TextAnalysis::Word& word : line.words) {
            out << word.text;
            writeRect(out, word.box);
            out << quint32(word.characters.size());
            for (const TextAnalysis::Character& character : word.characters) {
                out << character.text;
                writeRect(out, character.box);
            }
        }
    }
    return bytes;
}

std::optional<TextAnalysis> decodeAnalysis(const QByteArray& bytes)
{
    QDataStream in(bytes);
    TextAnalysis analysis;
    const std::optional<quint32> lines = readCount(in);
    for (quint32 l = 0; lines && l < *lines; ++l) {
        TextAnalysis::Line& line = analysis.lines.emplace_back();
        in >> line.text >> line.confidence;
        line.box = readRect(in);
        const std::optional<quint32> words = readCount(in);
        if (!words)
            return std::nullopt;
        for (quint32 w = 0; w < *words; ++w) {
            TextAnalysis::Word& word = line.words.emplace_back();
            in >> word.text;
            word.box = readRect(in);
            const std::optional<quint32> characters = readCount(in);
            if (!characters)
                return std::nullopt;
            for (quint32 c = 0; c < *characters; ++c) {
                TextAnalysis::Character& character = word.characters.emplace_back();
                in >> character.text;
                character.box = readRect(in);
            }
        }
    }
    if (!lines || in.status() != QDataStream::Ok || !in.atEnd())
        return std::nullopt;
    return analysis;
}

} // namespace

bool RecognitionWire::writeAnalyze(std::uint64_t id, const QImage& image) const
{
    QByteArray header;
    QDataStream out(&header, QIODevice::WriteOnly);
    out << qint32(image.width()) << qint32(image.height()) << qint32(image.format());
    return writeMessage(Kind::analyze, id, header, &image);
}

bool RecognitionWire::writeCancel(std::uint64_t id) const { return writeMessage(Kind::cancel, id, {}); }

bool RecognitionWire::writeForget() const { return writeMessage(Kind::forget, 0, {}); }

bool RecognitionWire::writeAnalysis(std::uint64_t id, const TextAnalysis& analysis) const
{
    return writeMessage(Kind::analysis, id, encodeAnalysis(analysis));
}

bool RecognitionWire::writeCancelled(std::uint64_t id) const
{
    return writeMessage(Kind::cancelled, id, {});
}

bool RecognitionWire::writeFailure(std::uint64_t id, const QString& reason) const
{
    return writeMessage(Kind::failure, id, reason.toUtf8());
}

bool RecognitionWire::writeMessage(Kind kind, std::uint64_t id, const QByteArray& payload,
                                   const QImage* pixels) const
{
    const qsizetype row = pixels ? rowBytes(pixels->width(), pixels->depth()) : 0;
    const Header header{kind, 0, id,
                        std::uint64_t(payload.size()) + std::uint64_t(row) * (pixels ? pixels->height() : 0)};
    if (!writeAll(&header, sizeof header) || !writeAll(payload.constData(), payload.size()))
        return false;
    if (!pixels)
        return true;
    // Rows without their padding; in one piece when the image has none.
    if (pixels->bytesPerLine() == row)
        return writeAll(pixels->constBits(), std::size_t(row) * pixels->height());
    for (int y = 0; y < pixels->height(); ++y) {
        if (!writeAll(pixels->constScanLine(y), std::size_t(row)))
            return false;
    }
    return true;
}

bool RecognitionWire::writeAll(const void* data, std::size_t size) const
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t sent = ::send(m_fd, bytes, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes += sent;
        size -= std::size_t(sent);
    }
    return true;
}

bool RecognitionWire::readAll(void* data, std::size_t size) const
{
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = ::read(m_fd, bytes, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        bytes += got;
        size -= std::size_t(got);
    }
    return true;
}

std::optional<RecognitionWire::Message> RecognitionWire::read() const
{
    Header header{};
    if (!readAll(&header, sizeof header) || header.length > maximumPayload)
        return std::nullopt;
    Message message;
    message.kind = header.kind;
    message.id = header.id;
    if (header.kind == Kind::analyze) {
        std::optional<QImage> image = readImage(header.length);
        if (!image)
            return std::nullopt;
        message.image = std::move(*image);
        return message;
    }
    QByteArray payload(qsizetype(header.length), Qt::Uninitialized);
    if (!readAll(payload.data(), std::size_t(payload.size())))
        return std::nullopt;
    switch (header.kind) {
    case Kind::cancel:
    case Kind::forget:
    case Kind::cancelled: return payload.isEmpty() ? std::optional(message) : std::nullopt;
    case Kind::failure: message.reason = QString::fromUtf8(payload); return message;
    case Kind::analysis: {
        std::optional<TextAnalysis> analysis = decodeAnalysis(payload);
        if (!analysis)
            return std::nullopt;
        message.analysis = std::move(*analysis);
        return message;
    }
    case Kind::analyze: break;
    }
    return std::nullopt;
}

std::optional<QImage> RecognitionWire::readImage(std::uint64_t length) const
{
    qint32 width = 0, height = 0, format = 0;
    constexpr std::size_t headerBytes = 3 * sizeof(qint32);
    QByteArray header(headerBytes, Qt::Uninitialized);
    if (length < headerBytes || !readAll(header.data(), headerBytes))
        return std::nullopt;
    QDataStream in(header);
    in >> width >> height >> format;
    if (width <= 0 || height <= 0 || width > maximumSide || height > maximumSide
        || format <= QImage::Format_Invalid || format >= QImage::NImageFormats)
        return std::nullopt;
    QImage image(width, height, QImage::Format(format));
    const qsizetype row = rowBytes(width, image.depth());
    if (image.isNull() || length - headerBytes != std::uint64_t(row) * std::uint64_t(height))
        return std::nullopt;
    // Sent in sRGB.
    image.setColorSpace(QColorSpace::SRgb);
    populatePages(image.bits(), std::size_t(image.sizeInBytes()));
    if (image.bytesPerLine() == row)
        return readAll(image.bits(), std::size_t(row) * height) ? std::optional(image) : std::nullopt;
    for (int y = 0; y < height; ++y) {
        if (!readAll(image.scanLine(y), std::size_t(row)))
            return std::nullopt;
    }
    return image;
}

} // namespace kelpie
