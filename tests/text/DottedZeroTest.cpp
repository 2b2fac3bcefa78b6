#include "text/DottedZero.h"

#include "tests/text/DrawnTextLine.h"

#include <gtest/gtest.h>

namespace {

using namespace kelpie;

using DrawnLine = DrawnTextLine;

// A zero with a dot in its middle read as another digit or as O is a zero;
// the digits and letters it is mistaken for, drawn as themselves, keep
// their readings.
TEST(DottedZero, ADotInARingIsAZero)
{
    for (const int pixels : {13, 15, 20}) {
        DrawnLine dates(QStringLiteral("2024-05-12 301 O0"), QStringLiteral("2624-65-12 361 OO"),
                        pixels);
        EXPECT_EQ(DottedZero::settle(dates.normalized, dates.analysis), 4) << pixels;
        EXPECT_EQ(dates.analysis.lines[0].text, QStringLiteral("2024-05-12 301 O0")) << pixels;

        DrawnLine others(QStringLiteral("6 8 9 O o Q D"), QStringLiteral("6 8 9 O o Q D"), pixels);
        EXPECT_EQ(DottedZero::settle(others.normalized, others.analysis), 0) << pixels;
    }
}

// In a line whose zeros are dotted, an empty ring read as a zero is the
// letter O; in a line set in a font with plain zeros it stays a zero.
TEST(DottedZero, AnEmptyRingAmongDottedZerosIsTheLetterO)
{
    DrawnLine dotted(QStringLiteral("v0.1.0 OCR 90%"), QStringLiteral("v0.1.0 0CR 90%"), 15);
    EXPECT_EQ(DottedZero::settle(dotted.normalized, dotted.analysis), 1);
    EXPECT_EQ(dotted.analysis.lines[0].text, QStringLiteral("v0.1.0 OCR 90%"));

    DrawnLine plain(QStringLiteral("300 100"), QStringLiteral("300 100"), 15,
                    QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(DottedZero::settle(plain.normalized, plain.analysis), 0);
}

} // namespace
