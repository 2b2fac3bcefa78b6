#pragma once

#include <QImage>
#include <QSize>

namespace kelpie::test {

// A composite like the ones users copy: a desktop window with flat panels,
// a tool bar, lines of Latin and Chinese text, a photo-like area with fine
// noise, and a few marks drawn over it. Deterministic for a given size.
QImage screenshotComposite(QSize size);

// The same with a transparent margin and half-transparent marks, as a pin
// or a composite over a transparent base can have.
QImage translucentComposite(QSize size);

} // namespace kelpie::test
