#include "editor/ImageOutputs.h"

#include "editor/ImageFile.h"
#include "editor/SaveFormatAccessory.h"
#include "settings/AppPreferences.h"

#include <QDir>
#include <QFileInfo>

namespace kelpie {

const QString ImageOutputs::unfinishedEditMessage = QStringLiteral("请先完成当前编辑");
const QString ImageOutputs::compositeFailedMessage = QStringLiteral("图片合成失败，请撤销后重试");
const QString ImageOutputs::encodingFailedMessage = QStringLiteral("图片编码失败");
const QString ImageOutputs::copyFailedMessage = QStringLiteral("复制失败，请重试");
const QString ImageOutputs::imageCopiedMessage = QStringLiteral("图片已复制");
const QString ImageOutputs::textCopiedMessage = QStringLiteral("文字已复制");
const QString ImageOutputs::selectTextFirstMessage = QStringLiteral("请先选择文字");
const QString ImageOutputs::noTextMessage = QStringLiteral("当前没有可复制文字");
const QString ImageOutputs::imageSavedMessage = QStringLiteral("图片已保存");
const QString ImageOutputs::saveFailedMessage
    = QStringLiteral("保存失败，请检查目录权限与可用空间");

ImageOutputs::ImageOutputs(OutputHost& host, std::shared_ptr<ImageClipboard> clipboard,
                           std::shared_ptr<SavePanel> savePanel,
                           std::shared_ptr<AppPreferences> preferences)
    : m_host(host), m_clipboard(std::move(clipboard)), m_savePanel(std::move(savePanel)),
      m_preferences(std::move(preferences)), m_now([] { return QDateTime::currentDateTimeUtc(); }),
      m_self(std::make_shared<ImageOutputs*>(this))
{
}

ImageOutputs::~ImageOutputs() = default;

void ImageOutputs::setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

bool ImageOutputs::passesOutputGuard()
{
    // The plain editor's outputs go straight on; the others first commit a
    // text object being typed, and stop silently when it cannot be.
    if (!m_host.isScreenshot() && !m_host.isPinned())
        return true;
    return !m_host.textBeingTyped() || m_host.finishTextEditing();
}

std::optional<QImage> ImageOutputs::stableImage()
{
    if (m_host.isClosed() || m_host.isAdjusting() || m_host.hasDraft() || m_host.inTransaction()) {
        m_host.setStatus(unfinishedEditMessage);
        return std::nullopt;
    }
    std::optional<QImage> composite = m_host.composite();
    if (!composite || composite->isNull()) {
        m_host.setStatus(compositeFailedMessage);
        return std::nullopt;
    }
    return composite;
}

void ImageOutputs::writeImageToClipboard(bool closeAfter)
{
    if (!passesOutputGuard())
        return;
    const std::optional<QImage> image = stableImage();
    if (!image)
        return;
    const std::optional<QByteArray> png = ImageEncoding::data(*image, ImageType::png);
    if (!png) {
        m_host.setStatus(encodingFailedMessage);
        return;
    }
    if (!m_clipboard || !m_clipboard->writePng(*png)) {
        m_host.setStatus(copyFailedMessage);
        return;
    }
    m_host.setStatus(imageCopiedMessage);
    if (closeAfter && !m_host.isPinned())
        m_host.closeWindow();
}

void ImageOutputs::copyImage() { writeImageToClipboard(true); }

bool ImageOutputs::writeTextToClipboard(const QString& text)
{
    const bool written = m_clipboard && m_clipboard->writeText(text).ok();
    m_host.setStatus(written ? textCopiedMessage : copyFailedMessage);
    return written;
}

void ImageOutputs::copy()
{
    const QString text = m_host.selectedLiveText();
    if (!text.isEmpty()) {
        writeTextToClipboard(text);
        return;
    }
    // The screenshot editor stays open for ⌘C; the plain editor closes after
    // an image copy; a pinned window never closes itself.
    writeImageToClipboard(!m_host.isScreenshot());
}

void ImageOutputs::copySelectedText(const QString& selected)
{
    if (m_host.hasDraft() || m_host.inTransaction() || selected.isEmpty()) {
        m_host.setStatus(selectTextFirstMessage);
        return;
    }
    writeTextToClipboard(selected);
}

void ImageOutputs::copyAllText(const QString& fullText)
{
    if (m_host.hasDraft() || m_host.inTransaction() || fullText.isEmpty()) {
        m_host.setStatus(noTextMessage);
        return;
    }
    writeTextToClipboard(fullText);
}

void ImageOutputs::toolbarCopy()
{
    if (!passesOutputGuard())
        return;
    copy();
}

void ImageOutputs::completeScreenshot()
{
    if (!passesOutputGuard())
        return;
    if (m_host.isScreenshot()) {
        const QString text = m_host.selectedLiveText();
        if (!text.isEmpty()) {
            if (writeTextToClipboard(text))
                m_host.closeWindow();
            return;
        }
    }
    writeImageToClipboard(true);
}

void ImageOutputs::saveImage()
{
    if (!passesOutputGuard())
        return;
    if (!stableImage())
        return;
    QWidget* window = m_host.dialogParent();
    if (!window || !m_savePanel || m_saveDialogOpen || m_savePanel->hasAttachedSheet(window))
        return;

    SavePanel::Request request;
    request.directory = saveDirectory();
    request.fileName = SaveFormatAccessory::proposedFileName(m_now());

    m_saveDialogOpen = true;
    const std::weak_ptr<ImageOutputs*> self = m_self;
    m_savePanel->present(window, request, [self](std::optional<SavePanel::Choice> choice) {
        const auto alive = self.lock();
        if (!alive)
            return; // the outputs went away with their window
        ImageOutputs& outputs = **alive;
        outputs.m_saveDialogOpen = false;
        if (choice)
            outputs.finishSave(*choice);
    });
}

QString ImageOutputs::saveDirectory() const
{
    if (auto configured = m_preferences ? m_preferences->usableSaveDirectory() : std::nullopt)
        return configured->toLocalFile();
    // Not every desktop has a Desktop folder: a dialog opened on a missing
    // one would write nowhere, so the home folder stands in for it.
    const std::optional<QUrl> fallback = AppPreferences::defaultSaveDirectory();
    if (fallback && QFileInfo(fallback->toLocalFile()).isDir())
        return fallback->toLocalFile();
    return QDir::homePath();
}

void ImageOutputs::finishSave(const SavePanel::Choice& choice)
{
    if (m_host.isClosed() || choice.path.isEmpty())
        return;
    // Edits made while the dialog was open are saved too.
    const std::optional<QImage> image = stableImage();
    if (!image)
        return;
    const std::optional<QByteArray> bytes = ImageEncoding::data(*image, choice.type);
    if (!bytes) {
        m_host.setStatus(encodingFailedMessage);
        return;
    }
    const bool written = ImageFile::write(choice.path, *bytes).ok();
    m_host.setStatus(written ? imageSavedMessage : saveFailedMessage);
}

void ImageOutputs::pinImage()
{
    if (!passesOutputGuard())
        return;
    if (!stableImage())
        return;
    m_host.pinDocumentCopy();
    if (m_host.isScreenshot())
        m_host.closeWindow();
}

} // namespace kelpie
