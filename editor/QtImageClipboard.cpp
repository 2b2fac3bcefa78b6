#include "editor/QtImageClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>

namespace kelpie {

namespace {

// Hands the data to the clipboard and checks that it holds it now. The
// clipboard takes ownership; it deletes the data when it cannot keep it,
// which the guarded pointer notices.
Status<ClipboardError> setAndConfirm(QMimeData* data)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) {
        delete data;
        return {ClipboardError::unavailable, "no clipboard"};
    }
    const QPointer<QMimeData> offered(data);
    clipboard->setMimeData(data, QClipboard::Clipboard);
    // On X11 this asks the server who owns CLIPBOARD: our own data comes
    // back only while this client is the owner.
    if (!offered || clipboard->mimeData(QClipboard::Clipboard) != offered.data())
        return {ClipboardError::refused, "the clipboard did not keep the data"};
    return Done{};
}

} // namespace

Status<ClipboardError> QtImageClipboard::writePng(const QByteArray& png)
{
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(pngMimeType), png);
    return setAndConfirm(data);
}

Status<ClipboardError> QtImageClipboard::writeText(const QString& text)
{
    auto* data = new QMimeData;
    data->setText(text);
    return setAndConfirm(data);
}

} // namespace kelpie
