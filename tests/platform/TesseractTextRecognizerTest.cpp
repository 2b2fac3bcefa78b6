#include "platform/TesseractTextRecognizer.h"

#include "platform/TesseractEngine.h"

#include "tests/text/OcrCorpus.h"
#include "tests/text/TerminalScreen.h"
#include "tests/text/TextFixture.h"
#include "text/SafeTextImage.h"

#include <QDir>
#include <QFontDatabase>
#include <QPainter>

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace kelpie;

QStringList textsOf(const TextAnalysis& analysis)
{
    QStringList texts;
    for (const TextAnalysis::Line& line : analysis.lines)
        texts.append(line.text);
    return texts;
}

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

// The short fixtures, each read line for line in reading order: English
// interface text, simplified Chinese (no spaces between characters), mixed
// lines (spaces only where typed), traditional Chinese, light text on a dark
// panel and white text on a button. The two full screens are bench_ocr's.
// The picture of a screen of the recognition corpus; null when it is
// missing.
QImage corpusImage(const QString& name)
{
    const OcrCorpus corpus = OcrCorpus::load(OcrCorpus::defaultDirectory());
    const OcrCorpus::Screen* screen = corpus.find(name);
    return screen ? screen->image() : QImage();
}

TEST(TesseractTextRecognizer, ReadsTheFixturesExactly)
{
    TesseractTextRecognizer recognizer;
    for (const TextFixture& fixture :
         {TextFixture::englishInterface(), TextFixture::simplifiedChinese(),
          TextFixture::mixedLines(), TextFixture::traditionalChinese(), TextFixture::darkPanel()}) {
        const TextAnalysis analysis = recognizer.analyze(fixture.image, RecognitionCancellation());
        EXPECT_EQ(textsOf(analysis), fixture.texts()) << fixture.name.toStdString();
        EXPECT_EQ(analysis.text(), fixture.texts().join(QLatin1Char('\n')));

        // Every box lies where the line was drawn, characters left to right.
        for (std::size_t i = 0; i < analysis.lines.size() && i < fixture.lines.size(); ++i) {
            const TextAnalysis::Line& line = analysis.lines[i];
            const QRect drawn = fixture.lines[i].box.adjusted(-2, -2, 2, 2);
            const Rect area(drawn.x(), drawn.y(), drawn.width(), drawn.height());
            EXPECT_TRUE(area.contains(line.box)) << line.text.toStdString();
            double left = line.box.minX();
            for (const TextAnalysis::Word& word : line.words) {
                for (const TextAnalysis::Character& character : word.characters) {
                    EXPECT_TRUE(line.box.contains(character.box)) << character.text.toStdString();
                    EXPECT_GE(character.box.midX(), left) << character.text.toStdString();
                    left = character.box.midX();
                }
            }
        }
    }
}

TEST(TesseractTextRecognizer, CancelledAnalysisYieldsNoResult)
{
    TesseractTextRecognizer recognizer;
    const QImage screen = TextFixture::mixedScreen().image;

    RecognitionCancellation before;
    before.cancel();
    EXPECT_THROW(recognizer.analyze(screen, before), RecognitionCancellation::Cancelled);

    // Cancelled while the lines are being recognised, from another thread.
    recognizer.prewarm();
    RecognitionCancellation during;
    std::atomic<bool> started{false};
    std::thread canceller([&] {
        while (!started)
            std::this_thread::yield();
        during.cancel();
    });
    started = true;
    EXPECT_THROW(recognizer.analyze(screen, during), RecognitionCancellation::Cancelled);
    canceller.join();

    // The recogniser still works afterwards.
    const TextFixture fixture = TextFixture::simplifiedChinese();
    EXPECT_EQ(textsOf(recognizer.analyze(fixture.image, RecognitionCancellation())),
              fixture.texts());
}

