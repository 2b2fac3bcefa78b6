#include "editor/EditorControls.h"

#include "canvas/AnnotationCanvas.h"
#include "editor/ControlIcon.h"
#include "editor/CoreAppearance.h"
#include "editor/ScreenshotColorWell.h"
#include "editor/SegmentedControl.h"
#include "editor/StyleEdits.h"
#include "editor/StylePreviews.h"
#include "editor/StyleSlider.h"
#include "editor/ToolbarButton.h"

#include <QColorDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>

namespace kelpie {
namespace {

using T = AnnotationTool;

// The plain editor's tool row, in order.
constexpr std::array<AnnotationTool, 8> plainTools{T::select, T::arrow, T::rectangle, T::text,
                                                   T::pen,    T::mask,  T::highlight, T::number};
// The floating tool bar lists the drawing tools first and selection last.
constexpr std::array<AnnotationTool, 8> floatingTools{T::arrow, T::rectangle, T::text,   T::pen,
                                                      T::mask,  T::highlight, T::number, T::select};

const char* const tagProperty = "kelpieTag";

QString toolTitle(AnnotationTool tool)
{
    switch (tool) {
    case T::rectangle: return QStringLiteral("画框");
    case T::mask: return QStringLiteral("遮挡");
    default: return title(tool);
    }
}

ControlSymbol toolSymbol(AnnotationTool tool)
{
    switch (tool) {
    case T::arrow: return ControlSymbol::arrowUpRight;
    case T::rectangle: return ControlSymbol::rectangle;
    case T::text: return ControlSymbol::textFormat;
    case T::pen: return ControlSymbol::pencil;
    case T::mask: return ControlSymbol::rectangleFill;
    case T::highlight: return ControlSymbol::highlighter;
    case T::number: return ControlSymbol::numberCircle;
    default: return ControlSymbol::cursorArrow;
    }
}

int tagOf(const QObject* object) { return object->property(tagProperty).toInt(); }

QWidget* makeRow(QWidget* parent, int spacing)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return row;
}

QHBoxLayout* rowLayout(QWidget* row) { return static_cast<QHBoxLayout*>(row->layout()); }

QLabel* makeLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(CoreAppearance::systemFont(13));
    return label;
}

QLineEdit* makeField(const QString& text, int width, QWidget* parent)
{
    auto* field = new QLineEdit(text, parent);
    field->setAlignment(Qt::AlignCenter);
    field->setFixedWidth(width);
    return field;
}

StyleSlider* makeSlider(int value, int minimum, int maximum, int width, QWidget* parent)
{
    auto* slider = new StyleSlider(parent);
    slider->setRange(minimum, maximum);
    slider->setValue(value);
    slider->setTracking(true);
    slider->setFixedWidth(width);
    return slider;
}

// An icon-only button of the floating tool bar.
void setSymbol(QAbstractButton* button, ControlSymbol symbol)
{
    const ControlImage image = ControlImage::symbol(symbol);
    if (auto* toolbar = qobject_cast<ToolbarButton*>(button)) {
        toolbar->setImage(image);
        return;
    }
    const QColor tint = CoreAppearance::label.resolved(CoreAppearance::appearance(button));
    button->setIcon(ControlIcon::make(image, image.size(), tint));
}

QWidget* makeSeparator(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFixedSize(1, 20);
    line->setAutoFillBackground(true);
    CoreAppearance::followAppearance(line, [line] {
        QPalette palette = line->palette();
        // The appearance is read from the row, not from the line's own
        // window colour, which this very refresh replaces: read from the
        // line, a dark separator reads as light and the two refresh each
        // other without end.
        const QWidget* row = line->parentWidget() ? line->parentWidget() : line;
        QColor color = CoreAppearance::separator.resolved(CoreAppearance::appearance(row));
        color.setAlphaF(std::min(1.0f, color.alphaF() * 2.5f));
        palette.setColor(QPalette::Window, color);
        line->setPalette(palette);
    });
    return line;
}

} // namespace

