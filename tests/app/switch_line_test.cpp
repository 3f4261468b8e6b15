#include "app/unattended/switch_line.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(SwitchLine, OnlyALineStartingWithASlashIsOne) {
    EXPECT_TRUE(IsSwitchLine(u"/check"));
    EXPECT_TRUE(IsSwitchLine(u"  \t/update"));
    EXPECT_FALSE(IsSwitchLine(u"Halvex"));  // quiet mode, as before
    EXPECT_FALSE(IsSwitchLine(u" "));
    EXPECT_FALSE(IsSwitchLine(u""));
}

TEST(SwitchLine, ReadsEverySwitch) {
    std::string problem;
    const auto line = ParseSwitchLine(
        u"/UPDATE:\"Halvex, Model Viewer\" /timeout:15 /result:\"C:\\My files\\r.json\"",
        problem);
    ASSERT_TRUE(line) << problem;
    EXPECT_EQ(line->action, SwitchAction::Update);
    EXPECT_EQ(line->tools, (std::vector<std::u16string>{u"Halvex", u"Model Viewer"}));
    EXPECT_EQ(line->timeoutMinutes, 15);
    EXPECT_EQ(line->resultFile, u"C:\\My files\\r.json");
    EXPECT_FALSE(line->afterSelfUpdate);

    const auto check = ParseSwitchLine(u"/check /afterselfupdate", problem);
    ASSERT_TRUE(check) << problem;
    EXPECT_EQ(check->action, SwitchAction::Check);
    EXPECT_TRUE(check->tools.empty());
    EXPECT_EQ(check->timeoutMinutes, kDefaultTimeoutMinutes);
    EXPECT_TRUE(check->afterSelfUpdate);
    EXPECT_FALSE(check->selfInstallerExit);  // an older Pelmora's switch, without a report

    // What the updated Pelmora is handed reads back as it was given.
    const std::u16string after = AfterSelfUpdateSwitch(3010, u"1.3.2 \"beta\"");
    EXPECT_TRUE(IsSwitchLine(after));
    const auto updated = ParseSwitchLine(u"/update " + after, problem);
    ASSERT_TRUE(updated) << problem;
    EXPECT_EQ(updated->selfInstallerExit, 3010u);
    EXPECT_EQ(updated->selfBefore, u"1.3.2 beta");
    EXPECT_EQ(ParseSwitchLine(u"/update " + AfterSelfUpdateSwitch(0, u""), problem)->selfBefore,
              u"");
}

TEST(SwitchLine, RefusesWhatItDoesNotUnderstand) {
    for (const char16_t* bad :
         {u"/timeout:5", u"/check /update", u"/check:Halvex", u"/update:Halvex,,Quorin",
          u"/update /timeout:0", u"/update /timeout:1441", u"/update /timeout:x",
          u"/update /timeout:5 /timeout:6", u"/update /result:", u"/update /result:a /result:b",
          u"/update /silent", u"/update \"/result:a", u"/update Halvex",
          u"/update /afterselfupdate:1.3.2", u"/update /afterselfupdate:4294967296,1"}) {
        std::string problem;
        EXPECT_FALSE(ParseSwitchLine(bad, problem));
        EXPECT_FALSE(problem.empty());
    }
}

TEST(SwitchLine, InstallerExitCodes) {
    EXPECT_EQ(JudgeInstallerExit(0), InstallerVerdict::Success);
    EXPECT_EQ(JudgeInstallerExit(3010), InstallerVerdict::SuccessRestart);
    EXPECT_EQ(JudgeInstallerExit(1641), InstallerVerdict::RestartStarted);
    EXPECT_EQ(JudgeInstallerExit(1603), InstallerVerdict::Failure);
    EXPECT_EQ(JudgeInstallerExit(0xC0000005u), InstallerVerdict::Failure);
}

TEST(SwitchLine, RunExitCodes) {
    using O = ToolOutcome;
    struct Row {
        SwitchAction action;
        std::vector<O> outcomes;
        int code;
    };
    const Row rows[] = {
        {SwitchAction::Update, {}, kExitCurrent},
        {SwitchAction::Update, {O::Current, O::Updated}, kExitCurrent},
        {SwitchAction::Update, {O::Updated, O::RestartNeeded}, kExitRestartNeeded},
        {SwitchAction::Update, {O::RestartNeeded, O::Failed}, kExitFailed},
        // After a started restart the tools left are only offered.
        {SwitchAction::Update, {O::RestartNeeded, O::Available}, kExitRestartNeeded},
        {SwitchAction::Check, {O::Current, O::NotInstalled}, kExitCurrent},
        {SwitchAction::Check, {O::Current, O::Available}, kExitUpdatesAvailable},
        {SwitchAction::Check, {O::Available, O::Failed}, kExitFailed},
    };
    for (const Row& row : rows) EXPECT_EQ(RunExitCode(row.action, row.outcomes), row.code);
}

TEST(SwitchLine, ResultLineIsOneJsonObject) {
    ToolReport report;
    report.name = "Model \"Viewer\"\\";
    report.before = "1.0";
    report.offered = "2.0";
    report.outcome = ToolOutcome::Failed;
    report.exitCode = 1603;
    report.reason = "line\nend \x01 \xFF\xC3\xA9";
    EXPECT_EQ(ResultLine(report),
              "{\"name\":\"Model \\\"Viewer\\\"\\\\\",\"before\":\"1.0\",\"offered\":\"2.0\","
              "\"after\":null,\"outcome\":\"failed\",\"exit_code\":1603,"
              "\"reason\":\"line\\u000aend \\u0001 \xEF\xBF\xBD\xC3\xA9\"}\n");
}

}  // namespace
}  // namespace pelmora
