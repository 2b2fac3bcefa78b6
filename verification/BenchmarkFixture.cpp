#include "verification/BenchmarkFixture.h"

#include "verification/VerificationReport.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QStringList>

#include <nlohmann/json.hpp>

#include <array>

namespace kelpie::BenchmarkFixtureSet {

namespace {

const std::array<const char*, 14> chineseLines{
    "今天下午三点半", "图书馆门口见面", "会议纪要已经上传到共享文件夹", "请在周五之前提交季度报告",
    "系统更新将在今晚十点开始", "文件已保存到下载目录", "网络连接已断开，请检查设置",
    "欢迎使用截图工具", "明天上午九点在三楼开会", "订单已发货，预计后天送达",
    "账户余额不足，请及时充值", "备份完成，共计一百二十个文件", "打开终端并输入以下命令",
    "请勿将密码告诉他人"};
const std::array<const char*, 12> englishLines{
    "Local screenshots stay on your machine.", "Select text, add an arrow, then copy.",
    "The quick brown fox jumps over the lazy dog", "Build finished in 42 seconds with 0 errors",
    "Open Settings to change the capture key", "Meeting notes were shared with the team",
    "Disk usage: 73% of 512 GB", "Last updated 2024-05-18 14:32", "Press Return to copy and close",
    "Network connection restored", "Download complete: report-final.pdf",
    "Your changes have been saved"};
const std::array<const char*, 10> mixedLines{
    "版本 3.4 已发布 Release notes", "下载 report.pdf 完成", "CPU 使用率 45%",
    "会议时间 2024-05-18 14:30", "打开 Settings 修改快捷键", "共 128 个文件 12.5 MB",
    "用户 alice 已登录", "请运行 git pull 更新代码", "Wi-Fi 已连接 信号良好",
    "第 3 页 共 12 页"};

// Cells of the dense tables, one row per line, by category.
const std::array<std::array<const char*, 3>, 5> chineseTable{{{"名称", "大小", "修改日期"},
                                                              {"报告", "12 KB", "昨天"},
                                                              {"照片", "3 MB", "今天"},
                                                              {"备份", "700 MB", "周一"},
                                                              {"笔记", "4 KB", "三月"}}};
const std::array<std::array<const char*, 3>, 5> englishTable{{{"Name", "Size", "Modified"},
                                                              {"report.txt", "12 KB", "Yesterday"},
                                                              {"photo.png", "3 MB", "Today"},
                                                              {"backup.tar", "700 MB", "Monday"},
                                                              {"notes.md", "4 KB", "March"}}};
const std::array<std::array<const char*, 3>, 5> mixedTable{{{"文件", "Size", "日期"},
                                                            {"report.txt", "12 KB", "昨天"},
                                                            {"照片.png", "3 MB", "Today"},
                                                            {"backup", "700 MB", "周一"},
                                                            {"笔记.md", "4 KB", "March"}}};

const std::array<const char*, 6> conditions{"plain",        "small-text",  "dark-theme",
                                            "low-contrast", "dense-table", "selected-row"};

struct Look {
    int pixelSize = 16;
    QColor background{Qt::white};
    QColor ink{Qt::black};
    int lineGap = 12;
};

Look lookFor(const QString& condition)
{
    Look look;
    if (condition == QLatin1String("small-text"))
        look.pixelSize = 11;
    else if (condition == QLatin1String("dark-theme"))
        look = {16, QColor(0x1e, 0x1e, 0x1e), QColor(0xd4, 0xd4, 0xd4), 12};
    else if (condition == QLatin1String("low-contrast"))
        look = {16, QColor(0xf2, 0xf2, 0xf2), QColor(0x9a, 0x9a, 0x9a), 12};
    else if (condition == QLatin1String("dense-table"))
        look = {13, Qt::white, QColor(0x22, 0x22, 0x22), 3};
    return look;
}

QFont fixtureFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    return font;
}

template<std::size_t N> QStringList pick(const std::array<const char*, N>& pool, int from, int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines.append(QString::fromUtf8(pool[std::size_t(from + i) % N]));
    return lines;
}

// The rows of a table, cells joined by one space as a reader gives them.
QList<QStringList> tableRows(const QString& category)
{
    const auto& table = category == QLatin1String("chinese")
        ? chineseTable
        : (category == QLatin1String("english") ? englishTable : mixedTable);
    QList<QStringList> rows;
    for (const auto& row : table) {
        QStringList cells;
        for (const char* cell : row)
            cells.append(QString::fromUtf8(cell));
        rows.append(cells);
    }
    return rows;
}

QImage draw(const QList<QStringList>& rows, const Look& look, int selectedRow)
{
    const QFont font = fixtureFont(look.pixelSize);
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.height() + look.lineGap;
    const int margin = 24;
    const int column = rows.front().size() > 1 ? metrics.horizontalAdvance(QLatin1Char('M')) * 14 : 0;
    QImage image(960, 2 * margin + lineHeight * int(rows.size()), QImage::Format_RGB32);
    image.fill(look.background);
    QPainter painter(&image);
    painter.setFont(font);
    for (int r = 0; r < rows.size(); ++r) {
        const int top = margin + r * lineHeight;
        QColor ink = look.ink;
        if (r == selectedRow) {
            // A selected list row: light text on the selection colour.
            painter.fillRect(QRect(margin / 2, top - look.lineGap / 2, image.width() - margin,
                                   lineHeight),
                             QColor(0x2f, 0x65, 0xca));
            ink = Qt::white;
        }
        painter.setPen(ink);
        for (int c = 0; c < rows[r].size(); ++c)
            painter.drawText(margin + c * column, top + metrics.ascent(), rows[r][c]);
    }
    return image;
}

Entry makeEntry(const QString& category, int index)
{
    const QString condition = QString::fromLatin1(conditions[std::size_t(index) % conditions.size()]);
    const Look look = lookFor(condition);
    QList<QStringList> rows;
    if (condition == QLatin1String("dense-table")) {
        rows = tableRows(category);
    } else {
        const int from = index * 3;
        const QStringList lines = category == QLatin1String("chinese")
            ? pick(chineseLines, from, 4)
            : (category == QLatin1String("english") ? pick(englishLines, from, 4)
                                                    : pick(mixedLines, from, 4));
        for (const QString& line : lines)
            rows.append(QStringList{line});
    }
    const int selectedRow = condition == QLatin1String("selected-row") ? 1 : -1;
    QStringList text;
    for (const QStringList& row : rows)
        text.append(row.join(QLatin1Char(' ')));
    const QString id = QStringLiteral("%1-%2-%3")
                           .arg(category)
                           .arg(index + 1, 2, 10, QLatin1Char('0'))
                           .arg(condition);
    return {{id, category, condition, id + QStringLiteral(".png"), text.join(QLatin1Char('\n'))},
            draw(rows, look, selectedRow)};
}

bool safeFileName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".")
        && name != QLatin1String("..");
}

} // namespace

