#include "editor/FileDialogSavePanel.h"

#include "editor/CoreAppearance.h"
#include "editor/SaveFormatAccessory.h"
#include "editor/WindowLevel.h"

#include <QDialog>
#include <QFontInfo>
#include <QGridLayout>
#include <QLineEdit>

#include <memory>

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
    // Above its window, also when that is a pin or the screenshot editor
    // covering the screen (which the window manager does not stack).
    const int level = WindowLevel::of(window ? window->window() : nullptr);
    if (level > WindowLevel::normal)
        WindowLevel::set(dialog, level + 1);
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
    // Answered once: on accept or reject, or (as a cancel) when the dialog
    // is destroyed with its window before either.
    auto answered = std::make_shared<bool>(false);
    auto answer = [answered, completion = std::move(completion)](std::optional<Choice> choice) {
        if (*answered)
            return;
        *answered = true;
        completion(std::move(choice));
    };
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, formats, answer](int result) {
        const QStringList files = dialog->selectedFiles();
        if (result == QDialog::Accepted && !files.isEmpty() && !files.first().isEmpty())
            answer(Choice{files.first(), formats->type()});
        else
            answer(std::nullopt);
    });
    QObject::connect(dialog, &QObject::destroyed, [answer] { answer(std::nullopt); });
    dialog->open();
}

} // namespace kelpie
