#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>

#include <gtest/gtest.h>

// The pictures of the windows in the help pages are made by the program (scripts/help-pictures.sh).
// Made again here, they must have the committed pictures' names and sizes: a window that changed
// its size or a picture that is missing asks for the script to be run again. Every picture is
// shown by a page.
TEST(WindowPicturesTest, CommittedPicturesMatchTheWindowsAndAreShownByThePages)
{
    TempDir dir;
    QProcess tool;
    tool.start(QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora_window_pictures"), {dir.path()});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();

    const QDir help(QStringLiteral(VELMORA_SOURCE_DIR "/data/Help/HTML"));
    const QStringList filter{QStringLiteral("Window-*.png")};
    const QStringList made = QDir(dir.path()).entryList(filter, QDir::Files, QDir::Name);
    EXPECT_EQ(made, help.entryList(filter, QDir::Files, QDir::Name));
    EXPECT_GE(made.size(), 7);

    QString pages;
    for (const QString& page : help.entryList({QStringLiteral("*.htm")}, QDir::Files)) {
        QFile file(help.filePath(page));
        if (file.open(QIODevice::ReadOnly))
            pages += QString::fromUtf8(file.readAll());
    }
    for (const QString& name : made) {
        const QImage fresh(dir.file(name));
        const QImage committed(help.filePath(name));
        ASSERT_FALSE(fresh.isNull()) << name.toStdString();
        EXPECT_EQ(fresh.size(), committed.size()) << name.toStdString() << ": run scripts/help-pictures.sh";
        EXPECT_TRUE(pages.contains(QStringLiteral("src=\"%1\"").arg(name))) << name.toStdString();
    }
}
