#include "annotation/AnnotationObjectList.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kelpie;

namespace {

AnnotationObject box(double x)
{
    return AnnotationObject(AnnotationTool::rectangle, AnnotationStyle(), {x, 0}, {x + 10, 10});
}

} // namespace

TEST(AnnotationObjectList, CopiesAreIndependentValues)
{
    const AnnotationObjectList original{box(0), box(20), box(40)};
    AnnotationObjectList copy = original;
    EXPECT_EQ(copy, original);
    EXPECT_TRUE(copy.sharesObjectsWith(original));

    copy[1].style.width = 9;
    EXPECT_EQ(copy[1].style.width, 9);
    EXPECT_EQ(original[1].style.width, 4);
    EXPECT_NE(copy, original);
    // Only the changed object was copied.
    EXPECT_FALSE(copy.sharesObjectsWith(original));
    EXPECT_EQ(&copy.at(0), &original.at(0));
    EXPECT_EQ(&copy.at(2), &original.at(2));
    EXPECT_NE(&copy.at(1), &original.at(1));

    // A second change of the same object, now owned, copies nothing more.
    const AnnotationObject* owned = &copy.at(1);
    copy[1].style.width = 10;
    EXPECT_EQ(&copy.at(1), owned);

    copy.replace(0, box(100));
    copy.removeAt(2);
    copy.insert(0, box(200));
    copy.append(box(300));
    EXPECT_EQ(original.size(), 3);
    EXPECT_EQ(original[0].start.x, 0);
    ASSERT_EQ(copy.size(), 4);
    EXPECT_EQ(copy.front().start.x, 200);
    EXPECT_EQ(copy[1].start.x, 100);
    EXPECT_EQ(copy.back().start.x, 300);
}

TEST(AnnotationObjectList, EqualityComparesObjectsNotStorage)
{
    const AnnotationObject a = box(0);
    const AnnotationObject b = box(20);
    EXPECT_EQ((AnnotationObjectList{a, b}), (AnnotationObjectList{a, b}));
    EXPECT_NE((AnnotationObjectList{a, b}), (AnnotationObjectList{b, a}));
    EXPECT_NE((AnnotationObjectList{a}), (AnnotationObjectList{a, b}));
    EXPECT_EQ(AnnotationObjectList(QList<AnnotationObject>{a, b}).toList(),
              (QList<AnnotationObject>{a, b}));
}

TEST(AnnotationObjectList, IterationSlicesAndLookup)
{
    const AnnotationObjectList list{box(0), box(20), box(40), box(60)};
    double sum = 0;
    for (const AnnotationObject& o : list)
        sum += o.start.x;
    EXPECT_EQ(sum, 120);
    const auto found = std::find_if(list.begin(), list.end(),
                                    [](const AnnotationObject& o) { return o.start.x == 40; });
    EXPECT_EQ(found - list.begin(), 2);
    EXPECT_EQ(list.indexOf(list[3].id()), 3);
    EXPECT_EQ(list.indexOf(QUuid::createUuid()), -1);

    // Slices share their objects; joining them gives the list back.
    AnnotationObjectList joined = list.mid(0, 2);
    joined.append(list.mid(2));
    EXPECT_EQ(joined, list);
    EXPECT_TRUE(joined.sharesObjectsWith(list));
    EXPECT_EQ(list.mid(3).size(), 1);
}