TEST(TesseractTextRecognizer, ImagesWithoutTextNeedNoModels)
{
    TesseractTextRecognizer recognizer;
    QImage blank(800, 600, QImage::Format_RGB32);
    blank.fill(QColor(0x20, 0x40, 0x60));
    EXPECT_TRUE(recognizer.analyze(blank, RecognitionCancellation()).isEmpty());
    EXPECT_TRUE(recognizer.analyze(QImage(), RecognitionCancellation()).isEmpty());
    EXPECT_EQ(recognizer.loadedModelSets(), 0);
}

// Models load without what only the older recogniser reads: the engines'
// own definitions of the functions that build it take the place of
// Tesseract's. Its look-alike list is skipped once per model, its adapted
// classes once per character.
TEST(TesseractTextRecognizer, ModelsLoadWithoutTheOlderRecognisersTables)
{
    const int loads = TesseractEngine::loadsInProcess();
    const TesseractEngine::OlderRecognizerSkips before = TesseractEngine::olderRecognizerSkips();
    TesseractTextRecognizer recognizer;
    recognizer.prewarm();
    const int loaded = TesseractEngine::loadsInProcess() - loads;
    const TesseractEngine::OlderRecognizerSkips after = TesseractEngine::olderRecognizerSkips();
    EXPECT_GT(loaded, 0);
    EXPECT_EQ(after.lookAlikeLists - before.lookAlikeLists, loaded);
    // The Chinese model alone has thousands of characters.
    EXPECT_GT(after.adaptedClasses - before.adaptedClasses, 1000);
}

// Analyses from several threads at once share the recogniser; the models
// made for the overlap are freed, those of the workers stay warm, and
// Tesseract's own OpenMP threads are never started.
TEST(TesseractTextRecognizer, ConcurrentAnalysesAgreeAndKeepTheWorkersWarm)
{
    TesseractTextRecognizer::Options options;
    options.workers = 2;
    options.rememberedLines = 0; // read every time
    TesseractTextRecognizer recognizer(TextRecognizer::languages(), options);
    const TextFixture mixed = TextFixture::mixedLines();
    const TextFixture english = TextFixture::englishInterface();
    const TextAnalysis mixedAlone = recognizer.analyze(mixed.image, RecognitionCancellation());
    const TextAnalysis englishAlone = recognizer.analyze(english.image, RecognitionCancellation());
    EXPECT_EQ(recognizer.loadedModelSets(), 2);

    const int threadsBefore = threadCount();
    TextAnalysis mixedTogether;
    TextAnalysis englishTogether;
    std::thread first(
        [&] { mixedTogether = recognizer.analyze(mixed.image, RecognitionCancellation()); });
    std::thread second(
        [&] { englishTogether = recognizer.analyze(english.image, RecognitionCancellation()); });
    first.join();
    second.join();
    EXPECT_EQ(mixedTogether, mixedAlone);
    EXPECT_EQ(englishTogether, englishAlone);
    EXPECT_EQ(recognizer.loadedModelSets(), 2);
    EXPECT_LE(threadCount(), threadsBefore);

    recognizer.releaseIdleModels();
    EXPECT_EQ(recognizer.loadedModelSets(), 0);
    EXPECT_EQ(recognizer.analyze(mixed.image, RecognitionCancellation()), mixedAlone);
}

