#include "text/SecretMasks.h"

#include "tests/text/SecretFixture.h"
#include "text/SecretPreview.h"

#include <Qt>

#include <gtest/gtest.h>

namespace {

using namespace kelpie;

// The two-secret screenshot, its secrets and a pixelating mask style.
struct SecretScene : SecretFixture::Scene {
    std::vector<SecretMatch> secrets = SecretFinder::find(analysis);
    AnnotationStyle style = [] {
        AnnotationStyle result = AnnotationStyle::initial(AnnotationTool::mask, 1);
        result.maskEffect = MaskEffect::pixelate;
        result.maskStrength = 12;
        result.maskBrush = true; // the masks cover rectangles whatever the brush says
        return result;
    }();
};

TEST(SecretMasks, RectanglesTurnIntoAnnotationSpaceWithinTheImage)
{
    const Size size{400, 200};
    EXPECT_EQ(SecretMasks::annotationRect(Rect(10, 20, 30, 10), size), Rect(10, 170, 30, 10));
    EXPECT_EQ(SecretMasks::annotationRect(Rect(-3, -3, 20, 10), size), Rect(0, 193, 17, 7));
    EXPECT_TRUE(SecretMasks::annotationRect(Rect(500, 20, 30, 10), size).isEmpty());
}

TEST(SecretMasks, OneMaskPerSecretInTheToolsEffectAsOneUndoStep)
{
    SecretScene scene;
    ASSERT_EQ(scene.secrets.size(), 2u);
    EXPECT_EQ(SecretMasks::apply(scene.document, scene.secrets, scene.style), 2);
    const AnnotationObjectList& objects = scene.document.state().objects;
    ASSERT_EQ(objects.size(), 2);
    for (const AnnotationObject& object : objects) {
        EXPECT_EQ(object.tool(), AnnotationTool::mask);
        EXPECT_EQ(object.style.maskEffect, MaskEffect::pixelate);
        EXPECT_EQ(object.style.maskStrength, 12);
        EXPECT_FALSE(object.style.maskBrush);
    }
    // The first mask covers "s3cret99" (image rows 10…24 grown by the
    // margin), flipped into annotation space.
    const Rect expected = SecretMasks::annotationRect(scene.secrets[0].rects[0], Size{400, 200});
    EXPECT_EQ(objects[0].bounds(), expected);
    EXPECT_EQ(objects[0].bounds().maxY(), 200 - (10 - SecretFinder::margin));
    EXPECT_EQ(scene.document.undoStates().size(), 1);
    scene.document.undo();
    EXPECT_TRUE(scene.document.state().objects.isEmpty());
}

TEST(SecretMasks, SecretsAlreadyHiddenAddNothing)
{
    SecretScene scene;
    SecretMasks::apply(scene.document, scene.secrets, scene.style);
    const auto revision = scene.document.revision();
    // Running the command again on the same matches finds them covered.
    EXPECT_EQ(SecretMasks::apply(scene.document, scene.secrets, scene.style), 2);
    EXPECT_EQ(scene.document.revision(), revision);
    EXPECT_EQ(scene.document.state().objects.size(), 2);
    // Nothing found, nothing committed.
    EXPECT_EQ(SecretMasks::apply(scene.document, {}, scene.style), 0);
    EXPECT_EQ(scene.document.revision(), revision);
}

TEST(SecretMasks, InvalidToolStyleAndOpenTransaction)
{
    SecretScene scene;
    AnnotationStyle broken = scene.style;
    broken.maskStrength = 0; // out of range
    scene.document.beginTransaction();
    EXPECT_EQ(SecretMasks::apply(scene.document, scene.secrets, broken), 0);
    scene.document.endTransaction();
    EXPECT_TRUE(scene.document.state().objects.isEmpty());
    EXPECT_EQ(SecretMasks::apply(scene.document, scene.secrets, broken), 2);
    EXPECT_TRUE(scene.document.state().objects[0].style.valid());
}

TEST(SecretMasks, StatusTexts)
{
    EXPECT_EQ(SecretMasks::statusText(0, 0), QStringLiteral("没有发现敏感信息"));
    EXPECT_EQ(SecretMasks::statusText(3, 3), QStringLiteral("已遮盖 3 处敏感信息"));
    EXPECT_EQ(SecretMasks::statusText(3, 2), QStringLiteral("已遮盖 2 处敏感信息"));
}

TEST(SecretPreview, ClickLeavesOneVisibleAndReturnAppliesTheRest)
{
    SecretScene scene;
    SecretPreview preview(scene.document, scene.secrets);
    ASSERT_EQ(preview.items().size(), 2u);
    EXPECT_EQ(preview.items()[0].name, QStringLiteral("密码或验证码"));
    EXPECT_EQ(preview.items()[1].name, QStringLiteral("电子邮箱"));
    // Clicks come in annotation space: the e-mail row (image y 70…84) lies
    // at y 116…130 there.
    EXPECT_EQ(preview.itemAt(Point{100, 120}), 1);
    EXPECT_EQ(preview.itemAt(Point{100, 20}), -1);
    EXPECT_TRUE(preview.click(Point{100, 120}));
    EXPECT_FALSE(preview.items()[1].masked);
    EXPECT_FALSE(preview.click(Point{5, 5}));
    EXPECT_EQ(preview.maskedCount(), 1);
    EXPECT_TRUE(scene.document.state().objects.isEmpty()); // nothing before confirmation

    EXPECT_FALSE(preview.handleKey(Qt::Key_A, scene.document, scene.style));
    EXPECT_TRUE(preview.handleKey(Qt::Key_Return, scene.document, scene.style));
    EXPECT_EQ(preview.state(), SecretPreview::State::applied);
    EXPECT_EQ(preview.statusText(), QStringLiteral("已遮盖 1 处敏感信息"));
    ASSERT_EQ(scene.document.state().objects.size(), 1);
    EXPECT_EQ(scene.document.state().objects[0].bounds(), preview.items()[0].areas[0]);
    // Closed: further clicks and keys change nothing.
    EXPECT_FALSE(preview.toggle(1));
    EXPECT_FALSE(preview.handleKey(Qt::Key_Return, scene.document, scene.style));
    EXPECT_EQ(scene.document.state().objects.size(), 1);
}

TEST(SecretPreview, EscapeCancelsAndAStaleDocumentRefusesToApply)
{
    SecretScene scene;
    SecretPreview cancelled(scene.document, scene.secrets);
    EXPECT_TRUE(cancelled.handleKey(Qt::Key_Escape, scene.document, scene.style));
    EXPECT_EQ(cancelled.state(), SecretPreview::State::cancelled);
    EXPECT_FALSE(cancelled.apply(scene.document, scene.style));
    EXPECT_TRUE(scene.document.state().objects.isEmpty());

    SecretPreview stale(scene.document, scene.secrets);
    AnnotationState edited = scene.document.state();
    edited.objects.append(
        AnnotationObject(AnnotationTool::rectangle, scene.style, Point{1, 1}, Point{5, 5}));
    scene.document.commit(edited);
    EXPECT_FALSE(stale.apply(scene.document, scene.style));
    EXPECT_TRUE(stale.isOpen());
    EXPECT_EQ(scene.document.state().objects.size(), 1);
}

TEST(SecretPreview, LeavingEverySecretVisibleMasksNothing)
{
    SecretScene scene;
    SecretPreview preview(scene.document, scene.secrets);
    preview.toggle(0);
    preview.toggle(1);
    EXPECT_TRUE(preview.toggle(1));
    EXPECT_TRUE(preview.toggle(1));
    EXPECT_TRUE(preview.apply(scene.document, scene.style));
    EXPECT_EQ(preview.statusText(), QStringLiteral("已遮盖 0 处敏感信息"));
    EXPECT_TRUE(scene.document.state().objects.isEmpty());
    EXPECT_FALSE(scene.document.canUndo());
}

} // namespace