EditorControls::EditorControls(AnnotationCanvas& canvas, AnnotationDocument& document,
                               EditorMode mode, EditorStatusHooks status, QWidget* parent)
    : QObject(parent), m_canvas(canvas), m_mode(mode),
      m_model(canvas.model(), mode, std::move(status))
{
    // The document is the canvas's own; the model reaches it through the canvas.
    Q_ASSERT(&document == &canvas.model().document());
    (void)document;
    if (!parent)
        m_ownedRoot = std::make_unique<QWidget>();
    m_root = parent ? parent : m_ownedRoot.get();
    // The controls wait here, hidden, until buildStyles() puts them in their
    // rows; the floating tool bar leaves the widgets it drops here too.
    m_stash = new QWidget(m_root);
    m_stash->hide();
    m_toolRow = makeRow(m_root, 4);
    m_styleRow = makeRow(m_root, 8);
    m_optionRow = makeRow(m_root, 10);
    m_markupRow = makeRow(m_root, 5);
    // Rows the window never places must not lie over its content as empty
    // children catching the pointer; update() and updateMarkupOptions() show
    // them where they belong.
    m_styleRow->hide();
    m_optionRow->hide();
    m_markupRow->hide();
    createControls();
}

EditorControls::~EditorControls() = default;

QPushButton* EditorControls::makePushButton(const QString& title)
{
    auto* button = new QPushButton(title, m_stash);
    button->setFont(CoreAppearance::systemFont(14));
    button->setMinimumHeight(28);
    return button;
}

void EditorControls::createToolButtons()
{
    for (AnnotationTool tool : plainTools) {
        const QString name = toolTitle(tool);
        QAbstractButton* button = nullptr;
        if (m_mode == EditorMode::plain)
            button = makePushButton(name);
        else
            button = new ToolbarButton(name, m_stash);
        button->setCheckable(true);
        button->setProperty(
            tagProperty,
            int(std::find(allAnnotationTools.begin(), allAnnotationTools.end(), tool)
                - allAnnotationTools.begin()));
        button->setToolTip(name + QStringLiteral("（") + key(tool).toUpper()
                           + QStringLiteral("）"));
        button->setAccessibleName(name);
        connect(button, &QAbstractButton::clicked, this, [this, button] {
            const int tag = tagOf(button);
            act([this, tag] {
                m_model.chooseTool(allAnnotationTools[std::size_t(tag)]);
                m_canvas.setFocus(Qt::OtherFocusReason);
            });
        });
        m_toolButtons[tool] = button;
    }
}