// The passes that read an image's Chinese lines again with the second
// Chinese language share the lines out among the workers: two traditional
// screens read at once by one recogniser read as each does alone.
TEST(TesseractTextRecognizer, ConcurrentTraditionalPassesAgree)
{
    const QImage dialog = corpusImage(QStringLiteral("qt-form-traditional"));
    const QImage terminal = corpusImage(QStringLiteral("term-cjk-traditional"));
    ASSERT_FALSE(dialog.isNull());
    ASSERT_FALSE(terminal.isNull());
    ASSERT_NE(dialog.size(), terminal.size()); // no words recalled between them
    TesseractTextRecognizer::Options options;
    options.workers = 2;
    options.rememberedLines = 0;
    TesseractTextRecognizer alone(TextRecognizer::languages(), options);
    const TextAnalysis dialogAlone = alone.analyze(dialog, RecognitionCancellation());
    const TextAnalysis terminalAlone = alone.analyze(terminal, RecognitionCancellation());

    TesseractTextRecognizer together(TextRecognizer::languages(), options);
    TextAnalysis dialogTogether;
    TextAnalysis terminalTogether;
    std::thread first(
        [&] { dialogTogether = together.analyze(dialog, RecognitionCancellation()); });
    std::thread second(
        [&] { terminalTogether = together.analyze(terminal, RecognitionCancellation()); });
    first.join();
    second.join();
    EXPECT_EQ(dialogTogether, dialogAlone);
    EXPECT_EQ(terminalTogether, terminalAlone);
}

// The first analysis gives each worker a set of its own, loaded as its
// lines need the models, whether the lines are in both scripts or in one;
// the next analysis reads the same with them.
TEST(TesseractTextRecognizer, FirstAnalysisGivesEachWorkerItsOwnSet)
{
    TesseractTextRecognizer::Options options;
    options.workers = 2;
    options.rememberedLines = 0;
    TesseractTextRecognizer recognizer(TextRecognizer::languages(), options);
    const TextFixture mixed = TextFixture::mixedLines();
    const TextAnalysis cold = recognizer.analyze(mixed.image, RecognitionCancellation());
    EXPECT_EQ(textsOf(cold), mixed.texts());
    EXPECT_EQ(recognizer.loadedModelSets(), 2);
    EXPECT_EQ(recognizer.analyze(mixed.image, RecognitionCancellation()), cold);
    EXPECT_EQ(recognizer.loadedModelSets(), 2);

    TesseractTextRecognizer latin(TextRecognizer::languages(), options);
    QStringList rows;
    for (int i = 0; i < 8; ++i)
        rows.append(QStringLiteral("-rw-r--r-- 1 alice alice %1 May 12 notes-%2.txt")
                        .arg(4096 + 17 * i)
                        .arg(i));
    const TerminalScreen screen = TerminalScreen::draw(rows, false);
    EXPECT_EQ(latin.analyze(screen.image, RecognitionCancellation()).lines.size(), rows.size());
    EXPECT_EQ(latin.loadedModelSets(), 2);
}

// Lines are remembered by their pixels: after an edit the changed line is
// read anew, the others keep their readings, and nothing stale remains.
TEST(TesseractTextRecognizer, EditedLinesAreReadAgain)
{
    TesseractTextRecognizer::Options options;
    options.workers = 1;
    TesseractTextRecognizer recognizer(TextRecognizer::languages(), options);
    const TextFixture fixture = TextFixture::englishInterface();
    const TextAnalysis before = recognizer.analyze(fixture.image, RecognitionCancellation());
    ASSERT_EQ(textsOf(before), fixture.texts());

    // The second line now reads "Copy to clipboard", drawn in the same place
    // and style over a blank.
    QImage edited = fixture.image.copy();
    const QImage replacement = [&] {
        QImage line(fixture.image.size(), fixture.image.format());
        line.fill(Qt::white);
        return line;
    }();
    {
        QPainter painter(&edited);
        const QRect second = fixture.lines[1].box;
        painter.drawImage(second, replacement, QRect(QPoint(0, 0), second.size()));
        const QRect keep(second.topLeft(), QSize(second.width() * 2 / 3, second.height()));
        painter.drawImage(keep, fixture.image, keep);
    }
    const TextAnalysis after = recognizer.analyze(edited, RecognitionCancellation());
    TesseractTextRecognizer fresh(TextRecognizer::languages(), options);
    const TextAnalysis expected = fresh.analyze(edited, RecognitionCancellation());
    EXPECT_EQ(after, expected);
    ASSERT_EQ(after.lines.size(), 4u);
    EXPECT_NE(after.lines[1].text, before.lines[1].text);
    EXPECT_EQ(after.lines[0], before.lines[0]);

    recognizer.forgetLines();
    EXPECT_EQ(recognizer.analyze(edited, RecognitionCancellation()), expected);
}