std::vector<Entry> generate()
{
    std::vector<Entry> entries;
    const std::array<std::pair<const char*, int>, 3> counts{
        {{"chinese", 11}, {"english", 11}, {"mixed", 10}}};
    for (const auto& [category, count] : counts) {
        for (int i = 0; i < count; ++i)
            entries.push_back(makeEntry(QString::fromLatin1(category), i));
    }
    return entries;
}

Status<FixtureSetError> write(const QString& directory)
{
    if (!QDir().mkpath(directory))
        return Failure<FixtureSetError>{FixtureSetError::unreadable, "cannot create the folder"};
    nlohmann::json manifest = nlohmann::json::array();
    for (const Entry& entry : generate()) {
        const BenchmarkFixture& f = entry.fixture;
        if (!entry.image.save(QDir(directory).filePath(f.file), "PNG"))
            return Failure<FixtureSetError>{FixtureSetError::unreadable, f.file.toStdString()};
        manifest.push_back({{"id", f.id.toStdString()},
                            {"category", f.category.toStdString()},
                            {"condition", f.condition.toStdString()},
                            {"file", f.file.toStdString()},
                            {"text", f.text.toStdString()}});
    }
    const auto written = writeReportAtomically(
        QDir(directory).filePath(QStringLiteral("manifest.json")), manifest.dump(2) + '\n');
    if (!written)
        return Failure<FixtureSetError>{FixtureSetError::unreadable, written.failure().detail};
    return Done{};
}

Result<std::vector<BenchmarkFixture>, FixtureSetError> read(const QString& directory)
{
    QFile file(QDir(directory).filePath(QStringLiteral("manifest.json")));
    if (!file.open(QIODevice::ReadOnly))
        return Failure<FixtureSetError>{FixtureSetError::unreadable, "no manifest.json"};
    const nlohmann::json manifest
        = nlohmann::json::parse(file.readAll().toStdString(), nullptr, false);
    if (!manifest.is_array())
        return Failure<FixtureSetError>{FixtureSetError::malformed, "not a JSON array"};
    std::vector<BenchmarkFixture> fixtures;
    for (const nlohmann::json& record : manifest) {
        BenchmarkFixture fixture;
        const std::array<std::pair<const char*, QString*>, 5> fields{{{"id", &fixture.id},
                                                                      {"category", &fixture.category},
                                                                      {"condition", &fixture.condition},
                                                                      {"file", &fixture.file},
                                                                      {"text", &fixture.text}}};
        for (const auto& [key, field] : fields) {
            if (!record.is_object() || !record.contains(key) || !record[key].is_string())
                return Failure<FixtureSetError>{FixtureSetError::malformed,
                                                std::string("a record without ") + key};
            *field = QString::fromStdString(record[key].get<std::string>());
        }
        if (!safeFileName(fixture.file))
            return Failure<FixtureSetError>{FixtureSetError::malformed, "file outside the folder"};
        if (!QFileInfo(QDir(directory).filePath(fixture.file)).isFile())
            return Failure<FixtureSetError>{FixtureSetError::unreadable,
                                            fixture.file.toStdString()};
        fixtures.push_back(std::move(fixture));
    }
    return fixtures;
}

} // namespace kelpie::BenchmarkFixtureSet
