// The editor-side verification routines, each run as the real program runs
// them: the built kelpie with a fixture and the routine's flags, on a
// private X server with a window manager, in a scratch home. Each must end
// with status 0 and a report that passed, with its fixed keys, its checks
// and no scratch settings left behind.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace {

// Long enough for the recognition models to load on a busy machine; a
// hang guard, not a time limit.
constexpr int patience = 600000;

class Routines : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        // A home as a desktop session has it: the default save folder is there.
        ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("Desktop")));
        QImage fixture(64, 48, QImage::Format_RGB32);
        fixture.fill(Qt::white);
        ASSERT_TRUE(fixture.save(path(QStringLiteral("fixture.png"))));
    }

    QString path(const QString& name) const { return folder.filePath(name); }
    QString suites() const { return path(QStringLiteral("config/kelpie/suites")); }

    // Runs kelpie with the fixture and `arguments`; its exit status.
    std::optional<int> run(const QStringList& arguments)
    {
        QProcess kelpie;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), folder.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        kelpie.setProcessEnvironment(environment);
        kelpie.start(QStringLiteral(KELPIE_EXECUTABLE),
                     QStringList{QStringLiteral("--fixture"), path(QStringLiteral("fixture.png"))}
                         + arguments);
        if (!kelpie.waitForStarted() || !kelpie.waitForFinished(patience)) {
            kelpie.kill();
            kelpie.waitForFinished();
            return std::nullopt;
        }
        errors = QString::fromUtf8(kelpie.readAllStandardError());
        if (kelpie.exitStatus() != QProcess::NormalExit)
            return std::nullopt;
        return kelpie.exitCode();
    }

    static nlohmann::json report(const QString& file)
    {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly))
            return nullptr;
        return nlohmann::json::parse(in.readAll().toStdString(), nullptr, false);
    }

    // The report passed, every named check is there and true, and the run
    // left no scratch settings.
    void expectPassed(const nlohmann::json& written, const std::vector<std::string>& checks)
    {
        ASSERT_TRUE(written.is_object()) << "no report";
        EXPECT_EQ(written.value("passed", false), true) << written.dump(2);
        ASSERT_TRUE(written.contains("checks"));
        for (const std::string& name : checks) {
            EXPECT_TRUE(written["checks"].contains(name)) << name;
            EXPECT_EQ(written["checks"].value(name, false), true) << name;
        }
        for (const auto& [name, value] : written["checks"].items())
            EXPECT_TRUE(value.is_boolean()) << name;
        EXPECT_TRUE(QDir(suites()).entryList(QDir::Files).isEmpty())
            << QDir(suites()).entryList(QDir::Files).join(u' ').toStdString();
    }

    // Recognised text stays in memory: none of the fixtures' words may
    // reach the error stream, nor any file the run leaves besides its
    // report and preview.
    void expectNoTextLeft(const QStringList& words)
    {
        for (const QString& word : words)
            EXPECT_FALSE(errors.contains(word)) << word.toStdString() << " on stderr";
        const QStringList left = QDir(folder.path()).entryList(QDir::Files);
        for (const QString& name : left) {
            if (name.endsWith(QStringLiteral(".png")) || name.endsWith(QStringLiteral(".json")))
                continue;
            ADD_FAILURE() << "left behind: " << name.toStdString();
        }
    }

    QTemporaryDir folder;
    QString errors;
};

TEST_F(Routines, TextEntry)
{
    const QString reportPath = path(QStringLiteral("text.json"));
    const QString preview = path(QStringLiteral("text.png"));
    EXPECT_EQ(run({QStringLiteral("--text-smoke-test"), reportPath,
                   QStringLiteral("--text-preview"), preview}),
              0);
    const nlohmann::json written = report(reportPath);
    expectPassed(written,
                 {"native_editor_opens", "composition_is_marked", "marked_candidate_blocks_commit",
                  "text_commits_exact_unicode", "typing_is_one_document_undo",
                  "later_mask_suppresses_annotation_text", "text_above_mask_remains_visible"});
    EXPECT_EQ(written.value("physical_ime_tested", true), false);
    EXPECT_EQ(written.value("composition_scope", std::string()),
              "直接调用原生NSTextInputClient标记/插入；不冒充真实中文输入法候选实测");
    EXPECT_EQ(written.value("fixture_only", false), true);
    EXPECT_FALSE(QImage(preview).isNull());
    expectNoTextLeft({QStringLiteral("ORIGINAL"), QStringLiteral("4832"), QStringLiteral("ABCD"),
                      QStringLiteral("MEMO"), QStringLiteral("7159"), QStringLiteral("2468")});
}

