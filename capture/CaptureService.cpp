#include "capture/CaptureService.h"

#include <QGuiApplication>
#include <QScreen>

namespace kelpie {

CaptureService::~CaptureService() = default;

QFuture<bool> CaptureService::requestAccess() { return QtFuture::makeReadyFuture(hasAccess()); }

QScreen* CaptureService::screen(std::uint32_t number) const
{
    if (number == 0)
        return nullptr;
    const QList<QScreen*> current = QGuiApplication::screens();
    for (QScreen* candidate : current) {
        if (displayNumber(candidate) == number)
            return candidate;
    }
    return nullptr;
}

} // namespace kelpie
