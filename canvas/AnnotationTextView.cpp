#include "canvas/AnnotationTextView.h"

#include "annotation/AnnotationTextLayout.h"

#include <QAbstractTextDocumentLayout>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QGuiApplication>
#include <QImage>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

namespace kelpie {

namespace {

// The device the annotation text layout measures on: one point is one pixel.
const QImage& referenceDevice()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(2835);
        image.setDotsPerMeterY(2835);
        return image;
    }();
    return device;
}

// How many pixels of the reference device the document layout makes of one
// unit of its margins: it scales those from the
// screen's resolution to the device's. Measured rather than assumed, as the
// screen's resolution is the desktop's choice.
double layoutUnit()
{
    QTextDocument probe;
    probe.documentLayout()->setPaintDevice(const_cast<QImage*>(&referenceDevice()));
    probe.setDocumentMargin(100);
    probe.setTextWidth(1000);
    probe.setPlainText(QStringLiteral("x"));
    probe.documentLayout()->documentSize();
    const QTextLayout* layout = probe.begin().layout();
    if (layout == nullptr || layout->lineCount() == 0)
        return 1;
    const double unit = (1000 - layout->lineAt(0).width()) / 200;
    return unit > 0 ? unit : 1;
}

} // namespace

AnnotationTextView::AnnotationTextView(QWidget* parent)
    : QGraphicsView(parent), m_scene(new QGraphicsScene(this)), m_item(new QGraphicsTextItem)
{
    setScene(m_scene);
    m_scene->addItem(m_item);
    setFrameShape(QFrame::NoFrame);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setBackgroundBrush(Qt::NoBrush);
    setStyleSheet(QStringLiteral("background: transparent"));
    setAttribute(Qt::WA_InputMethodEnabled);
    setFocusPolicy(Qt::StrongFocus);

    m_item->setTextInteractionFlags(Qt::TextEditorInteraction);
    QTextDocument* doc = m_item->document();
    doc->documentLayout()->setPaintDevice(const_cast<QImage*>(&referenceDevice()));
    doc->setUndoRedoEnabled(true);
    connect(doc, &QTextDocument::contentsChanged, this, [this] {
        fitScene();
        if (onChange)
            onChange();
    });
    m_scene->setFocusItem(m_item);
}

AnnotationTextView::~AnnotationTextView() = default;

QTextDocument* AnnotationTextView::document() const { return m_item->document(); }

QString AnnotationTextView::text() const { return m_item->document()->toPlainText(); }

void AnnotationTextView::setText(const QString& text) { m_item->setPlainText(text); }

void AnnotationTextView::selectAll()
{
    QTextCursor cursor(m_item->document());
    cursor.select(QTextCursor::Document);
    m_item->setTextCursor(cursor);
}

void AnnotationTextView::discardComposition()
{
    if (!composing())
        return;
    m_preedit.clear();
    QInputMethodEvent cancel;
    QGraphicsView::inputMethodEvent(&cancel);
    if (hasFocus())
        QGuiApplication::inputMethod()->reset();
}

void AnnotationTextView::setLayout(const AnnotationStyle& style, double maximumWidth, double scale)
{
    m_scale = scale;
    QTextDocument* doc = m_item->document();
    const AnnotationTextLayout::Attributes attributes = AnnotationTextLayout::attributes(style);
    doc->setDefaultTextOption(attributes.option);
    // The inset as the document's margin, so lines start where they will
    // be drawn; lines stack by the same rounded line heights as drawn text.
    doc->setDocumentMargin(AnnotationTextLayout::inset / layoutUnit());
    m_item->setTextWidth(maximumWidth);
    m_item->setTransform(QTransform::fromScale(scale, scale));
    if (!composing()) {
        doc->setDefaultFont(attributes.font);
        m_item->setFont(attributes.font);
        m_item->setDefaultTextColor(attributes.color);
        setBackgroundBrush(style.textBackground ? QBrush(style.backgroundColor.qColor())
                                                : QBrush(Qt::NoBrush));
    }
    fitScene();
}

void AnnotationTextView::fitScene()
{
    const QRectF box = m_item->mapRectToScene(m_item->boundingRect());
    setSceneRect(QRectF(0, 0, box.width(), box.height()));
}

void AnnotationTextView::keyPressEvent(QKeyEvent* event)
{
    const bool commandReturn = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && (event->modifiers() & Qt::ControlModifier);
    // During composition these belong to the input method: Escape drops
    // the composition only, and the commit key does nothing.
    if (commandReturn) {
        if (!composing() && onCommit)
            onCommit();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        if (composing())
            discardComposition();
        else if (onCancel)
            onCancel();
        return;
    }
    QGraphicsView::keyPressEvent(event);
}

void AnnotationTextView::inputMethodEvent(QInputMethodEvent* event)
{
    m_preedit = event->preeditString();
    QGraphicsView::inputMethodEvent(event);
}

void AnnotationTextView::focusInEvent(QFocusEvent* event)
{
    QGraphicsView::focusInEvent(event);
    m_scene->setFocusItem(m_item);
}

} // namespace kelpie
