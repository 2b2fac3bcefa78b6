#include "editor/FileDialogSavePanel.h"

#include "editor/CoreAppearance.h"
#include "editor/SaveFormatAccessory.h"

#include <QDialog>
#include <QFontInfo>
#include <QGridLayout>
#include <QLineEdit>

namespace kelpie {

SaveDialog::SaveDialog(QWidget* parent) : QFileDialog(parent)
{
    setOption(QFileDialog::DontUseNativeDialog);
    // The desktop's font at its size, with the Chinese families named so
    // that the labels keep their size on scaled screens.
    setFont(CoreAppearance::systemFont(QFontInfo(font()).pixelSize()));
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setLabelText(QFileDialog::Accept, QStringLiteral("保存"));
    setLabelText(QFileDialog::FileName, QStringLiteral("文件名："));
    setLabelText(QFileDialog::LookIn, QStringLiteral("位置："));
    setLabelText(QFileDialog::Reject, QStringLiteral("取消"));
    setWindowTitle(QStringLiteral("保存"));
    // The format row below is the one type choice; the dialog's own file
    // type row would only repeat it.
    for (const char* name : {"fileTypeCombo", "fileTypeLabel"})
        if (auto* part = findChild<QWidget*>(QString::fromLatin1(name)))
            part->hide();
    m_accessory = new SaveFormatAccessory(this, this);
    // Below everything else in the dialog's grid, across all its columns.
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(m_accessory, grid->rowCount(), 0, 1, grid->columnCount(), Qt::AlignLeft);
}

void SaveDialog::accept()
{
    auto* field = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    const ImageType type = m_accessory->type();
    if (field && !field->text().isEmpty()
        && !SaveFormatAccessory::hasExtensionOf(field->text(), type))
        field->setText(SaveFormatAccessory::rewrittenFileName(field->text(), type));
    QFileDialog::accept();
}

bool FileDialogSavePanel::hasAttachedSheet(QWidget* window) const
{
    if (!window)
        return false;
    const auto dialogs = window->findChildren<QDialog*>(Qt::FindDirectChildrenOnly);
    for (const QDialog* dialog : dialogs)
        if (dialog->isVisible() && dialog->windowModality() != Qt::NonModal)
            return true;
    return false;
}

QFileDialog* FileDialogSavePanel::makeDialog(QWidget* window, const Request& request)
{
    auto* dialog = new SaveDialog(window);
    dialog->setWindowModality(Qt::WindowModal);
    if (!request.directory.isEmpty())
        dialog->setDirectory(request.directory);
    dialog->selectFile(request.fileName);
    // Applies the PNG restriction to the name just put in.
    dialog->accessory()->changeFormat();
    return dialog;
}

SaveFormatAccessory* FileDialogSavePanel::accessory(QFileDialog* dialog)
{
    auto* saveDialog = qobject_cast<SaveDialog*>(dialog);
    return saveDialog ? saveDialog->accessory() : nullptr;
}

void FileDialogSavePanel::present(QWidget* window, const Request& request, Completion completion)
{
    QFileDialog* dialog = makeDialog(window, request);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    SaveFormatAccessory* formats = accessory(dialog);
    // The connection belongs to the dialog: when the window (and with it the
    // dialog) goes away first, the completion never runs.
    QObject::connect(dialog, &QFileDialog::finished, dialog,
                     [dialog, formats, completion = std::move(completion)](int result) {
                         const QStringList files = dialog->selectedFiles();
                         if (result == QDialog::Accepted && !files.isEmpty()
                             && !files.first().isEmpty())
                             completion(Choice{files.first(), formats->type()});
                         else
                             completion(std::nullopt);
                     });
    dialog->open();
}

} // namespace kelpie