void EditorControls::createControls()
{
    createToolButtons();

    m_widthSlider = makeSlider(4, 1, 80, 105, m_stash);
    m_widthTitle = makeLabel(QStringLiteral("粗细"), m_stash);
    m_widthLabel = makeLabel(QStringLiteral("4 px"), m_stash);
    m_widthLabel->setFixedWidth(44);
    m_strokeWidthField = makeField(QStringLiteral("4"), 50, m_stash);
    m_strokeWidthField->setToolTip(QStringLiteral("线宽：1–80 px"));
    m_strokeWidthField->setAccessibleName(QStringLiteral("线宽（像素）"));
    connectSlider(m_widthSlider, &EditorControlsModel::changeWidth);
    connectField(m_strokeWidthField, StyleField::strokeWidth);

    const std::array<int, 4> initialPresets{2, 4, 8, 16};
    for (std::size_t i = 0; i < m_presetButtons.size(); ++i) {
        QPushButton* preset = makePushButton(QString::number(initialPresets[i]));
        preset->setFixedWidth(60);
        preset->setProperty(tagProperty, initialPresets[i]);
        connect(preset, &QPushButton::clicked, this, [this, preset] {
            const int value = tagOf(preset);
            act([this, value] { m_model.widthPreset(value); });
        });
        // The buttons may outlive the controls in the window's layouts.
        CoreAppearance::followAppearance(preset, [self = QPointer<EditorControls>(this)] {
            if (self)
                self->refreshPresetIcons();
        });
        m_presetButtons[i] = preset;
    }

    m_maskPicker = new SegmentedControl(
        {QStringLiteral("实心"), QStringLiteral("马赛克"), QStringLiteral("模糊")}, m_stash);
    m_maskMode = new SegmentedControl({QStringLiteral("框选"), QStringLiteral("涂抹")}, m_stash);
    connect(m_maskPicker, &SegmentedControl::segmentChosen, this,
            [this](int index) { act([this, index] { m_model.changeMaskEffect(index); }); });
    connect(m_maskMode, &SegmentedControl::segmentChosen, this,
            [this](int index) { act([this, index] { m_model.changeMaskMode(index); }); });

    m_brushWidth = makeSlider(32, 1, 80, 90, m_stash);
    m_brushLabel = makeLabel(QStringLiteral("笔宽"), m_stash);
    connectSlider(m_brushWidth, &EditorControlsModel::changeBrush);

    m_colorWell = new ScreenshotColorWell(m_stash);
    m_colorWell->setFixedWidth(40);
    connect(m_colorWell, &ScreenshotColorWell::colorChanged, this, [this](const QColor& color) {
        act([this, color] { m_model.changeColor(AnnotationColor::fromQColor(color)); });
    });

    m_fillButton = new SegmentedControl(
        {QStringLiteral("描边"), QStringLiteral("半透明"), QStringLiteral("实心")}, m_stash);
    m_dashButton = new SegmentedControl({QStringLiteral("实线"), QStringLiteral("虚线")}, m_stash);
    m_lineTitle = makeLabel(QStringLiteral("线型"), m_stash);
    m_fillTitle = makeLabel(QStringLiteral("填充"), m_stash);
    connect(m_fillButton, &SegmentedControl::segmentChosen, this,
            [this](int index) { act([this, index] { m_model.changeFill(index); }); });
    connect(m_dashButton, &SegmentedControl::segmentChosen, this,
            [this](int index) { act([this, index] { m_model.changeDash(index); }); });

    m_cornerSlider = makeSlider(0, 0, 80, 90, m_stash);
    m_cornerLabel = makeLabel(QStringLiteral("圆角"), m_stash);
    connectSlider(m_cornerSlider, &EditorControlsModel::changeCorner);

    m_arrowPicker = new SegmentedControl(
        {QStringLiteral("实心"), QStringLiteral("开口"), QStringLiteral("双头")}, m_stash);
    m_arrowTitle = makeLabel(QStringLiteral("箭头样式"), m_stash);
    connect(m_arrowPicker, &SegmentedControl::segmentChosen, this,
            [this](int index) { act([this, index] { m_model.changeArrowHead(index); }); });

    // Each option shows a drawing of itself; its name becomes the tooltip.
    const auto configurePreviews = [](SegmentedControl* control, const QString& group,
                                      const QStringList& kinds, const QStringList& tips) {
        control->setAccessibleName(group);
        for (int i = 0; i < kinds.size(); ++i) {
            control->setSegmentImage(i, StylePreviews::option(kinds[i]), tips[i]);
            control->setSegmentWidth(i, 48);
        }
    };
    configurePreviews(
        m_fillButton, QStringLiteral("填充方式"),
        {QStringLiteral("fill-none"), QStringLiteral("fill-soft"), QStringLiteral("fill-solid")},
        {QStringLiteral("描边"), QStringLiteral("半透明填充"), QStringLiteral("实心填充")});
    configurePreviews(m_dashButton, QStringLiteral("线型"),
                      {QStringLiteral("solid"), QStringLiteral("dashed")},
                      {QStringLiteral("实线"), QStringLiteral("虚线")});
    configurePreviews(
        m_arrowPicker, QStringLiteral("箭头样式"),
        {QStringLiteral("filled"), QStringLiteral("open"), QStringLiteral("double")},
        {QStringLiteral("实心箭头"), QStringLiteral("开口箭头"), QStringLiteral("双头箭头")});

    m_numberLabel = makeLabel(QStringLiteral("下一号"), m_stash);
    m_numberField = makeField(QStringLiteral("1"), 62, m_stash);
    connectField(m_numberField, StyleField::number);

    m_boldButton = makePushButton(QStringLiteral("B"));
    m_boldButton->setFont(CoreAppearance::systemFont(18, 700));
    m_boldButton->setFixedWidth(36);
    m_boldButton->setCheckable(true);
    m_boldButton->setToolTip(QStringLiteral("加粗"));
    m_boldButton->setAccessibleName(QStringLiteral("加粗"));
    m_textBackground = makePushButton(QStringLiteral("底色"));
    m_textBackground->setCheckable(true);
    m_textBackground->setToolTip(QStringLiteral("浅黄色底色"));
    m_textBackground->setAccessibleName(QStringLiteral("文字底色"));
    for (QPushButton* toggle : {m_boldButton, m_textBackground})
        connect(toggle, &QPushButton::clicked, this, [this] {
            act([this] {
                m_model.changeTextStyle(m_boldButton->isChecked(), m_textBackground->isChecked());
            });
        });

    m_fontSizeField = makeField(QStringLiteral("24"), 56, m_stash);
    m_fontSizeField->setAccessibleName(QStringLiteral("字号"));
    m_fontSizeField->setToolTip(QStringLiteral("字号：8–200"));
    connectField(m_fontSizeField, StyleField::fontSize);

    m_paletteTray = makeRow(m_stash, 4);
    m_paletteTray->setObjectName(QStringLiteral("paletteTray"));
    m_paletteTray->setAttribute(Qt::WA_StyledBackground);
    rowLayout(m_paletteTray)->setContentsMargins(4, 2, 4, 2);
    const auto outlineTray = [tray = m_paletteTray] {
        QColor border = CoreAppearance::separator.resolved(CoreAppearance::appearance(tray));
        border.setAlphaF(std::min(1.0f, border.alphaF() * 2));
        const QString sheet
            = QStringLiteral("#paletteTray { border: 1px solid %1; border-radius: 8px; }")
                  .arg(border.name(QColor::HexArgb));
        // Setting a sheet is itself a style change; only a new one is set.
        if (tray->styleSheet() != sheet)
            tray->setStyleSheet(sheet);
    };
    outlineTray();
    CoreAppearance::followAppearance(m_paletteTray, outlineTray);
}

