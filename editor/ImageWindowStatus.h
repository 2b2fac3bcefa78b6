#pragma once

#include <QString>

namespace kelpie {

// The texts of the editor's one-line status label. Routine statuses (the
// image's size, recognition progress, what can be done with the recognised
// text) are replaced as the state changes and hidden over the frozen screen
// and on pins; messages (errors, "图片已复制") stay until replaced.
namespace ImageWindowStatus {

inline const QString recognizing = QStringLiteral("正在识别文字…");
inline const QString editingInProgress = QStringLiteral("正在编辑…");
inline const QString copyTitle = QStringLiteral("复制");
inline const QString copyTextTitle = QStringLiteral("复制文字");
inline const QString completeTooltip = QStringLiteral("完成（回车）");

// "<width> × <height> px" of the base image.
QString imageDimensions(int width, int height);

// What the status says when nothing else needs saying: the size alone
// while the text layer is hidden, else whether text was found.
QString contextualStatus(bool overlayVisible, const QString& fullText,
                         const QString& imageDimensions);

// A routine status, hidden in the screenshot editor and on pins.
bool hidesRoutineStatus(const QString& status, const QString& imageDimensions);

// A status that updateControls replaces with the contextual one.
bool isContextual(const QString& status, const QString& imageDimensions);

// "复制文字" while recognised text is selected in the visible text layer,
// else "复制".
QString copyButtonTitle(bool overlayVisible, bool hasActiveSelection, const QString& selectedText);

} // namespace ImageWindowStatus
} // namespace kelpie