// Small dialog type reads unsure at the usual size, and some of its lines
// are read again larger; a remembered reading comes back with the size it
// was read at, so its characters land where a fresh reading puts them.
TEST(TesseractTextRecognizer, LinesReadLargerAreRememberedWithTheirSize)
{
    const QImage image = corpusImage(QStringLiteral("qt-list-selected"));
    ASSERT_FALSE(image.isNull());

    TesseractTextRecognizer::Options fresh;
    fresh.rememberedLines = 0;
    const TextAnalysis expected = TesseractTextRecognizer(TextRecognizer::languages(), fresh)
                                      .analyze(image, RecognitionCancellation());
    TesseractTextRecognizer recognizer;
    EXPECT_EQ(recognizer.analyze(image, RecognitionCancellation()), expected);
    EXPECT_EQ(recognizer.analyze(image, RecognitionCancellation()), expected);
}

// A prompt whose directory is a Chinese name: the Latin run before the
// wide characters is read again by the English model, cut where the first
// wide character starts (cut wider, it read "~/X#文档"). Spaces in such
// rows are the terminal's blank cells. Runs take in what the cells show is
// no wide character, and leave out what is.
TEST(TesseractTextRecognizer, LatinRunsBeforeWideCharactersAreReadWithoutThem)
{
    const QImage image = corpusImage(QStringLiteral("term-cjk-light-mixed"));
    ASSERT_FALSE(image.isNull());
    TesseractTextRecognizer recognizer;
    const QStringList read = textsOf(recognizer.analyze(image, RecognitionCancellation()));
    const QString prompt = QString::fromUtf8("alice@desk:~/文档$");
    EXPECT_EQ(read.count(prompt + QStringLiteral(" ls")), 1)
        << read.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(read.last(), prompt);
    // A full stop alone in the middle of its cell starts no word.
    EXPECT_TRUE(read.join(QLatin1Char('\n')).contains(QStringLiteral(" README.md")));
    // Narrow characters that the Chinese model took for Han ones ("¥1" for
    // "涪", "#" and the blank after it for "大") join the Latin run around
    // them; a run before wide characters is cut where its glyphs reach
    // into their cells (it had read "6@李娜").
    EXPECT_TRUE(read.contains(QString::fromUtf8("# 周会纪要 2024-05-12")));
    EXPECT_TRUE(read.contains(QString::fromUtf8("3. 服务器费用：每月 ¥1,280，预算剩余 ¥36,400。")));
    EXPECT_TRUE(read.contains(QString::fromUtf8("- [ ] 准备 3.4 MB 以内的演示视频 @李娜")));
    // The cut is at the end of the cell of the run's last glyph when the
    // English model passed over the start of the wide character after it
    // ("2024年" had read "20244|年").
    EXPECT_TRUE(read.join(QLatin1Char('\n')).contains(QString::fromUtf8("2024年度报告.docx")));
    // Narrow characters between wide ones take their cells and the readings
    // of the same pictures elsewhere on the screen ("wc" had read "we").
    EXPECT_EQ(read.count(prompt + QString::fromUtf8(" wc -l 会议纪要-0512.md")), 1);

    // Where the cells are known, a space is a blank cell: a full stop in the
    // middle of its cell after a wide character leaves a blank as wide as
    // a typed space's, and had read "季度报表 .xlsx".
    const QImage log = corpusImage(QStringLiteral("term-cjk-dark-log"));
    ASSERT_FALSE(log.isNull());
    const QString logText
        = textsOf(recognizer.analyze(log, RecognitionCancellation())).join(QLatin1Char('\n'));
    EXPECT_TRUE(logText.contains(QString::fromUtf8("季度报表.xlsx"))) << logText.toStdString();
}

