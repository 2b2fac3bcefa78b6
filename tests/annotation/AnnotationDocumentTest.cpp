#include "annotation/AnnotationDocument.h"

#include <gtest/gtest.h>

using namespace kelpie;

namespace {

QImage baseImage()
{
    QImage image(64, 48, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::darkCyan);
    return image;
}

AnnotationObject shape(double x)
{
    return AnnotationObject(AnnotationTool::rectangle, AnnotationStyle(), {x, 0}, {x + 10, 10});
}

AnnotationState with(const AnnotationState& s, const AnnotationObject& o)
{
    AnnotationState next = s;
    next.objects.append(o);
    return next;
}

// Counts notifications and remembers the revision seen by each.
struct Listener {
    int calls = 0;
    std::int64_t lastRevision = -1;

    void attach(AnnotationDocument& d)
    {
        d.onChange = [this, &d] {
            ++calls;
            lastRevision = d.revision();
        };
    }
};

} // namespace

TEST(AnnotationDocument, NewDocument)
{
    const QImage image = baseImage();
    const AnnotationDocument d(image);
    EXPECT_FALSE(d.canUndo());
    EXPECT_FALSE(d.canRedo());
    EXPECT_FALSE(d.inTransaction());
    EXPECT_EQ(d.state().nextNumber, 1);
    EXPECT_TRUE(d.state().objects.isEmpty());
    EXPECT_EQ(d.revision(), 0);
    // Shared, not copied.
    EXPECT_EQ(d.baseImage().constBits(), image.constBits());
}

TEST(AnnotationDocument, EqualCommitChangesNothing)
{
    AnnotationDocument d(baseImage());
    Listener listener;
    listener.attach(d);
    EXPECT_FALSE(d.commit(AnnotationState()));
    EXPECT_EQ(d.revision(), 0);
    EXPECT_EQ(listener.calls, 0);
    EXPECT_FALSE(d.canUndo());

    const AnnotationState one = with(d.state(), shape(0));
    EXPECT_TRUE(d.commit(one));
    EXPECT_FALSE(d.commit(one));
    EXPECT_EQ(d.revision(), 1);
    EXPECT_EQ(listener.calls, 1);
    EXPECT_EQ(listener.lastRevision, 1); // notified after the revision rose
    EXPECT_EQ(d.undoStates().size(), 1);
}

TEST(AnnotationDocument, UndoRedoWalkTheHistory)
{
    AnnotationDocument d(baseImage());
    Listener listener;
    listener.attach(d);
    const AnnotationState initial = d.state();
    const AnnotationState one = with(initial, shape(0));
    const AnnotationState two = with(one, shape(20));
    d.commit(one);
    d.commit(two);
    d.undo();
    EXPECT_EQ(d.state(), one);
    d.undo();
    EXPECT_EQ(d.state(), initial);
    EXPECT_FALSE(d.canUndo());
    EXPECT_TRUE(d.canRedo());
    EXPECT_EQ(d.redoStates(), (QList<AnnotationState>{two, one}));
    EXPECT_EQ(d.revision(), 4);
    EXPECT_EQ(listener.calls, 4);

    // Undo at the start is refused quietly.
    d.undo();
    EXPECT_EQ(d.revision(), 4);

    d.redo();
    EXPECT_EQ(d.state(), one);
    EXPECT_EQ(d.undoStates(), QList<AnnotationState>{initial});

    // A new commit forgets what was undone.
    d.commit(with(one, shape(40)));
    EXPECT_FALSE(d.canRedo());
    EXPECT_EQ(d.undoStates(), (QList<AnnotationState>{initial, one}));
    d.redo();
    EXPECT_EQ(d.revision(), 6);
}

TEST(AnnotationDocument, TransactionFoldsAGestureIntoOneStep)
{
    AnnotationDocument d(baseImage());
    Listener listener;
    listener.attach(d);
    const AnnotationState before = with(d.state(), shape(0));
    d.commit(before);
    d.undo();
    d.redo();
    ASSERT_EQ(d.revision(), 3);

    AnnotationObject resized = before.objects.front();
    d.beginTransaction();
    EXPECT_TRUE(d.inTransaction());
    for (double w : {6.0, 8.0, 10.0}) {
        resized.style.width = w;
        AnnotationState next = d.state();
        next.objects.replace(0, resized);
        EXPECT_TRUE(d.commit(next));
    }
    EXPECT_EQ(d.undoStates().size(), 1); // nothing recorded mid-gesture
    d.endTransaction();
    EXPECT_FALSE(d.inTransaction());
    EXPECT_EQ(d.revision(), 3 + 4);
    EXPECT_EQ(listener.calls, 3 + 4);
    ASSERT_EQ(d.undoStates().size(), 2);
    EXPECT_EQ(d.undoStates().last(), before);
    EXPECT_FALSE(d.canRedo());

    d.undo();
    EXPECT_EQ(d.state(), before);
}

TEST(AnnotationDocument, EmptyTransactionStillNotifiesOnce)
{
    AnnotationDocument d(baseImage());
    Listener listener;
    listener.attach(d);
    d.beginTransaction();
    d.endTransaction();
    EXPECT_FALSE(d.canUndo());
    EXPECT_EQ(d.revision(), 1);
    EXPECT_EQ(listener.calls, 1);
    // Ending again, with nothing open, does nothing.
    d.endTransaction();
    EXPECT_EQ(listener.calls, 1);

    // A gesture that changed and then changed back leaves no step either.
    const AnnotationState one = with(d.state(), shape(0));
    d.commit(one);
    d.beginTransaction();
    d.commit(with(one, shape(5)));
    d.commit(one);
    d.endTransaction();
    EXPECT_EQ(d.undoStates().size(), 1);
}