void EditorControls::connectSlider(StyleSlider* slider, void (EditorControlsModel::*action)(double))
{
    // A slider that outlives the controls (hidden during its own
    // destruction) must not reach back into them.
    const QPointer<EditorControls> self(this);
    slider->beginTracking = [self] {
        if (self)
            self->m_model.beginTracking();
    };
    slider->endTracking = [self] {
        if (self)
            self->act([&] { self->m_model.endTracking(); });
    };
    connect(slider, &QSlider::valueChanged, this, [this, action](int value) {
        act([this, action, value] { (m_model.*action)(value); });
    });
}

void EditorControls::connectField(QLineEdit* field, StyleField kind)
{
    connect(field, &QLineEdit::editingFinished, this,
            [this, field, kind] { commitField(field, kind); });
}

void EditorControls::commitField(QLineEdit* field, StyleField kind)
{
    const QString shown = m_model.commitField(kind, field->text());
    field->setText(shown);
    update();
}

template<typename Action> void EditorControls::act(Action action)
{
    action();
    update();
    if (m_markupBuilt)
        refreshMarkupStates();
}

void EditorControls::buildStyles()
{
    if (m_built)
        return;
    m_built = true;
    for (AnnotationTool tool : plainTools)
        rowLayout(m_toolRow)->addWidget(m_toolButtons.at(tool));

    for (int i = 0; i < int(AnnotationColor::palette.size()); ++i) {
        auto* swatch = new QPushButton(QStringLiteral("●"), m_paletteTray);
        swatch->setFlat(true);
        swatch->setFixedSize(26, 26);
        swatch->setProperty(tagProperty, i);
        swatch->setToolTip(QStringLiteral("颜色 %1").arg(i + 1));
        swatch->setAccessibleName(QStringLiteral("预设颜色 %1").arg(i + 1));
        swatch->setStyleSheet(
            QStringLiteral("QPushButton { color: %1; font-size: 22px; padding: 0 0 3px 0;"
                           " border: 1px solid rgba(128, 128, 128, 0.55); border-radius: 13px;"
                           " background: transparent; }")
                .arg(AnnotationColor::palette[std::size_t(i)].qColor().name()));
        connect(swatch, &QPushButton::clicked, this,
                [this, i] { act([this, i] { m_model.palette(i); }); });
        rowLayout(m_paletteTray)->addWidget(swatch);
        m_paletteButtons.append(swatch);
        m_colorControls.append(swatch);
    }
    rowLayout(m_paletteTray)->addWidget(m_colorWell);
    m_colorControls.append(m_colorWell);

    QHBoxLayout* style = rowLayout(m_styleRow);
    for (QWidget* widget :
         std::initializer_list<QWidget*>{m_widthTitle, m_widthSlider, m_widthLabel, m_fontSizeField,
                                         m_boldButton, m_textBackground})
        style->addWidget(widget);
    for (QPushButton* preset : m_presetButtons)
        style->addWidget(preset);
    style->addWidget(m_strokeWidthField);
    style->addWidget(m_paletteTray);
    // The rows keep their controls together at the leading edge however wide
    // the window makes them.
    style->addStretch();

    QHBoxLayout* options = rowLayout(m_optionRow);
    for (QWidget* widget : std::initializer_list<QWidget*>{
             m_fillTitle, m_fillButton, m_lineTitle, m_dashButton, m_cornerLabel, m_cornerSlider,
             m_arrowTitle, m_arrowPicker, m_numberLabel, m_numberField, m_maskPicker, m_maskMode,
             m_brushLabel, m_brushWidth})
        options->addWidget(widget);
    options->addStretch();
    update();
}