// A terminal row the recogniser reads unsurely (a diffstat's "6 ++++--" in
// a small bitmap font) is still text when its reading fits the row's cells
// one character to each; the cells then mend what it misread.
TEST(TesseractTextRecognizer, UnsureRowsThatFitATerminalsCellsAreKept)
{
    const QImage image = corpusImage(QStringLiteral("term-bitmap-dense-changelog"));
    ASSERT_FALSE(image.isNull());
    TesseractTextRecognizer recognizer;
    const QStringList read = textsOf(recognizer.analyze(image, RecognitionCancellation()));
    EXPECT_TRUE(read.contains(QStringLiteral("text/TextLayout.h | 6 ++++--")))
        << read.join(QLatin1Char('\n')).toStdString();
}

// A bitmap font's "@" read as "B" in some prompts and "@" in others, its
// "G" read as the "6" of other rows and its "%" as their "2": the readings
// the recogniser weighed for those pictures settle them.
TEST(TesseractTextRecognizer, TerminalPicturesInDoubtTakeTheirLikeliestReading)
{
    TesseractTextRecognizer recognizer;
    const QImage listing = corpusImage(QStringLiteral("term-bitmap-light-ls"));
    const QImage changelog = corpusImage(QStringLiteral("term-bitmap-dense-changelog"));
    ASSERT_FALSE(listing.isNull());
    ASSERT_FALSE(changelog.isNull());
    const QString listed
        = textsOf(recognizer.analyze(listing, RecognitionCancellation())).join(QLatin1Char('\n'));
    EXPECT_EQ(listed.count(QStringLiteral("alice@desk:~")), 7) << listed.toStdString();
    EXPECT_TRUE(listed.contains(QStringLiteral("/dev/nvme0n1p3 468G 201G 244G 46% /home")))
        << listed.toStdString();
    const QString logged
        = textsOf(recognizer.analyze(changelog, RecognitionCancellation())).join(QLatin1Char('\n'));
    EXPECT_TRUE(logged.contains(QStringLiteral("a pin larger than 80% of the screen")))
        << logged.toStdString();
}

TEST(TesseractTextRecognizer, LanguagesWithoutAModelFail)
{
    TesseractTextRecognizer recognizer({QStringLiteral("xx-Unknown")});
    EXPECT_THROW(
        recognizer.analyze(TextFixture::englishInterface().image, RecognitionCancellation()),
        TextRecognizer::Failure);
    EXPECT_EQ(TesseractTextRecognizer::modelName(QStringLiteral("zh-Hant")),
              QStringLiteral("chi_tra"));

    // English alone reads English.
    TesseractTextRecognizer english({QStringLiteral("en-US")});
    const TextFixture fixture = TextFixture::englishInterface();
    EXPECT_EQ(textsOf(english.analyze(fixture.image, RecognitionCancellation())), fixture.texts());
}

