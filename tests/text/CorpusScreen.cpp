// corpus_screen: shows one of a few ordinary Qt windows (a message box, a
// list and a table with a selected row, a dense documentation page, a
// settings form) so that tests/text/make-corpus can photograph it under an
// X server for the recognition corpus. It is a thing to take screenshots of,
// nothing more; the window stays up until it is closed or killed.
//
//   corpus_screen NAME
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QStyleFactory>
#include <QTableWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>
#include <map>

namespace {

QWidget* messageBox()
{
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("删除文件"),
                                QStringLiteral("确定要永久删除选中的 3 个文件吗？"),
                                QMessageBox::Cancel | QMessageBox::Yes);
    box->setInformativeText(QStringLiteral("共 3.4 MB，删除后无法在回收站中找到。"));
    box->button(QMessageBox::Yes)->setText(QStringLiteral("删除"));
    box->button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    return box;
}

QWidget* listSelected()
{
    auto* list = new QListWidget;
    const QStringList items{
        QStringLiteral("收件箱 (12)"),
        QStringLiteral("已发送"),
        QStringLiteral("草稿箱"),
        QStringLiteral("Project Kelpie 周报"),
        QStringLiteral("Invoice 2024-0512.pdf"),
        QStringLiteral("会议纪要 5月12日"),
        QStringLiteral("Release notes v0.1.0"),
        QStringLiteral("垃圾邮件"),
        QStringLiteral("Archive 2023"),
    };
    list->addItems(items);
    list->setCurrentRow(3);
    list->resize(360, 280);
    return list;
}

QTableWidget* table(const QStringList& headers, const std::vector<QStringList>& rows)
{
    auto* widget = new QTableWidget(int(rows.size()), int(headers.size()));
    widget->setHorizontalHeaderLabels(headers);
    widget->verticalHeader()->setVisible(false);
    widget->setSelectionBehavior(QAbstractItemView::SelectRows);
    widget->setShowGrid(false);
    for (int r = 0; r < int(rows.size()); ++r) {
        for (int c = 0; c < int(headers.size()); ++c)
            widget->setItem(r, c, new QTableWidgetItem(rows[std::size_t(r)].value(c)));
    }
    widget->resizeColumnsToContents();
    widget->horizontalHeader()->setStretchLastSection(true);
    return widget;
}

QWidget* tableFiles()
{
    QTableWidget* widget
        = table({QStringLiteral("名称"), QStringLiteral("大小"), QStringLiteral("修改时间")},
                {
                    {QStringLiteral("年度报告.docx"), QStringLiteral("3.4 MB"),
                     QStringLiteral("2024-05-12 14:03:11")},
                    {QStringLiteral("budget-2024.xlsx"), QStringLiteral("86 KB"),
                     QStringLiteral("2024-05-11 09:47:02")},
                    {QStringLiteral("照片备份.zip"), QStringLiteral("1.2 GB"),
                     QStringLiteral("2024-04-30 22:15:48")},
                    {QStringLiteral("README.md"), QStringLiteral("4 KB"),
                     QStringLiteral("2024-04-28 17:20:05")},
                    {QStringLiteral("会议录音 0428.m4a"), QStringLiteral("27.9 MB"),
                     QStringLiteral("2024-04-28 10:02:37")},
                    {QStringLiteral("setup.sh"), QStringLiteral("912 B"),
                     QStringLiteral("2024-04-02 08:00:00")},
                    {QStringLiteral("客户名单.csv"), QStringLiteral("158 KB"),
                     QStringLiteral("2024-03-19 16:44:29")},
                });
    widget->selectRow(2);
    widget->resize(560, 280);
    return widget;
}

QWidget* darkTableTraditional()
{
    QTableWidget* widget = table({QStringLiteral("項目"), QStringLiteral("負責人"),
                                  QStringLiteral("狀態"), QStringLiteral("截止日期")},
                                 {
                                     {QStringLiteral("網站改版"), QStringLiteral("陳美玲"),
                                      QStringLiteral("進行中"), QStringLiteral("2024-06-30")},
                                     {QStringLiteral("客戶資料遷移"), QStringLiteral("林志豪"),
                                      QStringLiteral("已完成"), QStringLiteral("2024-05-02")},
                                     {QStringLiteral("API 文件翻譯"), QStringLiteral("王小明"),
                                      QStringLiteral("待審核"), QStringLiteral("2024-05-20")},
                                     {QStringLiteral("年度預算編列"), QStringLiteral("張家瑋"),
                                      QStringLiteral("進行中"), QStringLiteral("2024-07-15")},
                                     {QStringLiteral("伺服器升級"), QStringLiteral("Kevin Lee"),
                                      QStringLiteral("延期"), QStringLiteral("2024-08-01")},
                                     {QStringLiteral("員工訓練課程"), QStringLiteral("黃淑芬"),
                                      QStringLiteral("已完成"), QStringLiteral("2024-04-18")},
                                 });
    widget->selectRow(3);
    widget->resize(520, 250);
    return widget;
}

