#include "editor/ImageWindowStatus.h"

namespace kelpie::ImageWindowStatus {
namespace {

const QString dragPrefix = QStringLiteral("拖选文字后");
const QString noTextPrefix = QStringLiteral("没有发现文字");

} // namespace

QString imageDimensions(int width, int height)
{
    return QString::number(width) + QStringLiteral(" × ") + QString::number(height)
        + QStringLiteral(" px");
}

QString contextualStatus(bool overlayVisible, const QString& fullText,
                         const QString& imageDimensions)
{
    if (!overlayVisible)
        return imageDimensions;
    if (fullText.isEmpty())
        return noTextPrefix + QStringLiteral(" · ") + imageDimensions;
    return dragPrefix + QStringLiteral(" ⌘C 复制 · ") + imageDimensions;
}

bool isContextual(const QString& status, const QString& imageDimensions)
{
    return status.startsWith(dragPrefix) || status.startsWith(noTextPrefix)
        || status == imageDimensions;
}

bool hidesRoutineStatus(const QString& status, const QString& imageDimensions)
{
    return isContextual(status, imageDimensions) || status == recognizing
        || status == editingInProgress;
}

QString copyButtonTitle(bool overlayVisible, bool hasActiveSelection, const QString& selectedText)
{
    return overlayVisible && hasActiveSelection && !selectedText.isEmpty() ? copyTextTitle
                                                                           : copyTitle;
}

} // namespace kelpie::ImageWindowStatus