// A terminal listing reads row by row, each row one line, whatever runs of
// spaces pad its columns; Chinese lines keep their digits and Latin words.
TEST(TesseractTextRecognizer, ReadsTerminalRowsAndLatinInsideChineseLines)
{
    TesseractTextRecognizer recognizer;
    const QStringList rows{
        QStringLiteral("alice@desk:~$ ls -la docs"),
        QStringLiteral("total 52"),
        QStringLiteral("drwxr-xr-x 2 alice   4096 May 12 docs"),
        QStringLiteral("-rw-r--r-- 1 alice  35149 Apr 30 LICENSE"),
        QString::fromUtf8("alice@desk:~/文档$ ls"),
    };
    const TerminalScreen screen = TerminalScreen::draw(rows, true, 17);
    const QStringList read = textsOf(recognizer.analyze(screen.image, RecognitionCancellation()));
    ASSERT_EQ(read.size(), rows.size()) << read.join(QLatin1Char('\n')).toStdString();
    // Row by row: each line ends as its row does.
    for (qsizetype r = 0; r < rows.size(); ++r)
        EXPECT_TRUE(read[r].endsWith(rows[r].split(QLatin1Char(' ')).last())) << r;
    EXPECT_EQ(read[1], rows[1]);
    EXPECT_EQ(read[2], rows[2].simplified());
    // The blank a wide character leaves in its two cells is no space.
    EXPECT_TRUE(read[4].endsWith(QString::fromUtf8("文档$ ls"))) << read[4].toStdString();

    QFontDatabase::addApplicationFont(
        QStringLiteral("/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"));
    const auto readAlone = [&recognizer](const QString& line, int pixelSize) {
        QImage image(420, 40, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QFont font(QStringLiteral("Noto Sans CJK SC"));
        font.setPixelSize(pixelSize);
        painter.setFont(font);
        painter.setPen(QColor(0x20, 0x20, 0x20));
        painter.drawText(QPoint(10, 25), line);
        painter.end();
        return textsOf(recognizer.analyze(image, RecognitionCancellation()));
    };
    const QString line = QString::fromUtf8("会议纪要 2024-05-12 由 alice 整理");
    EXPECT_EQ(readAlone(line, 14), QStringList{line});
    // A file name's extension read again alone keeps its dot.
    const QString file = QString::fromUtf8("会议录音.m4a");
    EXPECT_EQ(readAlone(file, 13), QStringList{file});
    // So do other marks that start a Latin run.
    for (const char* text : {"会议室-2 已预订", "安装到/usr/local", "报告-final.docx"})
        EXPECT_EQ(readAlone(QString::fromUtf8(text), 16), QStringList{QString::fromUtf8(text)});
}

// A masked word on dark terminal rows: the word under the mask cannot be
// read; the rest of its row and the rows around it still read as they do
// without the mask.
TEST(TesseractTextRecognizer, SafeTextHidesMaskedWordsAndKeepsTheRest)
{
    TesseractTextRecognizer recognizer;
    const QStringList rows{QStringLiteral("alpha bravo charlie"),
                           QStringLiteral("token hunter2 expires"),
                           QStringLiteral("foxtrot golf hotel")};
    const TerminalScreen screen = TerminalScreen::draw(rows, true, 20);
    ASSERT_EQ(textsOf(recognizer.analyze(screen.image, RecognitionCancellation())), rows);

    // The mask covers the word's ink and a pixel around it.
    const QList<Rect> base = SafeTextImage::textRegions(screen.image, RecognitionCancellation());
    const int height = screen.image.height();
    const QRect word = screen.word(QStringLiteral("hunter2")).box;
    Rect ink = Rect::null();
    for (const Rect& region : base) {
        if (QRect(int(region.minX()), height - int(region.maxY()), int(region.width()),
                  int(region.height()))
                .intersects(word))
            ink = region;
    }
    ASSERT_FALSE(ink.isNull());
    const Rect occlusion = ink.insetBy(-1, -1);
    const QList<Rect> occlusions{occlusion};
    const QRect secret(int(occlusion.minX()), height - int(occlusion.maxY()),
                       int(occlusion.width()), int(occlusion.height()));
    // A pixelating mask: coarse cells that still carry the word's shades.
    QImage composite = screen.image.copy();
    {
        const QImage cells = screen.image.copy(secret).scaled(secret.size() / 4);
        QPainter(&composite).drawImage(secret, cells.scaled(secret.size()));
    }
    const QImage prepared
        = SafeTextImage::prepare(composite, base, occlusions, RecognitionCancellation());
    const QString text = recognizer.analyze(prepared, RecognitionCancellation()).text();
    EXPECT_FALSE(text.contains(QStringLiteral("hunter"))) << text.toStdString();
    for (const char* kept :
         {"alpha", "bravo", "charlie", "token", "expires", "foxtrot", "golf", "hotel"})
        EXPECT_TRUE(text.contains(QLatin1String(kept))) << kept << " in " << text.toStdString();
}

} // namespace

