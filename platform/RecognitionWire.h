#pragma once

#include "text/TextAnalysis.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <optional>

namespace kelpie {

// The messages between Kelpie and its text recognition helper process, over
// one stream socket. Both ends are the same build on the same machine, so
// numbers travel in the machine's own byte order. Every message is a fixed
// header (kind, request id, payload length) and its payload:
//
//   analyze  the image (size, format, pixel rows), already in sRGB
//   cancel   nothing; the request's analysis stops and answers `cancelled`
//   forget   nothing; the recogniser forgets the lines it has read
//   analysis the lines found
//   cancelled, failure   nothing / the recogniser's reason
//
// Reads and writes block; a write to a peer that is gone fails rather than
// raising SIGPIPE. Whatever a read cannot take as a whole message (a short
// read, a payload too large, an image whose numbers do not add up) ends the
// conversation: read() returns nothing.
class RecognitionWire {
public:
    enum class Kind : std::uint32_t { analyze = 1, cancel, analysis, cancelled, failure, forget };

    struct Message {
        Kind kind = Kind::cancel;
        std::uint64_t id = 0;
        QImage image; // analyze
        TextAnalysis analysis; // analysis
        QString reason; // failure
    };

    explicit RecognitionWire(int fd) : m_fd(fd) { }

    bool writeAnalyze(std::uint64_t id, const QImage& image) const;
    bool writeCancel(std::uint64_t id) const;
    bool writeForget() const;
    bool writeAnalysis(std::uint64_t id, const TextAnalysis& analysis) const;
    bool writeCancelled(std::uint64_t id) const;
    bool writeFailure(std::uint64_t id, const QString& reason) const;

    std::optional<Message> read() const;

    // The largest image side and payload accepted, so that a corrupt length
    // never becomes a huge allocation.
    static constexpr int maximumSide = 32768;
    static constexpr std::uint64_t maximumPayload = std::uint64_t(1) << 31;

private:
    struct Header {
        Kind kind;
        std::uint32_t reserved;
        std::uint64_t id;
        std::uint64_t length;
    };

    bool writeMessage(Kind kind, std::uint64_t id, const QByteArray& payload,
                      const QImage* pixels = nullptr) const;
    bool writeAll(const void* data, std::size_t size) const;
    bool readAll(void* data, std::size_t size) const;
    std::optional<QImage> readImage(std::uint64_t length) const;

    int m_fd;
};

} // namespace kelpie