void EditorControls::appendToToolRow(QWidget* widget, int spacingAfter)
{
    if (!widget)
        return;
    QHBoxLayout* layout = rowLayout(m_toolRow);
    layout->addWidget(widget);
    if (spacingAfter >= 0)
        layout->addSpacing(std::max(0, spacingAfter - layout->spacing()));
}

void EditorControls::stash(QWidget* widget)
{
    widget->hide();
    widget->setParent(m_stash);
}

void EditorControls::configureFloatingTools(const FloatingToolButtons& buttons)
{
    QHBoxLayout* layout = rowLayout(m_toolRow);
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget())
            stash(widget);
        delete item;
    }
    layout->setSpacing(4);

    QList<QAbstractButton*> placed;
    for (AnnotationTool tool : floatingTools) {
        QAbstractButton* button = m_toolButtons.at(tool);
        button->setAccessibleName(tool == T::select ? QStringLiteral("选择文字或对象")
                                                    : toolTitle(tool));
        button->setText(QString());
        setSymbol(button, toolSymbol(tool));
        placed.append(button);
    }
    const auto iconOnly = [](QAbstractButton* button, ControlSymbol symbol) {
        const QString name = button->text().isEmpty() ? button->toolTip() : button->text();
        button->setText(QString());
        button->setToolTip(name);
        button->setAccessibleName(name);
        setSymbol(button, symbol);
    };
    if (buttons.pin)
        iconOnly(buttons.pin, ControlSymbol::pin);
    if (buttons.save)
        iconOnly(buttons.save, ControlSymbol::squareAndArrowDown);
    if (QAbstractButton* primary = buttons.primary) {
        if (m_mode != EditorMode::pinned)
            primary->setText(QStringLiteral("完成"));
        else
            primary->setAccessibleDescription(QStringLiteral("完成标注"));
        setSymbol(primary, ControlSymbol::checkmark);
        if (auto* toolbar = qobject_cast<ToolbarButton*>(primary)) {
            toolbar->setMinimumTitle(QString());
            toolbar->setPrimary(true);
        }
    }
    if (QAbstractButton* close = buttons.close) {
        close->setText(QString());
        close->setToolTip(QStringLiteral("关闭（Esc）"));
        close->setAccessibleName(QStringLiteral("关闭（Esc）"));
        setSymbol(close, ControlSymbol::xmark);
    }

    const auto add = [&](QWidget* widget) {
        if (!widget)
            return;
        widget->setParent(m_toolRow);
        layout->addWidget(widget);
        widget->show();
    };
    for (QAbstractButton* button : placed)
        add(button);
    add(makeSeparator(m_toolRow));
    add(buttons.undo);
    add(buttons.redo);
    add(buttons.maskSecrets);
    add(makeSeparator(m_toolRow));
    add(buttons.pin);
    add(buttons.save);
    add(buttons.primary);
    add(buttons.close);

    for (QAbstractButton* button :
         m_toolRow->findChildren<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly))
        if (auto* toolbar = qobject_cast<ToolbarButton*>(button))
            toolbar->configureToolbarStyle();
    update();
}

