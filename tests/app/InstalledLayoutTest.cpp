#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace {
QString run(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora"), arguments);
    if (!process.waitForFinished(30000))
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString sourceFile(const QString& path)
{
    QFile file(QStringLiteral(VELMORA_SOURCE_DIR "/") + path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

// The build tree has the installed layout: the program in bin finds its help in share/velmora.
TEST(InstalledLayoutTest, ProgramFindsItsHelpPagesBesideItsBinFolder)
{
    const QString usage = run({QStringLiteral("--help")});
    const QRegularExpressionMatch line =
        QRegularExpression(QStringLiteral("^Help pages: (.*)$"), QRegularExpression::MultilineOption)
            .match(usage);
    ASSERT_TRUE(line.hasMatch()) << usage.toStdString();
    EXPECT_EQ(QFileInfo(line.captured(1)).canonicalFilePath(),
              QFileInfo(QStringLiteral(VELMORA_BINARY_DIR "/share/velmora/Help/HTML")).canonicalFilePath());
    EXPECT_TRUE(QFileInfo::exists(line.captured(1) + QStringLiteral("/Start.htm")));
}

// The manual page and the desktop entry describe the program as it is: every option the program's
// usage names is in the manual page, and the desktop entry starts the program by its name with
// the icon the build installs.
TEST(InstalledLayoutTest, ManualPageAndDesktopEntryMatchTheProgram)
{
    const QString usage = run({QStringLiteral("--help")});
    QSet<QString> options;
    for (const QRegularExpressionMatch& match :
         QRegularExpression(QStringLiteral("--[a-z-]+")).globalMatch(usage))
        options.insert(match.captured(0));
    EXPECT_GE(options.size(), 5) << usage.toStdString();
    const QString manual = sourceFile(QStringLiteral("data/linux/velmora.1"));
    ASSERT_FALSE(manual.isEmpty());
    for (const QString& option : options) {
        QString escaped = option;
        escaped.replace(QLatin1Char('-'), QStringLiteral("\\-"));
        EXPECT_TRUE(manual.contains(escaped)) << option.toStdString();
    }
    for (const char* command : {"reg get", "reg set", "reg delete", "reg list"})
        EXPECT_TRUE(usage.contains(QLatin1String(command)) && manual.contains(QLatin1String(command)))
            << command;

    const QString entry = sourceFile(QStringLiteral("data/linux/velmora.desktop"));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=velmora\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nIcon=velmora\n")));
    EXPECT_TRUE(QFileInfo::exists(
        QStringLiteral(VELMORA_BINARY_DIR "/share/icons/hicolor/scalable/apps/velmora.svg")));
    const QString metainfo = sourceFile(QStringLiteral("data/linux/org.velmora.Velmora.metainfo.xml"));
    EXPECT_TRUE(
        metainfo.contains(QStringLiteral("<launchable type=\"desktop-id\">velmora.desktop</launchable>")));
    EXPECT_TRUE(metainfo.contains(QStringLiteral("<release version=\"" VELMORA_VERSION "\"")));
}
