#include "TempDir.h"
#include "VelmoraProcess.h"

#include <gtest/gtest.h>

namespace {
// The command line as a user types it: the program's own options, --version, and the options
// every Qt program takes, which are Qt's and not refused.
TEST(CommandLineTest, VersionAndQtsOwnOptionsAreTakenAndUnknownOnesRefused)
{
    const QString version = QStringLiteral("velmora " VELMORA_VERSION "\n");
    const struct
    {
        QStringList arguments;
        int status;
        QString out;
    } cases[] = {
        {{"--version"}, 0, version},
        {{"-style", "fusion", "--version"}, 0, version},
        {{"--style=fusion", "-reverse", "--version"}, 0, version},
        {{"-platform", "offscreen", "-qwindowtitle", "Cam", "--version"}, 0, version},
        {{"--bogus"}, 2, ""},
        {{"-stylo", "fusion"}, 2, ""},
    };
    for (const auto& c : cases) {
        const ProgramRun run = runVelmora(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments.join(' ').toStdString() << run.err.toStdString();
        EXPECT_EQ(run.out, c.out) << c.arguments.join(' ').toStdString();
    }
    EXPECT_TRUE(runVelmora({"--bogus"}).err.startsWith("velmora: unknown option --bogus"));
}

TEST(CommandLineTest, TheWindowedProgramStartsWithQtOptionsBeforeAndAfterItsOwn)
{
    TempDir dir;
    RunWith with;
    with.environment["VELMORA_EXIT_AFTER_FIRST_FRAME"] = "1";
    with.environment["XDG_CONFIG_HOME"] = dir.file("config");
    with.environment["XDG_DATA_HOME"] = dir.file("data");
    with.environment["XDG_RUNTIME_DIR"] = dir.path();
    const ProgramRun run = runVelmora({"-platform", "offscreen", "--store", dir.file("store.db"), "-style",
                                       "Fusion", "--test-pattern", "-reverse"},
                                      with);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("first frame painted")) << run.out.toStdString();
}
} // namespace