// The script of Chinese text is decided on the whole image: a traditional
// line seen again with the rest of the image covered (as a mask covers it)
// stays traditional, though read alone it looks simplified.
TEST(TesseractTextRecognizer, ALineKeepsTheScriptItsImageWasReadIn)
{
    const TextFixture fixture = TextFixture::traditionalChinese();
    TesseractTextRecognizer recognizer;
    ASSERT_EQ(textsOf(recognizer.analyze(fixture.image, RecognitionCancellation())),
              fixture.texts());
    QImage covered = fixture.image.copy();
    QPainter(&covered).fillRect(QRect(0, 0, covered.width(), 34), Qt::white);
    EXPECT_EQ(textsOf(recognizer.analyze(covered, RecognitionCancellation())),
              QStringList{fixture.texts().last()});
}

// The simplified model reads traditional characters as their simplified
// forms; the picture tells them apart character by character, so a line
// that holds both scripts reads as drawn, and a simplified line keeps every
// character's simplified form.
TEST(TesseractTextRecognizer, TellsTraditionalCharactersFromSimplifiedOnesInOneLine)
{
    QFontDatabase::addApplicationFont(
        QStringLiteral("/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"));
    TesseractTextRecognizer recognizer;
    const auto read = [&recognizer](const QStringList& lines, const QString& family) {
        QImage image(560, 14 + 32 * int(lines.size()), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QFont font(family);
        font.setPixelSize(17);
        painter.setFont(font);
        painter.setPen(QColor(0x20, 0x20, 0x20));
        for (qsizetype row = 0; row < lines.size(); ++row)
            painter.drawText(QPoint(10, 27 + 32 * int(row)), lines[row]);
        painter.end();
        return textsOf(recognizer.analyze(image, RecognitionCancellation()));
    };
    // Close calls keep the simplified reading, so not every traditional
    // character is found; but the simplified half never changes.
    const QStringList mixed = read({QString::fromUtf8("简体：网络连接失败 繁體：網路連線失敗")},
                                   QStringLiteral("Noto Sans CJK TC"));
    ASSERT_EQ(mixed.size(), 1);
    EXPECT_TRUE(mixed[0].startsWith(QString::fromUtf8("简体：网络连接失败")))
        << mixed[0].toStdString();
    int traditional = 0;
    for (const QChar c : QString::fromUtf8("體網連線敗"))
        traditional += mixed[0].contains(c);
    EXPECT_GE(traditional, 2) << mixed[0].toStdString();
    // Lines of an image in which some characters were surely traditional
    // are read as traditional text where the picture leans that way; a
    // simplified line among them stays simplified.
    const QStringList block{QString::fromUtf8("顯示名稱：陳美玲 介面語言：繁體中文"),
                            QString::fromUtf8("網路連線失敗，請檢查設定後重試。"),
                            QString::fromUtf8("這個檔案已經儲存到雲端資料夾"),
                            QString::fromUtf8("上线时间定在六月一日，版本号已确认")};
    const QStringList readBlock = read(block, QStringLiteral("Noto Sans CJK TC"));
    ASSERT_EQ(readBlock.size(), block.size());
    // Characters whose simplified form differs: found on their own where
    // they are clear (seven here), and three more once the image shows
    // that it holds traditional text.
    int traditionalRead = 0;
    for (const QChar c : readBlock.join(QString()))
        traditionalRead
            += QString::fromUtf8("顯稱陳語體網連線敗請檢設後這個檔經儲雲資").contains(c);
    EXPECT_GE(traditionalRead, 10) << readBlock.join(u'\n').toStdString();
    for (const QChar c : QString::fromUtf8("線時間號確認"))
        EXPECT_FALSE(readBlock.last().contains(c)) << readBlock.last().toStdString();
    const QString simplified = QString::fromUtf8("请输入密码后保存到云端");
    EXPECT_EQ(read({simplified}, QStringLiteral("Noto Sans CJK SC")), QStringList{simplified});
}