TEST_F(Routines, PrivacyOfRecognisedText)
{
    const QString reportPath = path(QStringLiteral("privacy.json"));
    EXPECT_EQ(run({QStringLiteral("--privacy-smoke-test"), reportPath}), 0);
    const nlohmann::json written = report(reportPath);
    std::vector<std::string> checks{
        "baseline_recognizes_both_lines", "moving_mask_restores_visible_text",
        "undo_restores_suppression", "closed_window_has_no_old_analysis"};
    for (const char* tool : {"solid_mask", "pixelate_mask", "blur_mask"})
        for (const char* family : {"_old_text_cleared_immediately", "_composite_changed",
                                   "_suppresses_entire_private_unit",
                                   "_selection_matches_safe_text", "_copy_all_uses_safe_text"})
            checks.push_back(std::string(tool) + family);
    expectPassed(written, checks);
    EXPECT_EQ(written.value("clipboard_tested", false), true);
    EXPECT_EQ(written.value("test_data", std::string()),
              "两行虚构英文，仅局部遮挡第一行；不记录私人截图或OCR");
    EXPECT_EQ(written.value("fixture_only", false), true);
    expectNoTextLeft({QStringLiteral("PRIVATE"), QStringLiteral("CODE"), QStringLiteral("4832"),
                      QStringLiteral("PUBLIC"), QStringLiteral("NOTE"), QStringLiteral("ABCD")});
}

TEST_F(Routines, PrivacyWithoutClipboardSkipsItsChecks)
{
    const QString reportPath = path(QStringLiteral("privacy.json"));
    EXPECT_EQ(
        run({QStringLiteral("--privacy-smoke-test"), reportPath, QStringLiteral("--no-clipboard")}),
        0);
    const nlohmann::json written = report(reportPath);
    expectPassed(written, {"solid_mask_suppresses_entire_private_unit"});
    EXPECT_EQ(written.value("clipboard_tested", true), false);
    EXPECT_FALSE(written["checks"].contains("solid_mask_copy_all_uses_safe_text"));
}

TEST_F(Routines, InPlaceEditing)
{
    const QString reportPath = path(QStringLiteral("inline.json"));
    const QString preview = path(QStringLiteral("inline.png"));
    EXPECT_EQ(run({QStringLiteral("--inline-smoke-test"), reportPath,
                   QStringLiteral("--inline-preview"), preview}),
              0);
    const nlohmann::json written = report(reportPath);
    expectPassed(written,
                 {"toolbar_is_below_region", "output_contains_only_crop",
                  "annotations_disable_crop_handles", "copy_image_keeps_editor_open",
                  "save_uses_system_picker_at_default_folder"});
    EXPECT_EQ(written.value("schema", std::string()), "kelpie.inline-editor.v1");
    EXPECT_EQ(written.value("general_clipboard_written", true), false);
    EXPECT_EQ(written.value("system_input_method_verified", true), false);
    EXPECT_FALSE(QImage(preview).isNull());
}

TEST_F(Routines, WindowInPlaceEditing)
{
    const QString reportPath = path(QStringLiteral("window-inline.json"));
    EXPECT_EQ(run({QStringLiteral("--window-inline-smoke-test"), reportPath}), 0);
    const nlohmann::json written = report(reportPath);
    expectPassed(written,
                 {"actual_system_window_capture", "hidden_left_red_pixels_preserved",
                  "complete_window_placement", "window_capture_has_no_recrop_handles",
                  "output_keeps_complete_window_pixels", "output_pixel_samples_match_window"});
    EXPECT_EQ(written.value("fixture_only", false), true);
}

// A report that cannot be written is no success, whatever the checks said.
TEST_F(Routines, UnwritableReportFails)
{
    const QString reportPath = path(QStringLiteral("missing/folder/window-inline.json"));
    EXPECT_EQ(run({QStringLiteral("--window-inline-smoke-test"), reportPath}), 1);
    EXPECT_FALSE(QFile::exists(reportPath));
}

// With a kept preview the report is written and the program goes on
// running with its windows until it is quit.
TEST_F(Routines, KeptWindowPreviewKeepsRunning)
{
    const QString reportPath = path(QStringLiteral("window-inline.json"));
    QProcess kelpie;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), folder.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
    kelpie.setProcessEnvironment(environment);
    kelpie.start(QStringLiteral(KELPIE_EXECUTABLE),
                 {QStringLiteral("--fixture"), path(QStringLiteral("fixture.png")),
                  QStringLiteral("--window-inline-smoke-test"), reportPath,
                  QStringLiteral("--keep-window-preview")});
    ASSERT_TRUE(kelpie.waitForStarted());
    nlohmann::json written;
    for (int waited = 0; waited < patience && !written.is_object(); waited += 100) {
        if (kelpie.waitForFinished(100))
            break;
        written = report(reportPath);
    }
    ASSERT_TRUE(written.is_object()) << "no report while the preview runs";
    EXPECT_EQ(written.value("passed", false), true) << written.dump(2);
    // Still running some time after its report.
    EXPECT_FALSE(kelpie.waitForFinished(1500));
    EXPECT_EQ(kelpie.state(), QProcess::Running);
    kelpie.kill();
    kelpie.waitForFinished();
}

} // namespace