QWidget* formTraditional()
{
    auto* window = new QWidget;
    auto* form = new QFormLayout;
    auto* name = new QLineEdit(QStringLiteral("陳美玲"));
    auto* mail = new QLineEdit(QStringLiteral("meiling.chen@example.com.tw"));
    auto* language = new QComboBox;
    language->addItem(QStringLiteral("繁體中文（台灣）"));
    form->addRow(QStringLiteral("顯示名稱："), name);
    form->addRow(QStringLiteral("電子郵件："), mail);
    form->addRow(QStringLiteral("介面語言："), language);
    auto* layout = new QVBoxLayout(window);
    layout->addLayout(form);
    auto* sync = new QCheckBox(QStringLiteral("自動同步通訊錄"));
    sync->setChecked(true);
    layout->addWidget(sync);
    layout->addWidget(new QCheckBox(QStringLiteral("登入時顯示每日提醒")));
    layout->addWidget(new QLabel(QStringLiteral("上次同步：2024年5月12日 下午2:03")));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("儲存"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    layout->addWidget(buttons);
    window->resize(440, 260);
    return window;
}

QWidget* docDense()
{
    auto* browser = new QTextBrowser;
    browser->setHtml(QStringLiteral(R"(<html><body style="font-size:10pt">
<h3>sync.conf 配置说明</h3>
<p>Each section starts with a name in brackets. Keys are case sensitive;<br>
values may be quoted. Lines that start with # are comments.</p>
<p><b>interval</b> (integer, default 300)<br>
How often, in seconds, the folder is compared with the server.<br>
同步间隔，单位为秒。设为 0 表示只在启动时同步一次。</p>
<p><b>max_upload</b> (size, default 3.4 MB)<br>
Files larger than this are skipped and listed in the log.<br>
超过此大小的文件会被跳过，并记录在日志中。</p>
<p><b>exclude</b> (list of patterns)<br>
Patterns such as *.tmp or build/ that are never uploaded.<br>
例如：*.tmp、node_modules/、~$*.docx</p>
<p><b>log_file</b> (path, default ~/.cache/sync/sync.log)<br>
Every run appends lines like 2024-05-12 14:03:11 OK 42 files.</p>
<p>Example:</p>
<pre>[work]
interval = 600
max_upload = 20 MB
exclude = *.tmp, build/</pre>
</body></html>)"));
    browser->resize(480, 410);
    return browser;
}

QWidget* darkPalette(QWidget* widget)
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    palette.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    palette.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
    palette.setColor(QPalette::Text, QColor(0xdc, 0xdc, 0xdc));
    palette.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    palette.setColor(QPalette::ButtonText, QColor(0xe0, 0xe0, 0xe0));
    palette.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    QApplication::setPalette(palette);
    return widget;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const std::map<QString, std::function<QWidget*()>> screens{
        {QStringLiteral("messagebox"), messageBox},
        {QStringLiteral("list"), listSelected},
        {QStringLiteral("table"), tableFiles},
        {QStringLiteral("dark-table"), [] { return darkPalette(darkTableTraditional()); }},
        {QStringLiteral("form"), formTraditional},
        {QStringLiteral("doc"), docDense},
    };
    const QString name = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const auto screen = screens.find(name);
    if (screen == screens.end()) {
        std::fprintf(stderr, "usage: corpus_screen NAME, NAME one of:");
        for (const auto& [known, make] : screens)
            std::fprintf(stderr, " %s", known.toUtf8().constData());
        std::fprintf(stderr, "\n");
        return 2;
    }
    QWidget* window = screen->second();
    window->setWindowTitle(QStringLiteral("corpus-") + name);
    window->move(0, 0);
    window->show();
    return QApplication::exec();
}