void EditorControls::buildMarkupOptions()
{
    if (m_markupBuilt)
        return;
    m_markupBuilt = true;
    QHBoxLayout* layout = rowLayout(m_markupRow);
    layout->setSpacing(5);
    const std::array<QString, 3> names{QStringLiteral("珊瑚橙"), QStringLiteral("琥珀黄"),
                                       QStringLiteral("晴空蓝")};
    for (int i = 0; i < int(names.size()); ++i) {
        auto* swatch = new ToolbarButton(
            QString(), StylePreviews::colorSwatch(AnnotationColor::markupPalette[std::size_t(i)]),
            m_markupRow);
        swatch->setCheckable(true);
        swatch->setProperty(tagProperty, i);
        swatch->setToolTip(names[std::size_t(i)]);
        swatch->setAccessibleName(names[std::size_t(i)]);
        connect(swatch, &QAbstractButton::clicked, this,
                [this, i] { act([this, i] { m_model.markupColor(i); }); });
        layout->addWidget(swatch);
        m_markupSwatches.append(swatch);
    }
    const std::array<QString, 2> shapes{QStringLiteral("直线箭头"), QStringLiteral("曲线箭头")};
    for (int tag = 0; tag < 2; ++tag) {
        auto* sample
            = new ToolbarButton(QString(), StylePreviews::arrowSample(tag == 1), m_markupRow);
        sample->setSample(true);
        sample->setCheckable(true);
        sample->setProperty(tagProperty, tag);
        sample->setToolTip(shapes[std::size_t(tag)]);
        sample->setAccessibleName(shapes[std::size_t(tag)]);
        connect(sample, &QAbstractButton::clicked, this,
                [this, tag] { act([this, tag] { m_model.markupShape(tag); }); });
        layout->addWidget(sample);
        m_arrowSamples.append(sample);
    }
    for (ToolbarButton* button : m_markupSwatches + m_arrowSamples)
        button->configureToolbarStyle();
    refreshMarkupStates();
}

void EditorControls::updateMarkupOptions(bool editing)
{
    m_editing = editing;
    m_markupRow->setVisible(m_model.markupRowVisible(editing));
    refreshMarkupStates();
}

void EditorControls::refreshMarkupStates()
{
    for (int i = 0; i < m_markupSwatches.size(); ++i)
        setOn(m_markupSwatches[i], m_model.markupColorOn(i));
    for (int tag = 0; tag < m_arrowSamples.size(); ++tag)
        setOn(m_arrowSamples[tag], m_model.markupShapeOn(tag));
}

bool EditorControls::styleRowVisible() const { return m_model.styleRowVisible(); }

void EditorControls::changeStyleKey(std::optional<double> widthStep, std::optional<int> colorIndex)
{
    act([&] { m_model.changeStyleKey(widthStep, colorIndex); });
}

void EditorControls::suspendColorWell() { m_colorWell->suspend(); }

bool EditorControls::colorPanelActive() const
{
    return m_colorWell->isActive() && ScreenshotColorWell::sharedColorPanel()->isVisible();
}

QAbstractButton* EditorControls::toolButton(AnnotationTool tool) const
{
    const auto found = m_toolButtons.find(tool);
    return found != m_toolButtons.end() ? found->second : nullptr;
}

QLineEdit* EditorControls::field(StyleField kind) const
{
    switch (kind) {
    case StyleField::strokeWidth: return m_strokeWidthField;
    case StyleField::fontSize: return m_fontSizeField;
    case StyleField::number: return m_numberField;
    }
    return nullptr;
}

void EditorControls::setOn(QAbstractButton* button, bool on)
{
    // Only clicks act, so the state is set without blocking signals: a
    // toolbar button re-tints itself when toggled.
    button->setChecked(on);
    if (qobject_cast<ToolbarButton*>(button))
        return;
    if (on) {
        QPalette palette;
        palette.setColor(QPalette::Button,
                         CoreAppearance::accent.resolved(CoreAppearance::appearance(button)));
        palette.setColor(QPalette::ButtonText, Qt::white);
        button->setPalette(palette);
    } else {
        button->setPalette(QPalette());
    }
}

void EditorControls::update() { showState(m_model.state()); }

