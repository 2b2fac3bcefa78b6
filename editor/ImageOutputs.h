#pragma once

#include "editor/ImageClipboard.h"
#include "editor/ImageEncoding.h"
#include "editor/OutputHost.h"
#include "editor/SavePanel.h"

#include <QDateTime>
#include <QImage>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace kelpie {

class AppPreferences;

// The outputs of an editor or pinned window: copy to the clipboard, save
// through the save dialog, pin. All of them take the same stable composite
// and refuse while the user is in the middle of something. The window owns
// one and forwards its actions to it; everything about the window is asked
// through OutputHost.
class ImageOutputs {
public:
    static const QString unfinishedEditMessage;  // "请先完成当前编辑"
    static const QString compositeFailedMessage; // "图片合成失败，请撤销后重试"
    static const QString encodingFailedMessage;  // "图片编码失败"
    static const QString copyFailedMessage;      // "复制失败，请重试"
    static const QString imageCopiedMessage;     // "图片已复制"
    static const QString textCopiedMessage;      // "文字已复制"
    static const QString imageSavedMessage;      // "图片已保存"
    static const QString saveFailedMessage; // "保存失败，请检查目录权限与可用空间"
    static const QString selectTextFirstMessage; // "请先选择文字"
    static const QString noTextMessage;          // "当前没有可复制文字"

    ImageOutputs(OutputHost& host, std::shared_ptr<ImageClipboard> clipboard,
                 std::shared_ptr<SavePanel> savePanel, std::shared_ptr<AppPreferences> preferences);
    ~ImageOutputs();

    ImageOutputs(const ImageOutputs&) = delete;
    ImageOutputs& operator=(const ImageOutputs&) = delete;

    // The clock that names proposed files; the system clock unless replaced.
    void setClock(std::function<QDateTime()> now);

    // The composite when an output may run now; otherwise absent after
    // putting the reason in the status.
    std::optional<QImage> stableImage();
    void writeImageToClipboard(bool closeAfter);
    // The menu's "copy image": the composite, closing unless pinned.
    void copyImage();
    // The "copy" action: the selected live text when there is some, otherwise
    // the composite (closing only the plain editor).
    void copy();
    // The tool-bar copy button outside the plain editor.
    void toolbarCopy();
    // Return in the screenshot editor: copy the selected text or the image, then close.
    void completeScreenshot();
    // Opens the save dialog; the write happens when it is accepted.
    void saveImage();
    void pinImage();
    // Live text to the clipboard as plain text, never while a gesture or a
    // transaction is in progress: the overlay's selection (`selected`, empty
    // when the overlay is hidden) or its whole text.
    void copySelectedText(const QString& selected);
    void copyAllText(const QString& fullText);

    // A save dialog opened by saveImage() is still showing.
    bool saveDialogOpen() const { return m_saveDialogOpen; }

private:
    // Finishes a text object being typed in the screenshot editor and pinned
    // mode; false when the output must stop (silently).
    bool passesOutputGuard();
    // Puts text on the clipboard with its status; true when it got there.
    bool writeTextToClipboard(const QString& text);
    void finishSave(const SavePanel::Choice& choice);
    // The configured folder when usable, else the Desktop when it exists,
    // else the home folder.
    QString saveDirectory() const;

    OutputHost& m_host;
    std::shared_ptr<ImageClipboard> m_clipboard;
    std::shared_ptr<SavePanel> m_savePanel;
    std::shared_ptr<AppPreferences> m_preferences;
    std::function<QDateTime()> m_now;
    bool m_saveDialogOpen = false;
    // Lets a dialog completion that outlives this object do nothing.
    std::shared_ptr<ImageOutputs*> m_self;
};

} // namespace kelpie
