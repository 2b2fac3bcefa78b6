#include "tests/text/TextFixture.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QStringList>

#include <stdexcept>

namespace kelpie {

namespace {

// The CJK faces the project ships with; loaded from their files so that the
// fixtures look the same whatever the font configuration says.
QString family(bool traditional)
{
    static const bool loaded = [] {
        QFontDatabase::addApplicationFont(
            QStringLiteral("/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"));
        QFontDatabase::addApplicationFont(
            QStringLiteral("/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc"));
        return true;
    }();
    (void)loaded;
    return traditional ? QStringLiteral("Noto Sans CJK TC") : QStringLiteral("Noto Sans CJK SC");
}

const QColor windowColor(0xf3, 0xf3, 0xf3);
const QColor contentColor(0xff, 0xff, 0xff);
const QColor textColor(0x1f, 0x1f, 0x1f);
const QColor secondaryColor(0x6b, 0x6b, 0x6b);
const QColor darkPanelColor(0x2b, 0x2d, 0x31);
const QColor darkTextColor(0xe4, 0xe6, 0xea);
const QColor accentColor(0x1a, 0x73, 0xe8);
const QColor linkColor(0x0b, 0x57, 0xd0);

class FixturePainter {
public:
    FixturePainter(QString name, int width, int height, QColor background)
    {
        fixture.name = std::move(name);
        fixture.image = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
        fixture.image.fill(background);
        painter.begin(&fixture.image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::Antialiasing);
    }

    void panel(const QRect& rect, const QColor& color, int radius = 0)
    {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        if (radius > 0)
            painter.drawRoundedRect(rect, radius, radius);
        else
            painter.drawRect(rect);
    }

    // Draws one line of text with its top-left corner at (x, top) and
    // returns the height it takes.
    int text(int x, int top, const QString& text, int pixelSize, const QColor& color,
             bool bold = false, bool traditional = false)
    {
        QFont font(family(traditional));
        font.setPixelSize(pixelSize);
        font.setBold(bold);
        font.setHintingPreference(QFont::PreferNoHinting);
        painter.setFont(font);
        painter.setPen(color);
        const QFontMetrics metrics(font);
        painter.drawText(QPoint(x, top + metrics.ascent()), text);
        fixture.lines.push_back(
            {text, QRect(x, top, metrics.horizontalAdvance(text), metrics.height())});
        return metrics.height();
    }

    // Text drawn on a filled, rounded button that fits it.
    void button(int x, int top, const QString& label, int pixelSize, const QColor& fill,
                const QColor& color)
    {
        QFont font(family(false));
        font.setPixelSize(pixelSize);
        const QFontMetrics metrics(font);
        const QRect rect(x, top, metrics.horizontalAdvance(label) + 2 * pixelSize,
                         metrics.height() + pixelSize);
        panel(rect, fill, 4);
        text(x + pixelSize, top + pixelSize / 2, label, pixelSize, color);
    }