TEST(AnnotationDocument, TransactionsDoNotNestAndBlockUndo)
{
    AnnotationDocument d(baseImage());
    const AnnotationState one = with(d.state(), shape(0));
    const AnnotationState two = with(one, shape(20));
    d.commit(one);
    d.beginTransaction();
    d.commit(two);
    d.beginTransaction(); // keeps the first snapshot
    EXPECT_EQ(d.transaction(), one);

    const std::int64_t revision = d.revision();
    d.undo();
    d.redo();
    EXPECT_EQ(d.state(), two);
    EXPECT_EQ(d.revision(), revision);

    d.endTransaction();
    d.undo();
    EXPECT_EQ(d.state(), one);
    d.beginTransaction();
    d.redo();
    EXPECT_EQ(d.state(), one);
}

TEST(AnnotationDocument, UndoGivesTheBadgeNumberBack)
{
    AnnotationDocument d(baseImage());
    for (std::int64_t n = 1; n <= 3; ++n) {
        AnnotationState next = d.state();
        next.objects.append(AnnotationObject(AnnotationTool::number, AnnotationStyle(),
                                             {10.0 * n, 0}, {10.0 * n + 8, 8}, {}, n));
        next.nextNumber = n + 1;
        d.commit(next);
    }
    EXPECT_EQ(d.state().nextNumber, 4);
    d.undo();
    EXPECT_EQ(d.state().nextNumber, 3);
    EXPECT_EQ(d.state().objects.size(), 2);
}

TEST(AnnotationDocument, CopyHasItsOwnHistory)
{
    const QImage image = baseImage();
    AnnotationDocument source(image);
    Listener listener;
    listener.attach(source);
    const AnnotationState one = with(source.state(), shape(0));
    const AnnotationState two = with(one, shape(20));
    source.commit(one);
    source.commit(two);
    source.undo(); // one current, two redoable

    const auto copy = source.copied();
    EXPECT_EQ(copy->baseImage().constBits(), image.constBits());
    EXPECT_EQ(copy->state(), one);
    EXPECT_EQ(copy->undoStates(), source.undoStates());
    EXPECT_EQ(copy->redoStates(), source.redoStates());
    EXPECT_EQ(copy->revision(), source.revision());
    EXPECT_FALSE(copy->inTransaction());
    EXPECT_FALSE(copy->onChange);

    // Edits on the copy leave the source alone, and the reverse.
    copy->commit(with(one, shape(40)));
    copy->undo();
    copy->undo();
    EXPECT_EQ(copy->state(), AnnotationState());
    EXPECT_EQ(source.state(), one);
    EXPECT_TRUE(source.canRedo());
    source.redo();
    EXPECT_EQ(source.state(), two);
    EXPECT_EQ(copy->state(), AnnotationState());
    EXPECT_EQ(listener.calls, 4);
}

TEST(AnnotationDocument, CopyDuringAGestureKeepsItsStartingState)
{
    AnnotationDocument d(baseImage());
    const AnnotationState one = with(d.state(), shape(0));
    d.commit(one);
    d.beginTransaction();
    const AnnotationState dragged = with(one, shape(10));
    d.commit(dragged);

    const auto copy = d.copied();
    EXPECT_FALSE(copy->inTransaction());
    EXPECT_EQ(copy->state(), dragged);
    copy->undo();
    EXPECT_EQ(copy->state(), one);
    // The source's gesture is still open and untouched.
    EXPECT_TRUE(d.inTransaction());
    EXPECT_EQ(d.undoStates().size(), 1);
}

TEST(AnnotationDocument, CallbackMayReplaceItself)
{
    AnnotationDocument d(baseImage());
    int first = 0;
    int second = 0;
    d.onChange = [&] {
        ++first;
        d.onChange = [&] { ++second; };
    };
    d.commit(with(d.state(), shape(0)));
    d.undo();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}

TEST(AnnotationDocument, SnapshotsShareWhatDidNotChange)
{
    // Each undo step holds a full state; a long pen path, and every object a
    // step did not touch, must be shared by all of them rather than copied.
    AnnotationDocument d(baseImage());
    QList<Point> path;
    for (int i = 0; i < 5000; ++i)
        path.append({double(i), double(i % 7)});
    AnnotationState s = d.state();
    s.objects.append(AnnotationObject(AnnotationTool::pen, AnnotationStyle(), {}, {}, path));
    d.commit(s);
    for (int i = 0; i < 3; ++i)
        d.commit(with(d.state(), shape(i)));

    const Point* data = d.state().objects.front().points.constData();
    EXPECT_EQ(data, path.constData());
    for (const AnnotationState& old : d.undoStates()) {
        if (!old.objects.isEmpty()) {
            EXPECT_EQ(&old.objects.front(), &d.state().objects.front());
        }
    }

    // Restyling the second object copies that one object only, and the
    // path travels along with the pen when the pen itself is restyled.
    AnnotationState next = d.state();
    next.objects[1].style.width = 12;
    next.objects[0].style.width = 12;
    d.commit(next);
    const AnnotationState& before = d.undoStates().last();
    EXPECT_EQ(&before.objects[2], &d.state().objects[2]);
    EXPECT_NE(&before.objects[1], &d.state().objects[1]);
    EXPECT_EQ(before.objects[1].style.width, 4);
    EXPECT_EQ(d.state().objects.front().points.constData(), data);
}