void EditorControls::showState(const StyleControlsState& s)
{
    for (const auto& [tool, button] : m_toolButtons)
        setOn(button, tool == s.tool);

    m_styleRow->setHidden(!s.styleRowVisible);
    m_optionRow->setHidden(!s.optionRowVisible);

    for (QWidget* widget :
         std::initializer_list<QWidget*>{m_widthTitle, m_widthSlider, m_widthLabel})
        widget->setHidden(!s.widthVisible);
    m_widthTitle->setText(s.widthTitle);
    {
        const QSignalBlocker blocker(m_widthSlider);
        m_widthSlider->setRange(s.sliderMinimum, s.sliderMaximum);
        m_widthSlider->setValue(int(std::lround(s.sliderValue)));
    }
    m_widthLabel->setText(s.widthLabel);

    m_presets = s.presets;
    m_thinPresets = s.tool == T::highlight;
    for (std::size_t i = 0; i < m_presetButtons.size(); ++i) {
        QPushButton* button = m_presetButtons[i];
        const StyleControlsState::Preset& preset = s.presets[i];
        button->setHidden(!preset.visible);
        button->setProperty(tagProperty, preset.value);
        button->setText(preset.icon ? QString() : QString::number(preset.value));
        button->setToolTip(preset.tooltip);
        button->setAccessibleName(preset.tooltip);
        button->setObjectName(preset.identifier);
    }
    refreshPresetIcons();

    const auto showField = [](QLineEdit* field, bool visible, const QString& text) {
        field->setHidden(!visible);
        if (!field->hasFocus())
            field->setText(text);
    };
    showField(m_strokeWidthField, s.strokeFieldVisible, s.strokeFieldText);
    showField(m_fontSizeField, s.fontFieldVisible, s.fontFieldText);

    m_paletteTray->setHidden(!s.colorVisible);
    for (QWidget* control : m_colorControls)
        control->setHidden(!s.colorVisible);
    m_colorWell->setColor(s.color.qColor());

    m_maskPicker->setHidden(!s.maskPickerVisible);
    m_maskPicker->setSelectedSegment(s.maskEffectSegment);
    m_maskMode->setHidden(!s.maskModeVisible);
    m_maskMode->setSelectedSegment(s.maskModeSegment);
    m_brushWidth->setHidden(!s.brushVisible);
    m_brushLabel->setHidden(!s.brushVisible);
    {
        const QSignalBlocker blocker(m_brushWidth);
        m_brushWidth->setValue(int(std::lround(s.brushValue)));
    }

    m_fillTitle->setHidden(!s.fillVisible);
    m_fillButton->setHidden(!s.fillVisible);
    m_fillButton->setSelectedSegment(s.fillSegment);
    m_lineTitle->setHidden(!s.dashVisible);
    m_dashButton->setHidden(!s.dashVisible);
    m_dashButton->setSelectedSegment(s.dashSegment);
    m_cornerLabel->setHidden(!s.cornerVisible);
    m_cornerSlider->setHidden(!s.cornerVisible);
    {
        const QSignalBlocker blocker(m_cornerSlider);
        m_cornerSlider->setValue(int(std::lround(s.cornerValue)));
    }
    m_arrowTitle->setHidden(!s.arrowVisible);
    m_arrowPicker->setHidden(!s.arrowVisible);
    m_arrowPicker->setSelectedSegment(s.arrowSegment);

    m_numberLabel->setHidden(!s.numberVisible);
    m_numberLabel->setText(s.numberTitle);
    showField(m_numberField, s.numberVisible, s.numberText);

    m_boldButton->setHidden(!s.textStyleVisible);
    m_textBackground->setHidden(!s.textStyleVisible);
    setOn(m_boldButton, s.bold);
    setOn(m_textBackground, s.textBackground);
}

// Sample lines take the colour of the button's text, which follows the
// appearance; a highlight's line is drawn a third as thick, like its stroke
// reads on screen.
void EditorControls::refreshPresetIcons()
{
    for (std::size_t i = 0; i < m_presetButtons.size(); ++i) {
        QPushButton* button = m_presetButtons[i];
        if (!m_presets[i].icon) {
            button->setIcon(QIcon());
            continue;
        }
        const double width = m_presets[i].value / (m_thinPresets ? 3.0 : 1.0);
        const QColor tint = button->palette().color(QPalette::ButtonText);
        button->setIcon(
            ControlIcon::make(StylePreviews::strokeSample(width), StylePreviews::optionSize, tint));
        button->setIconSize(StylePreviews::optionSize.toSize());
    }
}

} // namespace kelpie
