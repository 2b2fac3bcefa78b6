#include "annotation/AnnotationState.h"

#include <gtest/gtest.h>

using namespace kelpie;

namespace {

AnnotationObject text(Rect r)
{
    AnnotationObject t(AnnotationTool::text, AnnotationStyle(), r.origin, {r.maxX(), r.maxY()});
    t.text = QStringLiteral("secret");
    return t;
}

AnnotationObject filledRect(Rect r)
{
    AnnotationStyle s;
    s.filled = true;
    return AnnotationObject(AnnotationTool::rectangle, s, r.origin, {r.maxX(), r.maxY()});
}

QList<QUuid> ids(const AnnotationObjectList& objects)
{
    QList<QUuid> result;
    for (const AnnotationObject& o : objects)
        result.append(o.id());
    return result;
}

} // namespace

TEST(AnnotationState, NewStateIsEmptyAndNumbersFromOne)
{
    const AnnotationState s;
    EXPECT_TRUE(s.objects.isEmpty());
    EXPECT_EQ(s.nextNumber, 1);
    EXPECT_EQ(s, AnnotationState());
    AnnotationState other;
    other.nextNumber = 2;
    EXPECT_NE(s, other);
}

TEST(AnnotationState, OcclusionsInObjectOrder)
{
    AnnotationState s;
    s.objects = {filledRect(Rect(0, 0, 10, 10)), text(Rect(5, 5, 10, 10)),
                 AnnotationObject(AnnotationTool::number, AnnotationStyle(), {50, 50}, {70, 70})};
    EXPECT_EQ(s.occlusions(), (QList<Rect>{Rect(0, 0, 10, 10), Rect(50, 50, 20, 20)}));
}

TEST(AnnotationState, TextUnderALaterCoverIsNotSafe)
{
    const AnnotationObject secret = text(Rect(10, 10, 100, 30));
    const AnnotationObject cover = filledRect(Rect(50, 0, 100, 100));

    AnnotationState under;
    under.objects = {secret, cover};
    EXPECT_TRUE(under.safeTextOverlays().isEmpty());

    AnnotationState above;
    above.objects = {cover, secret};
    EXPECT_EQ(ids(above.safeTextOverlays()), QList<QUuid>{secret.id()});

    // An unfilled rectangle on top hides nothing; only text ever counts.
    AnnotationObject outline = cover;
    outline.style.filled = false;
    AnnotationState outlined;
    outlined.objects = {secret, outline};
    EXPECT_EQ(ids(outlined.safeTextOverlays()), QList<QUuid>{secret.id()});
}

TEST(AnnotationState, SafeTextKeepsOrderAndIgnoresItsOwnBackground)
{
    AnnotationObject boxed = text(Rect(0, 0, 50, 20));
    boxed.style.textBackground = true;
    const AnnotationObject far = text(Rect(300, 300, 50, 20));
    const AnnotationObject covered = text(Rect(100, 100, 50, 20));
    AnnotationObject mask(AnnotationTool::mask, AnnotationStyle(), {120, 110}, {130, 115});
    // A later text on a background covers an earlier text it overlaps.
    AnnotationObject overlapping = text(Rect(20, 10, 50, 20));
    overlapping.style.textBackground = true;

    AnnotationState s;
    s.objects = {boxed, far, covered, mask, overlapping};
    EXPECT_EQ(ids(s.safeTextOverlays()), (QList<QUuid>{far.id(), overlapping.id()}));
}
