#pragma once

#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationTextLayout.h"
#include "canvas/CanvasModel.h"
#include "canvas/CanvasStyleStore.h"
#include "canvas/CanvasTextEditor.h"

#include <QImage>
#include <QStringList>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace kelpie::test {

// Tool styles kept in memory; counts the writes, which are durable (slow)
// in the real store.
class MemoryStyleStore final : public CanvasStyleStore {
public:
    AnnotationStyle annotationStyle(AnnotationTool tool, double scale) const override
    {
        const auto stored = styles.find(tool);
        return stored != styles.end() ? stored->second : AnnotationStyle::initial(tool, scale);
    }
    void setAnnotationStyle(const AnnotationStyle& style, AnnotationTool tool) override
    {
        if (tool == AnnotationTool::select || !style.valid())
            return;
        ++writes;
        styles.insert_or_assign(tool, style);
    }

    std::map<AnnotationTool, AnnotationStyle> styles;
    int writes = 0;
};

// An editor whose text and input-method state the test sets.
class ScriptedTextEditor final : public CanvasTextEditor {
public:
    void open(const QString& initial) override
    {
        isOpen = true;
        text_ = initial;
        ++opened;
    }
    void close() override
    {
        isOpen = false;
        preedit.clear();
    }
    QString text() const override { return text_; }
    bool composing() const override { return !preedit.isEmpty(); }
    void relayout() override { ++relayouts; }

    bool isOpen = false;
    QString text_;
    QString preedit;
    int opened = 0;
    int relayouts = 0;
};

// A canvas model on a plain grey image of `width` × `height` pixels, shown
// at one view point per image pixel, so that view and annotation
// coordinates coincide.
class CanvasFixture : public ::testing::Test {
protected:
    void make(int width = 400, int height = 300, bool compact = false)
    {
        QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(200, 200, 200));
        model.reset();
        document = std::make_unique<AnnotationDocument>(image);
        model = std::make_unique<CanvasModel>(*document, styles, compact,
                                              AnnotationTextLayout::measurer());
        model->setViewSize(Size{double(width), double(height)});
        model->setTextEditor(&editor);
        model->onError = [this](const QString& message) { errors.append(message); };
        model->onExit = [this] { ++exits; };
    }

    void SetUp() override { make(); }

    // Puts `object` on top of the document in one commit, as if drawn earlier.
    AnnotationObject addObject(AnnotationObject object)
    {
        AnnotationState state = document->state();
        state.objects.append(object);
        document->commit(state);
        return object;
    }

    // A press, drags through `path`, and a release.
    void drag(Point from, std::initializer_list<Point> path, bool shift = false)
    {
        model->pointerDown(from, 1);
        for (Point p : path)
            model->pointerDragged(p, shift);
        model->pointerUp();
    }

    const AnnotationObjectList& objects() const { return document->state().objects; }

    bool key(int qtKey, bool shift = false, bool command = false)
    {
        return model->handleKey(CanvasKey{qtKey, shift, command, false, false});
    }

    MemoryStyleStore styles;
    ScriptedTextEditor editor;
    std::unique_ptr<AnnotationDocument> document;
    std::unique_ptr<CanvasModel> model;
    QStringList errors;
    int exits = 0;
};

} // namespace kelpie::test
