#include "editor/ImageWindowStatus.h"

#include <gtest/gtest.h>

using namespace kelpie;
namespace S = ImageWindowStatus;

TEST(ImageWindowStatus, DimensionsAndContextualText)
{
    const QString dims = S::imageDimensions(300, 200);
    EXPECT_EQ(dims, QStringLiteral("300 × 200 px"));
    EXPECT_EQ(S::contextualStatus(false, QStringLiteral("hello"), dims), dims)
        << "a hidden text layer says only the size";
    EXPECT_EQ(S::contextualStatus(true, QString(), dims),
              QStringLiteral("没有发现文字 · 300 × 200 px"));
    EXPECT_EQ(S::contextualStatus(true, QStringLiteral("hello"), dims),
              QStringLiteral("拖选文字后 ⌘C 复制 · 300 × 200 px"));
}

TEST(ImageWindowStatus, RoutineStatusesAreHiddenMessagesStay)
{
    const QString dims = S::imageDimensions(300, 200);
    for (const QString& routine :
         {dims, S::recognizing, S::editingInProgress, S::contextualStatus(true, {}, dims),
          S::contextualStatus(true, QStringLiteral("x"), dims)})
        EXPECT_TRUE(S::hidesRoutineStatus(routine, dims)) << routine.toStdString();
    for (const QString& message :
         {QStringLiteral("图片已复制"), QStringLiteral("线宽须为 1–80 的整数"),
          S::imageDimensions(300, 201), QString()})
        EXPECT_FALSE(S::hidesRoutineStatus(message, dims)) << message.toStdString();
    // Recognition progress is routine but not replaced by the contextual text.
    EXPECT_FALSE(S::isContextual(S::recognizing, dims));
    EXPECT_TRUE(S::isContextual(dims, dims));
}

TEST(ImageWindowStatus, CopyTitleNeedsAVisibleNonEmptySelection)
{
    EXPECT_EQ(S::copyButtonTitle(true, true, QStringLiteral("abc")), QStringLiteral("复制文字"));
    EXPECT_EQ(S::copyButtonTitle(false, true, QStringLiteral("abc")), QStringLiteral("复制"));
    EXPECT_EQ(S::copyButtonTitle(true, false, QStringLiteral("abc")), QStringLiteral("复制"));
    EXPECT_EQ(S::copyButtonTitle(true, true, QString()), QStringLiteral("复制"));
}
