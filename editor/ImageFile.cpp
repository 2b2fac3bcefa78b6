#include "editor/ImageFile.h"

#include <QSaveFile>

namespace kelpie {

Status<ImageFileError> ImageFile::write(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    // Never fall back to writing the target in place: a failure half-way
    // would leave a truncated image under the user's name.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return {ImageFileError::cannotCreate, file.errorString().toStdString()};
    if (file.write(bytes) != bytes.size()) {
        const std::string detail = file.errorString().toStdString();
        file.cancelWriting();
        return {ImageFileError::cannotWrite, detail};
    }
    if (!file.commit())
        return {ImageFileError::cannotWrite, file.errorString().toStdString()};
    return Done{};
}

} // namespace kelpie