    TextFixture finish()
    {
        painter.end();
        return std::move(fixture);
    }

private:
    TextFixture fixture;
    QPainter painter;
};

// A column of lines starting at (x, top), one line every `step` pixels.
void column(FixturePainter& p, int x, int top, int step, const QStringList& lines, int pixelSize,
            const QColor& color, bool traditional = false)
{
    for (const QString& line : lines) {
        p.text(x, top, line, pixelSize, color, false, traditional);
        top += step;
    }
}

} // namespace

TextFixture TextFixture::englishInterface()
{
    FixturePainter p(QStringLiteral("english"), 420, 150, contentColor);
    column(p, 16, 12, 32,
           {QStringLiteral("Save screenshot to Downloads"),
            QStringLiteral("Copy to clipboard (Ctrl+C)"),
            QStringLiteral("Pin image above other windows")},
           14, textColor);
    p.text(16, 108, QStringLiteral("Settings updated at 10:45 AM"), 13, secondaryColor);
    return p.finish();
}

TextFixture TextFixture::simplifiedChinese()
{
    FixturePainter p(QStringLiteral("simplified"), 320, 100, contentColor);
    column(p, 16, 14, 40, {QStringLiteral("今天下午三点半"), QStringLiteral("图书馆门口见面")}, 16,
           textColor);
    return p.finish();
}

std::vector<TextFixture> TextFixture::largeChinese()
{
    std::vector<TextFixture> fixtures;
    for (const bool dark : {false, true}) {
        for (const int size : {24, 28, 36, 48, 72, 96}) {
            const QString name = QStringLiteral("large-%1-%2").arg(size).arg(
                dark ? QStringLiteral("dark") : QStringLiteral("light"));
            // Wide margins: the sentences sit on a plain panel, away from
            // its edges.
            FixturePainter p(name, 14 * size, 5 * size, dark ? darkPanelColor : windowColor);
            column(p, 4 * size, size, 2 * size,
                   {QStringLiteral("今天下午三点半"), QStringLiteral("图书馆门口见面")}, size,
                   dark ? darkTextColor : textColor);
            fixtures.push_back(p.finish());
        }
    }
    return fixtures;
}

TextFixture TextFixture::mixedLines()
{
    FixturePainter p(QStringLiteral("mixed"), 400, 130, contentColor);
    column(p, 16, 12, 36,
           {QStringLiteral("保存到 Downloads 文件夹"), QStringLiteral("快捷键 F1 开始截图"),
            QStringLiteral("Kelpie 截图工具")},
           15, textColor);
    return p.finish();
}

TextFixture TextFixture::traditionalChinese()
{
    FixturePainter p(QStringLiteral("traditional"), 320, 100, contentColor);
    column(p, 16, 14, 40, {QStringLiteral("繁體中文測試"), QStringLiteral("圖書館門口見面")}, 16,
           textColor, true);
    return p.finish();
}

TextFixture TextFixture::darkPanel()
{
    FixturePainter p(QStringLiteral("dark"), 360, 140, darkPanelColor);
    column(p, 16, 14, 30, {QStringLiteral("Recent captures"), QStringLiteral("最近的截图")}, 14,
           darkTextColor);
    p.button(16, 84, QStringLiteral("Open folder"), 14, accentColor, Qt::white);
    return p.finish();
}

TextFixture TextFixture::chineseScreen()
{
    FixturePainter p(QStringLiteral("chinese-screen"), 1280, 800, windowColor);
    // Title bar.
    p.panel(QRect(0, 0, 1280, 40), QColor(0xe6, 0xe6, 0xe6));
    p.text(540, 11, QStringLiteral("工作群聊天记录"), 14, textColor, true);

    // Conversation list: a name and the last message of each chat.
    p.panel(QRect(0, 40, 300, 760), QColor(0xeb, 0xeb, 0xeb));
    const QStringList names = {QStringLiteral("产品设计组"),   QStringLiteral("李明"),
                               QStringLiteral("周末读书会"),   QStringLiteral("王小红"),
                               QStringLiteral("项目进度同步"), QStringLiteral("张老师"),
                               QStringLiteral("家庭群")};
    const QStringList snippets
        = {QStringLiteral("周一上午开会讨论新版本"), QStringLiteral("好的明天见"),
           QStringLiteral("这本书的第三章很有意思"), QStringLiteral("照片已经发给你了"),
           QStringLiteral("测试环境已经更新"),       QStringLiteral("作业请在周五之前提交"),
           QStringLiteral("晚上一起吃饭吗")};
    for (int i = 0; i < names.size(); ++i) {
        const int top = 60 + i * 72;
        p.text(24, top, names[i], 15, textColor, true);
        p.text(24, top + 28, snippets[i], 13, secondaryColor);
    }

    // Messages.
    p.panel(QRect(300, 40, 980, 760), contentColor);
    p.text(330, 60, QStringLiteral("产品设计组"), 18, textColor, true);
    const QStringList messages = {
        QStringLiteral("大家好我们今天下午三点半开会"), QStringLiteral("地点在三楼的大会议室"),
        QStringLiteral("请提前准备好本周的工作总结"),   QStringLiteral("收到我会带上新的设计稿"),
        QStringLiteral("图书馆门口见面然后一起过去"),   QStringLiteral("新版本的截图功能已经完成"),
        QStringLiteral("文字识别的速度提高了很多"),     QStringLiteral("下周一开始进行用户测试"),
        QStringLiteral("有问题随时在群里讨论"),         QStringLiteral("谢谢大家的辛苦工作")};
    int top = 110;
    for (int i = 0; i < messages.size(); ++i) {
        const bool mine = i % 3 == 1;
        const int x = mine ? 760 : 340;
        p.panel(QRect(x - 12, top - 8, 440, 38),
                mine ? QColor(0x95, 0xec, 0x69) : QColor(0xf0, 0xf0, 0xf0), 6);
        p.text(x, top, messages[i], 15, textColor);
        top += 56;
    }

    // Input area.
    p.panel(QRect(300, 690, 980, 1), QColor(0xd0, 0xd0, 0xd0));
    p.text(330, 710, QStringLiteral("输入消息后按回车发送"), 14, secondaryColor);
    p.button(1170, 740, QStringLiteral("发送"), 14, QColor(0x07, 0xc1, 0x60), Qt::white);
    return p.finish();
}

TextFixture TextFixture::mixedScreen()
{
    FixturePainter p(QStringLiteral("mixed-screen"), 1920, 1080, windowColor);
    // Title bar.
    p.panel(QRect(0, 0, 1920, 44), QColor(0xe3, 0xe3, 0xe3));
    p.text(820, 12, QStringLiteral("Kelpie 设置 - Preferences"), 15, textColor, true);

    // Dark sidebar.
    p.panel(QRect(0, 44, 340, 1036), darkPanelColor);
    column(p, 32, 80, 48,
           {QStringLiteral("General"), QStringLiteral("快捷键"), QStringLiteral("Capture"),
            QStringLiteral("截图保存位置"), QStringLiteral("Appearance"),
            QStringLiteral("文字识别"), QStringLiteral("Privacy"), QStringLiteral("Updates"),
            QStringLiteral("插件管理"), QStringLiteral("Help 帮助"), QStringLiteral("关于 Kelpie")},
           15, darkTextColor);

    // Main content.
    p.panel(QRect(340, 44, 1580, 1000), contentColor);
    p.text(400, 80, QStringLiteral("General 常规设置"), 22, textColor, true);
    column(
        p, 400, 140, 34,
        {QStringLiteral("Capture shortcut: F1"), QStringLiteral("区域截图的快捷键可以在这里修改"),
         QStringLiteral("Pin shortcut: F3"), QStringLiteral("钉住剪贴板中的图片"),
         QStringLiteral("Save screenshots to Downloads"), QStringLiteral("默认保存到下载文件夹"),
         QStringLiteral("Image format PNG or JPEG"), QStringLiteral("图片格式可以选择 PNG 或 JPEG"),
         QStringLiteral("Copy the image after capture"), QStringLiteral("截图后自动复制到剪贴板"),
         QStringLiteral("Recognise text in screenshots"),
         QStringLiteral("识别截图中的文字并可以复制"), QStringLiteral("Hide text covered by masks"),
         QStringLiteral("被遮挡的文字不会被复制")},
        15, textColor);
    column(p, 400, 640, 30,
           {QStringLiteral("Last updated 2024-05-18 14:32"), QStringLiteral("今天下午三点半"),
            QStringLiteral("图书馆门口见面"), QStringLiteral("Version 2.0.1 build 318")},
           13, secondaryColor);
    column(p, 1180, 140, 34,
           {QStringLiteral("Recent files"), QStringLiteral("report-final.png"),
            QStringLiteral("会议记录截图.png"), QStringLiteral("design review notes"),
            QStringLiteral("项目计划第二版"), QStringLiteral("invoice_2024_03.pdf"),
            QStringLiteral("用户反馈汇总"), QStringLiteral("Open in file manager")},
           14, linkColor);
    column(p, 1180, 460, 30,
           {QStringLiteral("Storage used 1.2 GB of 5 GB"), QStringLiteral("清理缓存可以释放空间")},
           13, secondaryColor);

    // Buttons and status bar.
    p.button(400, 820, QStringLiteral("Apply"), 14, accentColor, Qt::white);
    p.button(520, 820, QStringLiteral("取消"), 14, QColor(0xe8, 0xe8, 0xe8), textColor);
    p.button(1180, 560, QStringLiteral("Clear cache"), 14, QColor(0xe8, 0xe8, 0xe8), textColor);
    p.panel(QRect(340, 1044, 1580, 36), QColor(0xe9, 0xe9, 0xe9));
    p.text(360, 1052, QStringLiteral("Ready 就绪"), 13, secondaryColor);
    return p.finish();
}

std::vector<TextFixture> TextFixture::all()
{
    return {englishInterface(), simplifiedChinese(), mixedLines(), traditionalChinese(),
            darkPanel(),        chineseScreen(),     mixedScreen()};
}

TextFixture TextFixture::named(const QString& name)
{
    for (TextFixture& fixture : all()) {
        if (fixture.name == name)
            return std::move(fixture);
    }
    throw std::invalid_argument("unknown text fixture");
}

QStringList TextFixture::texts() const
{
    QStringList result;
    for (const Line& line : lines)
        result.append(line.text);
    return result;
}

} // namespace kelpie
